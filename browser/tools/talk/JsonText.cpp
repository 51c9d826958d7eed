#include "JsonText.h"

#include <boost/json/parser.hpp>
#include <boost/json/serialize.hpp>

#include "Hex.h"
#include "platform/Utf8.h"

namespace browser_extensions::talk {

namespace {

void AppendPretty(std::string& out, const boost::json::value& value, const std::string& margin,
                  std::size_t level) {
    const boost::json::object* object = value.if_object();
    const boost::json::array* array = value.if_array();
    if ((object == nullptr || object->empty()) && (array == nullptr || array->empty())) {
        out += boost::json::serialize(value);
        return;
    }
    const std::string indent = "\n" + margin + std::string(level * 2, ' ');
    out += object != nullptr ? '{' : '[';
    const std::size_t size = object != nullptr ? object->size() : array->size();
    for (std::size_t i = 0; i < size; ++i) {
        out += (i == 0 ? "" : ",") + indent + "  ";
        if (object != nullptr) {
            const boost::json::key_value_pair& member = object->begin()[i];
            out += boost::json::serialize(boost::json::string_view(member.key())) + ": ";
        }
        AppendPretty(out, object != nullptr ? object->begin()[i].value() : (*array)[i], margin,
                     level + 1);
    }
    out += indent + (object != nullptr ? '}' : ']');
}

}  // namespace

std::optional<boost::json::value> JsonText::Parse(std::string_view text, std::string& error) {
    boost::json::parse_options options;
    options.max_depth = 1000;
    boost::json::parser parser({}, options);
    boost::system::error_code code;
    const std::size_t used = parser.write(text.data(), text.size(), code);
    if (code) {
        error = code.message() + " at byte " + std::to_string(used);
        return std::nullopt;
    }
    return parser.release();
}

std::string JsonText::Pretty(const boost::json::value& value, const std::string& margin) {
    std::string out;
    AppendPretty(out, value, margin, 0);
    return out;
}

std::string JsonText::ToValidUtf8(std::string_view bytes) {
    std::string out;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t length = Utf8SequenceLength(bytes, at);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++at;
        } else {
            out.append(bytes.substr(at, length));
            at += length;
        }
    }
    return out;
}

std::string JsonText::Printable(std::string_view bytes) {
    std::string out;
    for (std::size_t at = 0; at < bytes.size();) {
        const auto c = static_cast<unsigned char>(bytes[at]);
        const std::size_t length = Utf8SequenceLength(bytes, at);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (length == 0 || c < 0x20 || c == 0x7F) {
            out += tools::Hex::Escaped(c);
        } else {
            out.append(bytes.substr(at, length));
            at += length;
            continue;
        }
        ++at;
    }
    return out;
}

std::string JsonText::Shorten(const std::string& text, std::size_t limit) {
    if (limit == 0 || text.size() <= limit) {
        return text;
    }
    std::size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    return text.substr(0, cut) + "... (" + std::to_string(text.size() - cut) + " more bytes)";
}

}  // namespace browser_extensions::talk

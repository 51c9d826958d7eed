#include "Manifest.h"

#include <boost/json.hpp>
#include <boost/json/src.hpp>

namespace browser_extensions::registration {
namespace json = boost::json;
namespace {

std::string Quoted(const std::string& text) {
    return json::serialize(json::string(text));
}

std::optional<std::string> StringMember(const json::object& object, const char* key) {
    const json::value* value = object.if_contains(key);
    if (value == nullptr || !value->is_string()) {
        return std::nullopt;
    }
    const json::string& text = value->get_string();
    return std::string(text.data(), text.size());
}

std::optional<std::vector<std::string>> StringListMember(const json::object& object,
                                                         const char* key) {
    const json::value* value = object.if_contains(key);
    if (value == nullptr || !value->is_array()) {
        return std::nullopt;
    }
    std::vector<std::string> list;
    for (const json::value& item : value->get_array()) {
        if (!item.is_string()) {
            return std::nullopt;
        }
        list.emplace_back(item.get_string().data(), item.get_string().size());
    }
    return list;
}

}  // namespace

std::string ManifestText::Write(const Manifest& manifest) {
    std::string text = "{\n";
    text += "  \"name\": " + Quoted(manifest.name) + ",\n";
    text += "  \"description\": " + Quoted(manifest.description) + ",\n";
    text += "  \"path\": " + Quoted(manifest.path) + ",\n";
    text += "  \"type\": \"stdio\",\n";
    text += "  \"" + std::string(manifest.forFirefox ? kExtensionsKey : kOriginsKey) + "\": [";
    for (std::size_t i = 0; i < manifest.allowed.size(); ++i) {
        text += (i == 0 ? "\n    " : ",\n    ") + Quoted(manifest.allowed[i]);
    }
    text += manifest.allowed.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return text;
}

bool ManifestText::Read(const std::string& text, FoundManifest& found, std::string& error) {
    boost::system::error_code code;
    const json::value root = json::parse(text, code);
    if (code) {
        error = "not valid JSON (" + code.message() + ")";
        return false;
    }
    if (!root.is_object()) {
        error = "valid JSON, but not an object";
        return false;
    }
    const json::object& object = root.get_object();
    found.name = StringMember(object, "name");
    found.description = StringMember(object, "description");
    found.path = StringMember(object, "path");
    found.type = StringMember(object, "type");
    found.allowedOrigins = StringListMember(object, kOriginsKey);
    found.allowedExtensions = StringListMember(object, kExtensionsKey);
    return true;
}

}  // namespace browser_extensions::registration

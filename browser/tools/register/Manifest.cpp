#include "Manifest.h"

#include <boost/json.hpp>
#include <boost/json/src.hpp>

namespace browser_extensions::registration {
namespace json = boost::json;
namespace {

std::string Quoted(const std::string& text) {
    return json::serialize(json::string(text));
}

// A member of the type asked for; empty when it is missing or of another type.
template <class T>
std::optional<T> Member(const json::object& object, const char* key) {
    const json::value* value = object.if_contains(key);
    if (value == nullptr) {
        return std::nullopt;
    }
    auto converted = json::try_value_to<T>(*value);
    return converted ? std::optional<T>(std::move(*converted)) : std::nullopt;
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
    found.name = Member<std::string>(object, "name");
    found.description = Member<std::string>(object, "description");
    found.path = Member<std::string>(object, "path");
    found.type = Member<std::string>(object, "type");
    found.allowedOrigins = Member<std::vector<std::string>>(object, kOriginsKey);
    found.allowedExtensions = Member<std::vector<std::string>>(object, kExtensionsKey);
    return true;
}

}  // namespace browser_extensions::registration

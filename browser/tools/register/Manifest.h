#pragma once

#include <optional>
#include <string>
#include <vector>

namespace browser_extensions::registration {

// A host manifest as written: the Chromium family lists origins, Firefox lists add-on ids.
struct Manifest {
    std::string name;
    std::string description;
    std::string path;
    bool forFirefox = false;
    std::vector<std::string> allowed;  // origins, or add-on ids for Firefox
};

// A manifest as found on disk: each member is empty when it is missing or of the wrong type.
struct FoundManifest {
    std::optional<std::string> name;
    std::optional<std::string> description;
    std::optional<std::string> path;
    std::optional<std::string> type;
    std::optional<std::vector<std::string>> allowedOrigins;
    std::optional<std::vector<std::string>> allowedExtensions;
};

// The text form of host manifests.
namespace ManifestText {

inline constexpr const char* kOriginsKey = "allowed_origins";
inline constexpr const char* kExtensionsKey = "allowed_extensions";

// Indented JSON, keys in the order browsers' documentation shows them.
std::string Write(const Manifest& manifest);
// False, with the reason in `error`, when the text is not one JSON object.
bool Read(const std::string& text, FoundManifest& found, std::string& error);

}  // namespace ManifestText

}  // namespace browser_extensions::registration

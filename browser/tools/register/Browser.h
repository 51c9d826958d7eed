#pragma once

#include <optional>
#include <string>
#include <vector>

namespace browser_extensions::registration {

enum class Browser { Chrome, Chromium, Edge, Brave, Vivaldi, Firefox };

// Per-user registration, or one for every user of the machine.
enum class Scope { User, System };

// Names and families of the browsers the tool knows.
class Browsers {
  public:
    static const std::vector<Browser>& All();
    static std::string Name(Browser browser);
    static std::optional<Browser> Parse(const std::string& name);
    // The Chromium family names extensions by origin; Firefox by add-on id.
    static bool IsChromiumFamily(Browser browser);
    static std::string ScopeName(Scope scope);
};

}  // namespace browser_extensions::registration

#pragma once

#include <optional>
#include <string>
#include <vector>

#include "BrowserTable.h"

namespace browser_extensions::registration {

// Per-user registration, or one for every user of the machine.
enum class Scope { User, System };

// The browsers the tool knows, as the table of browsers gives them.
namespace Browsers {

const std::vector<Browser>& All();
const BrowserFacts& Facts(Browser browser);
std::string Name(Browser browser);
std::optional<Browser> Parse(const std::string& name);
bool IsChromiumFamily(Browser browser);
std::string ScopeName(Scope scope);

}  // namespace Browsers

}  // namespace browser_extensions::registration

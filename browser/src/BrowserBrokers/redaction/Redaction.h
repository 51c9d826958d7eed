#pragma once

#include <string>
#include <string_view>

namespace browser_extensions {

// The text with the value of every "password" member, of any JSON type and at any depth, shown as
// the string "***". Nothing else changes. Text that is not JSON is scanned the same way, so a
// secret in a damaged message is hidden too; any input is handled in linear time.
std::wstring RedactPasswords(std::wstring_view text);

}  // namespace browser_extensions

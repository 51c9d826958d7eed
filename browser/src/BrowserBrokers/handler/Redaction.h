#pragma once

#include <string>

namespace browser_extensions {

// The text with the string value of every "password" member, at any depth, replaced by ***.
// Nothing else changes. Text that is not JSON is scanned the same way, so a secret in a damaged
// message is hidden too; any input is handled in linear time.
std::wstring RedactPasswords(const std::wstring& text);

}  // namespace browser_extensions

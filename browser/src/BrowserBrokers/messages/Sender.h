#pragma once

#include <functional>
#include <string>

namespace browser_extensions {

// The callback through which a message reaches the extension. Every writer ignores the first
// argument and sends the second.
using Sender = std::function<void(const std::wstring&, const std::wstring&)>;

}  // namespace browser_extensions

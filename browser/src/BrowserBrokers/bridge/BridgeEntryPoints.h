#pragma once

#include <cstdint>
#include <string>

namespace browser_extensions {

// The bridge library's entry points, as the host calls them.

// Receives text from the bridge for the extension; the first argument is ignored.
using BridgeCallback = void (*)(const std::wstring& first, const std::wstring& text);
using GetInstanceProc = void* (*)(BridgeCallback callback);
using CreateThreadBrokerProc = int (*)(std::wstring first, std::wstring second);
using SendMessageToKestrovaProc = int (*)(const wchar_t* text, uint64_t value);

// Where the instance value sits in the bridge's instance record.
constexpr size_t kInstanceValueOffset = 40;

}  // namespace browser_extensions

#pragma once

#include <cstdint>
#include <string>

#if defined(_WIN32)
#define HALVERN_EXPORT __declspec(dllexport)
#elif defined(__GNUC__)
#define HALVERN_EXPORT __attribute__((visibility("default")))
#else
#define HALVERN_EXPORT
#endif

// The bridge's side of the design-tool link: the three exports the host looks up by their
// undecorated names. The wide strings are standard-library objects, so bridge and host must share
// one runtime library.

// Receives text for the extension; the first argument carries nothing the host uses.
using HalvernCallback = void (*)(const std::wstring& first, const std::wstring& text);

extern "C" {

// Registers the callback and returns the instance record, whose 64-bit word at byte offset 40 is
// the value the host passes back with every message: 1 at first, one more after every message.
HALVERN_EXPORT void* GetInstance(HalvernCallback callback);

// Starts the broker; returns at once. The result means nothing.
HALVERN_EXPORT int CreateThreadBroker(std::wstring first, std::wstring second);

// Takes one message and echoes its text back through the callback from the bridge's own thread.
HALVERN_EXPORT int SendMessageToKestrova(const wchar_t* text, uint64_t value);
}

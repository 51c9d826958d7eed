#pragma once

#include <functional>
#include <string>

namespace browser_extensions::platform {

// Debugger output, one call per line and without a line end. On Windows these are
// OutputDebugStringW / OutputDebugStringA; elsewhere each call appends one UTF-8 line to the file
// named by QUENLOW_DEBUG_OUTPUT, or is dropped when that is unset (as Windows drops it when no
// debugger listens).
void DebugOutputW(const std::wstring& text);
void DebugOutputA(const std::string& text);

// True when a line written now would reach anybody; lets hot paths skip building lines.
bool DebugOutputEnabled();

// Tests in one process may capture every line instead (wide lines arrive as UTF-8). An empty
// function restores the platform's output.
using DebugSink = std::function<void(const std::string& utf8Line)>;
void SetDebugSinkForTesting(DebugSink sink);

namespace detail {
// The platform's own output, implemented per platform.
void PlatformDebugOutputW(const std::wstring& text);
void PlatformDebugOutputA(const std::string& text);
bool PlatformDebugOutputEnabled();
}  // namespace detail

}  // namespace browser_extensions::platform

#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

#include "protect/SecretText.h"

namespace browser_extensions {

// The only writer of the channel to the extension. Each message text becomes one frame (the
// 4-byte native-endian length, then the body); frames from any number of threads are written
// whole, one after the other, under one process-wide lock.

// Bodies above this size are not written: browsers close the port on them.
constexpr size_t kMaxFrameBody = 1048576;

// Senders: the first argument is ignored, the second is the message text. SendProtectedText
// takes the protected form (and passes through text that is not in it).
void SendProtectedText(const std::wstring& first, const std::wstring& text);
void SendPlainText(const std::wstring& first, const std::wstring& text);

// The body for a UTF-8 text: the text as a JSON string literal, quotes included, valid JSON
// whatever the text holds (browsers drop or disconnect on anything else).
SecretString QuoteForChannel(std::string_view utf8);

// Writes one frame with the given body to the channel, unless the body is too large.
void WriteFrame(std::string_view body);

// Moves the channel onto its own copy of standard output, away from anything else that prints.
// Until then, and when that fails, frames go to standard output itself.
void OpenChannel();

// Ends output for good, once no thread of the host's own will send again: waits for a frame in
// progress, then keeps every later sender waiting until the process ends.
void CloseChannelForExit();

// Sends frames to `stream` instead (null: standard output again). The caller keeps ownership.
void SetChannelStreamForTesting(FILE* stream);

}  // namespace browser_extensions

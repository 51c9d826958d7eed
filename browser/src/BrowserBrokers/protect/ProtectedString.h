#pragma once

#include <cstdint>
#include <string>

namespace browser_extensions {

// Protects text for the current user with the system's data-protection service while it passes
// between threads and libraries of this process. The protected form carries the service's blob
// two bytes per code unit (low byte first); it is not text and must never be converted, logged
// or sent. Both functions return a copy of their input when the service refuses, after writing
// one line to the debugger output.
std::wstring ProtectString(const std::wstring& text);
std::wstring UnprotectString(const std::wstring& protectedText);

namespace detail {

// The same conversions under an entropy text of the caller's choice.
std::wstring ProtectStringWithEntropy(const std::wstring& text, const std::wstring& entropy);
std::wstring UnprotectStringWithEntropy(const std::wstring& protectedText,
                                        const std::wstring& entropy);

// An error number as the failure lines show it: lower-case hexadecimal, no leading zeros.
std::wstring LowerHex(uint32_t number);

}  // namespace detail
}  // namespace browser_extensions

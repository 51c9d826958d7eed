// Unprotecting arbitrary code units: no crash, and either the input back (with one failure line)
// or a plain text; protecting any text and unprotecting it gives the text back.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/DebugOutput.h"
#include "protect/ProtectedString.h"
#include "support/FuzzData.h"

using browser_extensions::ProtectString;
using browser_extensions::UnprotectString;
using fuzz_support::Require;

namespace {

std::vector<std::string> g_lines;

bool IsFailureLine(const std::string& line) {
    static const std::string kPrefix = "UnProtectData failed. Returning input string. GLE=0x";
    return line.size() > kPrefix.size() && line.compare(0, kPrefix.size(), kPrefix) == 0;
}

// Unprotects `units` and checks the result is either the input with its failure line or a
// text that came without one. Returns whether the service accepted it.
bool CheckUnprotect(const std::wstring& units, std::wstring& text) {
    g_lines.clear();
    text = UnprotectString(units);
    if (g_lines.empty()) {
        return true;
    }
    Require(g_lines.size() == 1 && IsFailureLine(g_lines[0]), "a refusal writes one failure line");
    Require(text == units, "a refusal returns the input");
    return false;
}

// A protected form with one of its units changed as the input says: the change is detected.
void CheckTampered(std::wstring protectedText, const uint8_t* data, size_t size) {
    if (size < 4 || protectedText.empty()) {
        return;
    }
    const size_t at = (data[0] | (data[1] << 8)) % protectedText.size();
    const wchar_t flip = static_cast<wchar_t>((data[2] | (data[3] << 8)) | 1);
    protectedText[at] = static_cast<wchar_t>((protectedText[at] ^ flip) & 0xFFFF);
    std::wstring text;
    Require(!CheckUnprotect(protectedText, text), "a changed protected form is refused");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    browser_extensions::platform::SetDebugSinkForTesting(
        [](const std::string& line) { g_lines.push_back(line); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring units = fuzz_support::CodeUnitsOf(data, size);
    std::wstring text;
    CheckUnprotect(units, text);

    const std::wstring protectedText = ProtectString(units);
    Require(protectedText != units, "protection changes the text");
    std::wstring roundTrip;
    Require(CheckUnprotect(protectedText, roundTrip) && roundTrip == units,
            "a protected text unprotects to itself");
    CheckTampered(protectedText, data, size);
    return 0;
}

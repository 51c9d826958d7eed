#include "protect/ProtectedString.h"

#include <utility>

#include "platform/DataProtection.h"
#include "platform/DebugOutput.h"
#include "protect/CServiceOutputGuard.h"
#include "protect/SecretText.h"

namespace browser_extensions {
namespace {

const wchar_t kEntropyText[] = L"3F9A2C71-5B0E-4D8A-9C63-E1B74A0D5F28";

// The service counts bytes in 32 bits.
constexpr uint64_t kServiceLengthLimit = 0xFFFFFFFFull;

using ServiceCall = bool (*)(const platform::ServiceBytes& input,
                             const platform::ServiceBytes* entropy,
                             platform::ServiceOutput& output);

bool FitsService(const std::wstring& text) {
    return static_cast<uint64_t>(text.size()) <= kServiceLengthLimit / 2;
}

// Each code unit as two bytes, low byte first.
SecretString CodeUnitBytes(const std::wstring& text) {
    SecretString bytes;
    bytes.reserve(text.size() * 2);
    for (const wchar_t unit : text) {
        const uint32_t value = static_cast<uint32_t>(unit);
        bytes.push_back(static_cast<char>(value & 0xFF));
        bytes.push_back(static_cast<char>((value >> 8) & 0xFF));
    }
    return bytes;
}

// Little-endian byte pairs back to code units; an odd last byte is dropped.
std::wstring CodeUnitsFrom(const SecretString& bytes) {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    std::wstring text(bytes.size() / 2, L'\0');
    for (size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<wchar_t>(data[2 * i] | (data[2 * i + 1] << 8));
    }
    return text;
}

// The service refuses a null pointer even with a length of zero, so the empty text is handed
// over as zero bytes at a valid address.
platform::ServiceBytes ViewOf(const SecretString& bytes) {
    static const unsigned char kNoBytes = 0;
    platform::ServiceBytes view;
    view.data = bytes.empty() ? &kNoBytes : reinterpret_cast<const unsigned char*>(bytes.data());
    view.size = static_cast<uint32_t>(bytes.size());
    return view;
}

// What a successful call of the service gave back, and whether that counts as success.
struct Conversion {
    bool succeeded = false;
    std::wstring text;
};

// Runs one call of the service over the byte forms of `text` and `entropy`. Every buffer that
// held either side of the conversion is wiped and released before this returns.
Conversion Convert(ServiceCall call, const std::wstring& text, const std::wstring& entropy,
                   bool emptyOutputSucceeds) {
    Conversion conversion;
    if (!FitsService(text) || !FitsService(entropy)) {
        return conversion;
    }
    const SecretString input = CodeUnitBytes(text);
    const SecretString entropyBytes = CodeUnitBytes(entropy);

    const platform::ServiceBytes entropyView = ViewOf(entropyBytes);
    platform::ServiceOutput output;
    const bool called = call(ViewOf(input), &entropyView, output);
    CServiceOutputGuard guard(output);
    if (!called) {
        return conversion;
    }
    const auto* bytes = reinterpret_cast<const char*>(guard.Data());
    const SecretString result(bytes, bytes + guard.Size());
    guard.Release();
    conversion.text = CodeUnitsFrom(result);
    conversion.succeeded = !result.empty() || emptyOutputSucceeds;
    return conversion;
}

std::wstring Fallback(const wchar_t* failureLine, const std::wstring& input) {
    // Read only now: every working buffer has been released, and releasing them does not touch
    // the error number.
    const uint32_t error = platform::LastErrorNumber();
    platform::DebugOutputW(failureLine + detail::LowerHex(error));
    return input;
}

}  // namespace

namespace detail {

std::wstring ProtectStringWithEntropy(const std::wstring& text, const std::wstring& entropy) {
    Conversion conversion = Convert(platform::ProtectBytes, text, entropy, false);
    if (!conversion.succeeded) {
        return Fallback(L"ProtectData failed. Returning input string. GLE=0x", text);
    }
    return std::move(conversion.text);
}

// A successful call that yields no bytes counts as success here: it is the protected form of
// the empty text, and it comes back as the empty text. Treating it as a failure would hand the
// blob itself on as if it were text (the writer would send its code units to the extension) and
// write a failure line with an error number left over from some earlier call.
std::wstring UnprotectStringWithEntropy(const std::wstring& protectedText,
                                        const std::wstring& entropy) {
    Conversion conversion = Convert(platform::UnprotectBytes, protectedText, entropy, true);
    if (!conversion.succeeded) {
        return Fallback(L"UnProtectData failed. Returning input string. GLE=0x", protectedText);
    }
    return std::move(conversion.text);
}

std::wstring LowerHex(uint32_t number) {
    static const wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring digits;
    do {
        digits.insert(digits.begin(), kDigits[number & 0xF]);
        number >>= 4;
    } while (number != 0);
    return digits;
}

}  // namespace detail

std::wstring ProtectString(const std::wstring& text) {
    return detail::ProtectStringWithEntropy(text, kEntropyText);
}

std::wstring UnprotectString(const std::wstring& protectedText) {
    return detail::UnprotectStringWithEntropy(protectedText, kEntropyText);
}

}  // namespace browser_extensions

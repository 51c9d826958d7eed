#include <windows.h>

#include <dpapi.h>

#include "DataProtection.h"

namespace browser_extensions::platform {
namespace {

DATA_BLOB ToBlob(const ServiceBytes& bytes) {
    // The service only reads its inputs.
    return DATA_BLOB{bytes.size, const_cast<BYTE*>(bytes.data)};
}

}  // namespace

bool ProtectBytes(const ServiceBytes& input, const ServiceBytes* entropy, ServiceOutput& output) {
    DATA_BLOB in = ToBlob(input);
    DATA_BLOB entropyBlob = entropy != nullptr ? ToBlob(*entropy) : DATA_BLOB{};
    DATA_BLOB out{};
    // Present but empty description; no prompt; flags 0 for per-user protection.
    const BOOL ok = CryptProtectData(&in, L"", entropy != nullptr ? &entropyBlob : nullptr, nullptr,
                                     nullptr, 0, &out);
    output = ServiceOutput{out.pbData, out.cbData};
    return ok != FALSE;
}

bool UnprotectBytes(const ServiceBytes& input, const ServiceBytes* entropy, ServiceOutput& output) {
    DATA_BLOB in = ToBlob(input);
    DATA_BLOB entropyBlob = entropy != nullptr ? ToBlob(*entropy) : DATA_BLOB{};
    DATA_BLOB out{};
    const BOOL ok = CryptUnprotectData(&in, nullptr, entropy != nullptr ? &entropyBlob : nullptr,
                                       nullptr, nullptr, 0, &out);
    output = ServiceOutput{out.pbData, out.cbData};
    return ok != FALSE;
}

void ReleaseServiceOutput(unsigned char* data) {
    if (data != nullptr) {
        LocalFree(data);
    }
}

uint32_t LastErrorNumber() {
    return GetLastError();
}

void WipeBytes(void* data, size_t size) {
    SecureZeroMemory(data, size);
}

}  // namespace browser_extensions::platform

#include "DataProtection.h"
#include "DataProtectionService.h"

// The stand-in service is one shared library, so every module of the process that protects or
// unprotects (the host and the stand-in agent) uses the same per-process key, as Windows modules
// share the system service.

namespace browser_extensions::platform {
namespace {

QuenlowDataBlob ToBlob(const ServiceBytes& bytes) {
    // The service only reads its inputs.
    return QuenlowDataBlob{bytes.size, const_cast<unsigned char*>(bytes.data)};
}

using ServiceCall = int (*)(const QuenlowDataBlob*, const QuenlowDataBlob*, QuenlowDataBlob*);

bool Call(ServiceCall call, const ServiceBytes& input, const ServiceBytes* entropy,
          ServiceOutput& output) {
    const QuenlowDataBlob in = ToBlob(input);
    const QuenlowDataBlob entropyBlob = entropy != nullptr ? ToBlob(*entropy) : QuenlowDataBlob{};
    QuenlowDataBlob out{};
    const int ok = call(&in, entropy != nullptr ? &entropyBlob : nullptr, &out);
    output = ServiceOutput{out.pbData, out.cbData};
    return ok != 0;
}

}  // namespace

bool ProtectBytes(const ServiceBytes& input, const ServiceBytes* entropy, ServiceOutput& output) {
    return Call(QuenlowProtectData, input, entropy, output);
}

bool UnprotectBytes(const ServiceBytes& input, const ServiceBytes* entropy, ServiceOutput& output) {
    return Call(QuenlowUnprotectData, input, entropy, output);
}

void ReleaseServiceOutput(unsigned char* data) {
    QuenlowFreeData(data);
}

uint32_t LastErrorNumber() {
    return QuenlowGetLastError();
}

void WipeBytes(void* data, size_t size) {
    QuenlowSecureZeroMemory(data, size);
}

}  // namespace browser_extensions::platform

#include "DataProtection.h"
#include "DataProtectionService.h"

// The stand-in service is one shared library, so every module of the process that protects or
// unprotects (the host and the stand-in agent) uses the same per-process key, as Windows modules
// share the system service.

namespace browser_extensions::platform {
namespace {

QuenlowDataBlob ToBlob(const ServiceBytes& bytes) {
    QuenlowDataBlob blob;
    blob.cbData = bytes.size;
    blob.pbData = const_cast<unsigned char*>(bytes.data);  // the service only reads its inputs
    return blob;
}

ServiceOutput FromBlob(const QuenlowDataBlob& blob) {
    ServiceOutput bytes;
    bytes.data = blob.pbData;
    bytes.size = blob.cbData;
    return bytes;
}

}  // namespace

bool ProtectBytes(const ServiceBytes& input, const ServiceBytes* entropy, ServiceOutput& output) {
    QuenlowDataBlob in = ToBlob(input);
    QuenlowDataBlob entropyBlob = entropy != nullptr ? ToBlob(*entropy) : QuenlowDataBlob{};
    QuenlowDataBlob out{};
    const int ok = QuenlowProtectData(&in, entropy != nullptr ? &entropyBlob : nullptr, &out);
    output = FromBlob(out);
    return ok != 0;
}

bool UnprotectBytes(const ServiceBytes& input, const ServiceBytes* entropy, ServiceOutput& output) {
    QuenlowDataBlob in = ToBlob(input);
    QuenlowDataBlob entropyBlob = entropy != nullptr ? ToBlob(*entropy) : QuenlowDataBlob{};
    QuenlowDataBlob out{};
    const int ok = QuenlowUnprotectData(&in, entropy != nullptr ? &entropyBlob : nullptr, &out);
    output = FromBlob(out);
    return ok != 0;
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

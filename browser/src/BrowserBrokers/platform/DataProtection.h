#pragma once

#include <cstddef>
#include <cstdint>

namespace browser_extensions::platform {

// A run of bytes handed to or received from the data-protection service.
struct ServiceBytes {
    const unsigned char* data = nullptr;
    uint32_t size = 0;
};

// A buffer that the service made and owns until it is handed back.
struct ServiceOutput {
    unsigned char* data = nullptr;
    uint32_t size = 0;
};

// The data-protection service of the operating system, reduced to what the protected string
// codec needs: per-user protection of a byte run, bound to optional entropy (null for none).
// On success `output` receives a buffer owned by the service, to be handed back to
// ReleaseServiceOutput; on failure the reason is in LastErrorNumber. On Windows these are
// CryptProtectData / CryptUnprotectData, LocalFree and GetLastError.
bool ProtectBytes(const ServiceBytes& input, const ServiceBytes* entropy, ServiceOutput& output);
bool UnprotectBytes(const ServiceBytes& input, const ServiceBytes* entropy, ServiceOutput& output);

// Returns a buffer of the service. Leaves the calling thread's error number untouched.
void ReleaseServiceOutput(unsigned char* data);

// The error number of the calling thread's last failed service call.
uint32_t LastErrorNumber();

// Overwrites memory with zeros in a way the compiler may not optimise away.
void WipeBytes(void* data, size_t size);

}  // namespace browser_extensions::platform

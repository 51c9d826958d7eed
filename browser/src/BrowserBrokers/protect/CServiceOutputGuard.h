#pragma once

#include <cstdint>

#include "platform/DataProtection.h"

namespace browser_extensions {

// Owns a buffer that the data-protection service returned: overwrites it with zeros over its
// reported length and hands it back to the service, on the normal path and while an exception
// unwinds alike.
class CServiceOutputGuard {
  public:
    using ReleaseFunction = void (*)(unsigned char* data);

    explicit CServiceOutputGuard(const platform::ServiceOutput& output,
                                 ReleaseFunction release = platform::ReleaseServiceOutput);
    ~CServiceOutputGuard();

    CServiceOutputGuard(const CServiceOutputGuard&) = delete;
    CServiceOutputGuard& operator=(const CServiceOutputGuard&) = delete;

    const unsigned char* Data() const { return m_output.data; }
    uint32_t Size() const { return m_output.size; }

    // Wipes and hands back the buffer now; later calls do nothing.
    void Release();

  private:
    platform::ServiceOutput m_output;
    ReleaseFunction m_release;
};

}  // namespace browser_extensions

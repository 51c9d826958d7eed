#include "protect/CServiceOutputGuard.h"

namespace browser_extensions {

CServiceOutputGuard::CServiceOutputGuard(const platform::ServiceOutput& output,
                                         ReleaseFunction release)
    : m_output(output), m_release(release) {}

CServiceOutputGuard::~CServiceOutputGuard() {
    Release();
}

void CServiceOutputGuard::Release() {
    if (m_output.data == nullptr) {
        return;
    }
    platform::WipeBytes(m_output.data, m_output.size);
    m_release(m_output.data);
    m_output = platform::ServiceOutput{};
}

}  // namespace browser_extensions

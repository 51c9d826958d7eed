#include "CCredentialStore.h"

#include <utility>

#include "protect/ProtectedString.h"
#include "protect/WipeText.h"

namespace varnhold_standin {

CCredentialStore& CCredentialStore::Instance() {
    static CCredentialStore* store = new CCredentialStore();
    return *store;
}

// The password is kept only in protected form; the plain one given is wiped here.
void CCredentialStore::Save(const std::wstring& host, Credentials credentials) {
    Credentials kept{credentials.userName, browser_extensions::ProtectString(credentials.password)};
    browser_extensions::WipeText(credentials.password);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_byHost[host] = std::move(kept);
}

std::optional<Credentials> CCredentialStore::Find(const std::wstring& host) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_byHost.find(host);
    if (found == m_byHost.end()) {
        return std::nullopt;
    }
    return Credentials{found->second.userName,
                       browser_extensions::UnprotectString(found->second.password)};
}

}  // namespace varnhold_standin

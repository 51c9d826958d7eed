#include "CCredentialStore.h"

#include <utility>

namespace varnhold_standin {

CCredentialStore& CCredentialStore::Instance() {
    static CCredentialStore* store = new CCredentialStore();
    return *store;
}

void CCredentialStore::Save(const std::wstring& host, Credentials credentials) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_byHost[host] = std::move(credentials);
}

std::optional<Credentials> CCredentialStore::Find(const std::wstring& host) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_byHost.find(host);
    if (found == m_byHost.end()) {
        return std::nullopt;
    }
    return found->second;
}

}  // namespace varnhold_standin

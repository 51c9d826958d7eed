#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace varnhold_standin {

struct Credentials {
    std::wstring userName;
    std::wstring password;
};

// Host name -> the credentials last saved for it, in memory only, the password protected with
// the data-protection service. Find gives it back in plain text: the caller wipes it. Safe from
// any thread.
class CCredentialStore {
  public:
    // The one store of the process; never destroyed, as reply work may outlive static teardown.
    static CCredentialStore& Instance();

    void Save(const std::wstring& host, Credentials credentials);
    std::optional<Credentials> Find(const std::wstring& host) const;

  private:
    CCredentialStore() = default;

    mutable std::mutex m_mutex;
    std::map<std::wstring, Credentials> m_byHost;
};

}  // namespace varnhold_standin

#include "bridge/CBridgeLoader.h"

#include <utility>

#include "platform/DebugOutput.h"

namespace browser_extensions {

CBridgeLoader::CBridgeLoader(CBridgeState& state, BridgeCallback callback, std::wstring libraryName,
                             LibraryLoader loader, ProcFinder finder)
    : m_state(state),
      m_callback(callback),
      m_libraryName(std::move(libraryName)),
      m_loader(std::move(loader)),
      m_finder(std::move(finder)) {}

template <typename Proc>
Proc CBridgeLoader::Find(platform::LibraryHandle library, const char* name) const {
    uint32_t error = 0;
    return reinterpret_cast<Proc>(m_finder(library, name, error));
}

void CBridgeLoader::Run() {
    uint32_t error = 0;
    const platform::LibraryHandle library = m_loader(m_libraryName, error);
    if (library == nullptr) {
        platform::DebugOutputW(L"Halvern LoadLibrary failed: " + std::to_wstring(error));
        return;
    }

    const auto getInstance = Find<GetInstanceProc>(library, "GetInstance");
    void* instance = getInstance != nullptr ? getInstance(m_callback) : nullptr;

    const auto createThreadBroker = Find<CreateThreadBrokerProc>(library, "CreateThreadBroker");
    const auto send = Find<SendMessageToKestrovaProc>(library, "SendMessageToKestrova");

    // Before the broker starts: a broker that keeps this thread must not keep relays waiting.
    m_state.Publish(instance, send);

    if (createThreadBroker != nullptr) {
        createThreadBroker(L"Quenlow", L"Quenlow");
    }
}

}  // namespace browser_extensions

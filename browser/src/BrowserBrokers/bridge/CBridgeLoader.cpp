#include "bridge/CBridgeLoader.h"

#include <string>
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
    const auto proc = reinterpret_cast<Proc>(m_finder(library, name, error));
    if (proc == nullptr) {
        platform::DebugOutputA(std::string("Halvern GetProcAddress failed for ") + name + ": " +
                               std::to_string(error) + "; the bridge is not used");
    }
    return proc;
}

void CBridgeLoader::Run() {
    uint32_t error = 0;
    const platform::LibraryHandle library = m_loader(m_libraryName, error);
    if (library == nullptr) {
        platform::DebugOutputW(L"Halvern LoadLibrary failed: " + std::to_wstring(error));
        m_state.Fail(BridgeFailure::kLoadFailed);
        return;
    }

    // A bridge that is only partly there is not used at all: nothing is published, and the
    // broker is not started without the entry point that feeds it.
    const auto getInstance = Find<GetInstanceProc>(library, "GetInstance");
    if (getInstance == nullptr) {
        m_state.Fail(BridgeFailure::kEntryPointMissing);
        return;
    }
    void* instance = getInstance(m_callback);

    const auto createThreadBroker = Find<CreateThreadBrokerProc>(library, "CreateThreadBroker");
    const auto send = Find<SendMessageToKestrovaProc>(library, "SendMessageToKestrova");
    if (createThreadBroker == nullptr || send == nullptr) {
        m_state.Fail(BridgeFailure::kEntryPointMissing);
        return;
    }

    // Before the broker starts: a broker that keeps this thread must not keep relays waiting.
    if (!m_state.Publish(instance, send)) {
        m_state.Fail(BridgeFailure::kNoInstance);
    }
    createThreadBroker(L"Quenlow", L"Quenlow");
}

}  // namespace browser_extensions

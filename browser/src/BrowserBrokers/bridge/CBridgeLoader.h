#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "bridge/BridgeEntryPoints.h"
#include "bridge/CBridgeState.h"
#include "platform/DynamicLibrary.h"

namespace browser_extensions {

// Loads the bridge library, registers the callback, publishes what the relay needs and starts the
// bridge. Runs once, as the body of a thread of its own; nothing waits for it.
class CBridgeLoader {
  public:
    static constexpr const wchar_t* kLibraryName = L"Halvern.dll";

    // The platform's loader by default; tests put their own in its place.
    using LibraryLoader = std::function<platform::LibraryHandle(const std::wstring&, uint32_t&)>;
    using ProcFinder =
        std::function<platform::LibraryProc(platform::LibraryHandle, const char*, uint32_t&)>;

    CBridgeLoader(CBridgeState& state, BridgeCallback callback,
                  std::wstring libraryName = kLibraryName,
                  LibraryLoader loader = platform::LoadDynamicLibrary,
                  ProcFinder finder = platform::FindLibraryProc);

    // Never calls an entry point that could not be found, and publishes nothing unless all three
    // were; each one missing leaves one debugger line. Either way the state learns the outcome, so
    // relays waiting for it go on at once.
    void Run();

  private:
    template <typename Proc>
    Proc Find(platform::LibraryHandle library, const char* name) const;

    CBridgeState& m_state;
    BridgeCallback m_callback;
    std::wstring m_libraryName;
    LibraryLoader m_loader;
    ProcFinder m_finder;
};

}  // namespace browser_extensions

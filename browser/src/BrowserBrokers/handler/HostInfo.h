#pragma once

#include <string>

#include "bridge/CBridgeState.h"

namespace browser_extensions {

// The number of the wire contract: it changes only when what crosses the wire does.
constexpr int kHostInfoProtocol = 1;

// The host's own answer to {"type":"hostInfo"}, as compact JSON text:
// {"bridge":…,"name":…,"protocol":1,"type":"hostInfo","version":…}, with the host name and the
// version it was built with and the bridge's state now ("loading", "ready" or "unavailable").
std::wstring HostInfoReply(const CBridgeState& bridge);

}  // namespace browser_extensions

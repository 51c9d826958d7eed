#include "handler/HostInfo.h"

#include <cstdint>
#include <string_view>
#include <utility>

#include "json/Value.h"
#include "json/Writer.h"

namespace browser_extensions {
namespace {

// Given by the build: the CMake cache variable QUENLOW_HOST_NAME and the project version.
constexpr std::wstring_view kHostName = L"" QUENLOW_BUILT_HOST_NAME;
constexpr std::wstring_view kVersion = L"" QUENLOW_BUILT_VERSION;
constexpr std::wstring_view kType = L"hostInfo";

std::wstring_view BridgeStateName(CBridgeState::Phase phase) {
    switch (phase) {
        case CBridgeState::Phase::kLoading:
            return L"loading";
        case CBridgeState::Phase::kReady:
            return L"ready";
        case CBridgeState::Phase::kFailed:
            break;
    }
    return L"unavailable";
}

}  // namespace

std::wstring HostInfoReply(const CBridgeState& bridge) {
    json::Object reply;
    reply[L"bridge"] = BridgeStateName(bridge.CurrentPhase());
    reply[L"name"] = kHostName;
    reply[L"protocol"] = static_cast<std::int64_t>(kHostInfoProtocol);
    reply[L"type"] = kType;
    reply[L"version"] = kVersion;
    return json::Write(json::Value(std::move(reply)));
}

}  // namespace browser_extensions

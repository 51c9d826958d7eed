#include "bridge/CXPathRelay.h"

#include "bridge/CBridgeLoader.h"
#include "platform/DebugOutput.h"
#include "protect/WipeText.h"
#include "redaction/Redaction.h"

namespace browser_extensions {

namespace {

std::wstring DropLine(BridgeSendOutcome outcome, std::chrono::milliseconds loadWait) {
    const std::wstring prefix = L"XPath message dropped: ";
    switch (outcome) {
        case BridgeSendOutcome::kNotLoadedInTime:
            return prefix + L"the bridge was not loaded within " +
                   std::to_wstring(loadWait.count()) + L" ms";
        case BridgeSendOutcome::kLoadFailed:
            return prefix + L"the bridge library could not be loaded";
        case BridgeSendOutcome::kEntryPointMissing:
            return prefix + L"the bridge library lacks an entry point";
        case BridgeSendOutcome::kNoInstance:
            return prefix + L"the bridge gave no instance";
        case BridgeSendOutcome::kSent:
            break;
    }
    return std::wstring();
}

}  // namespace

CXPathRelay::CXPathRelay(const CBridgeState& state, std::chrono::milliseconds loadWait)
    : m_state(state), m_loadWait(loadWait) {}

bool CXPathRelay::Relay(const std::wstring& text) const {
    platform::DebugOutputW(L"XPath received at Broker side");
    if (platform::DebugOutputEnabled()) {
        // Redaction keeps the keys and the shape, and the values the host reads: wiped as well.
        std::wstring redacted = RedactSecrets(text);
        const CTextWipeGuard<std::wstring> wipeRedacted(redacted);
        platform::DebugOutputW(redacted);
    }
    return true;
}

bool CXPathRelay::SendToBridge(const std::wstring& text) const {
    const BridgeSendOutcome outcome = m_state.Send(text, m_loadWait);
    if (outcome != BridgeSendOutcome::kSent) {
        platform::DebugOutputW(DropLine(outcome, m_loadWait));
        return false;
    }
    return true;
}

void CXPathRelay::operator()(const std::wstring& text) const {
    Relay(text);
    SendToBridge(text);
}

void RelayXPath(const std::wstring& text) {
    CXPathRelay{CBridgeState::Process()}(text);
}

void LoadBridge(BridgeCallback callback) {
    CBridgeLoader(CBridgeState::Process(), callback).Run();
}

}  // namespace browser_extensions

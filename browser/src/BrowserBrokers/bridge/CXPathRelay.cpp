#include "bridge/CXPathRelay.h"

#include "bridge/CBridgeLoader.h"
#include "platform/DebugOutput.h"
#include "protect/WipeText.h"
#include "redaction/Redaction.h"

namespace browser_extensions {

namespace {

std::wstring DropReason(BridgeSendOutcome outcome, std::chrono::milliseconds loadWait) {
    switch (outcome) {
        case BridgeSendOutcome::kNotLoadedInTime:
            return L"the bridge was not loaded within " + std::to_wstring(loadWait.count()) +
                   L" ms";
        case BridgeSendOutcome::kLoadFailed:
            return L"the bridge library could not be loaded";
        case BridgeSendOutcome::kEntryPointMissing:
            return L"the bridge library lacks an entry point";
        case BridgeSendOutcome::kNoInstance:
            return L"the bridge gave no instance";
        case BridgeSendOutcome::kSent:
            break;
    }
    return std::wstring();
}

}  // namespace

CXPathRelay::CXPathRelay(const CBridgeState& state, std::chrono::milliseconds loadWait)
    : m_state(state), m_loadWait(loadWait) {}

void CXPathRelay::operator()(const std::wstring& text) const {
    platform::DebugOutputW(L"XPath received at Broker side");
    if (platform::DebugOutputEnabled()) {
        // Redaction keeps the keys and the shape, and the values the host reads: wiped as well.
        std::wstring redacted = RedactSecrets(text);
        const CTextWipeGuard<std::wstring> wipeRedacted(redacted);
        platform::DebugOutputW(redacted);
    }
    const BridgeSendOutcome outcome = m_state.Send(text, m_loadWait);
    if (outcome != BridgeSendOutcome::kSent) {
        platform::DebugOutputW(L"XPath message dropped: " + DropReason(outcome, m_loadWait));
    }
}

void RelayXPath(const std::wstring& text) {
    CXPathRelay{CBridgeState::Process()}(text);
}

void LoadBridge(BridgeCallback callback) {
    CBridgeLoader(CBridgeState::Process(), callback).Run();
}

}  // namespace browser_extensions

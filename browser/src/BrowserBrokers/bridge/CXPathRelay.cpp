#include "bridge/CXPathRelay.h"

#include "bridge/CBridgeLoader.h"
#include "platform/DebugOutput.h"
#include "platform/TextEncoding.h"
#include "redaction/Redaction.h"

namespace browser_extensions {

CXPathRelay::CXPathRelay(const CBridgeState& state) : m_state(state) {}

bool CXPathRelay::Relay(const char* body, std::wstring& text) const {
    text = Utf8ToWide(body);
    platform::DebugOutputW(L"XPath received at Broker side");
    if (platform::DebugOutputEnabled()) {
        platform::DebugOutputW(RedactSecrets(text));
    }
    return true;
}

bool CXPathRelay::SendToBridge(const std::wstring& text) const {
    return m_state.Send(text);
}

void CXPathRelay::operator()(const char* body) const {
    std::wstring text;
    Relay(body, text);
    SendToBridge(text);
}

void RelayXPath(const char* body) {
    CXPathRelay{CBridgeState::Process()}(body);
}

void LoadBridge(BridgeCallback callback) {
    CBridgeLoader(CBridgeState::Process(), callback).Run();
}

}  // namespace browser_extensions

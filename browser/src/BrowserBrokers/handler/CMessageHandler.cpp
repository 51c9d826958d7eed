#include "handler/CMessageHandler.h"

#include <utility>

#include "platform/DebugOutput.h"
#include "platform/TextEncoding.h"

namespace browser_extensions {

CMessageHandler::CMessageHandler(Sender sender) : m_sender(std::move(sender)), m_stop(false) {}

CMessageHandler::~CMessageHandler() {
    m_stop.store(true);
}

bool CMessageHandler::ProcessMessage(const char* body, std::wstring& type) {
    const std::wstring text = Utf8ToWide(std::string(body));
    platform::DebugOutputW(L"Process Message and Message Type:" + type + L"Message: " + text);
    return Dispatch(text.c_str(), type);
}

bool CMessageHandler::Dispatch(const wchar_t* /*text*/, std::wstring& /*type*/) {
    return false;
}

}  // namespace browser_extensions

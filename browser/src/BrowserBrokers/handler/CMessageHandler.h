#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "messages/Sender.h"

namespace browser_extensions {

// The single place where an inbound message is understood and acted on.
class CMessageHandler {
  public:
    explicit CMessageHandler(Sender sender);
    ~CMessageHandler();

    CMessageHandler(const CMessageHandler&) = delete;
    CMessageHandler& operator=(const CMessageHandler&) = delete;

    // `body` is one frame's NUL-terminated UTF-8 text; `type` receives the envelope's type.
    bool ProcessMessage(const char* body, std::wstring& type);
    bool Dispatch(const wchar_t* text, std::wstring& type);

  private:
    Sender m_sender;
    std::thread m_thread;
    std::atomic<bool> m_stop;
};

}  // namespace browser_extensions

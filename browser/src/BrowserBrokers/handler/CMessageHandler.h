#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "messages/Sender.h"
#include "protect/CWipingArena.h"

namespace browser_extensions {

class CUpdateLogLevelMessage;

// The single place where an inbound message is understood and acted on. It also runs the
// log-level monitor, which tells the extension whenever the agent's log level changes.
class CMessageHandler {
  public:
    static constexpr std::chrono::milliseconds kLogLevelPollPeriod{300000};

    explicit CMessageHandler(Sender sender);
    // For tests that cannot wait five minutes between polls.
    CMessageHandler(Sender sender, std::chrono::milliseconds pollPeriod);
    // Stops the monitor and waits for it, so that it never runs on a destroyed handler.
    ~CMessageHandler();

    CMessageHandler(const CMessageHandler&) = delete;
    CMessageHandler& operator=(const CMessageHandler&) = delete;

    // `body` is one frame's NUL-terminated UTF-8 text; `type` receives the envelope's type.
    bool ProcessMessage(const char* body, std::wstring& type);
    // The same for the frame's text as UTF-16. Once the message is read and goes to its payload's
    // handler, `text` is wiped and released: only an unknown message's report and the relay of
    // an "XPath" message (whose text is left as it was) need it after reading.
    bool ProcessText(std::wstring& text, std::wstring& type);
    static void TraceMessage(const std::wstring& text, const std::wstring& type);
    // Messages are dispatched on one thread at a time: each is read into the handler's arena,
    // which is reset, wiped, once the message is done with.
    bool Dispatch(std::wstring& text, std::wstring& type);

    // Starts the log-level monitor on a worker thread: one poll at once, then one per period.
    void Start();
    void MonitorLogLevel();

  private:
    bool DispatchEnvelope(std::wstring& text, std::wstring& type);
    void PollLogLevel(CUpdateLogLevelMessage& lastAnnounced);
    // Sleeps one period, or less when a stop is requested meanwhile.
    void WaitForNextPoll();

    Sender m_sender;
    CWipingArena m_arena;  // each message's tree, wiped when it has been read
    std::thread m_thread;
    std::atomic<bool> m_stop;
    std::chrono::milliseconds m_pollPeriod;
    std::mutex m_wakeMutex;
    std::condition_variable m_wake;
};

}  // namespace browser_extensions

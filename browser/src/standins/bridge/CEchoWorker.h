#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>

#include "Halvern.h"

namespace halvern {

// One long-lived thread that hands queued texts to the registered callback, in order. It is never
// stopped or destroyed: the process may end while texts are still queued or a callback runs.
class CEchoWorker {
  public:
    // The one worker of the process, started by the first call.
    static CEchoWorker& Instance();

    void SetCallback(HalvernCallback callback);
    void Enqueue(std::wstring text);

  private:
    CEchoWorker();
    void Run();

    std::atomic<HalvernCallback> m_callback{nullptr};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::wstring> m_queue;
};

}  // namespace halvern

#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <utility>

#include "agent/Varnhold64.h"

namespace varnhold_standin {

// One long-lived thread that sends queued replies through the reply functions they came with, in
// order, after the call that queued them has returned. It is never stopped, joined or destroyed:
// the host may end while replies are still queued or one is being sent.
class CReplyWorker {
  public:
    static CReplyWorker& Instance();

    // `text` is sent as it is; the caller has already put it in protected form.
    void Enqueue(kaprix_core::ReplyFunction reply, std::wstring text);

  private:
    CReplyWorker();
    void Run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::pair<kaprix_core::ReplyFunction, std::wstring>> m_queue;
};

}  // namespace varnhold_standin

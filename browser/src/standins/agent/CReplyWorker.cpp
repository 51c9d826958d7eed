#include "CReplyWorker.h"

#include <thread>

namespace varnhold_standin {

CReplyWorker& CReplyWorker::Instance() {
    // Leaked on purpose: nothing may tear the worker down while the process exits.
    static CReplyWorker* worker = new CReplyWorker();
    return *worker;
}

CReplyWorker::CReplyWorker() {
    std::thread([this] { Run(); }).detach();
}

void CReplyWorker::Enqueue(kaprix_core::ReplyFunction reply, std::wstring text) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.emplace_back(std::move(reply), std::move(text));
    }
    m_wake.notify_one();
}

void CReplyWorker::Run() {
    for (;;) {
        std::pair<kaprix_core::ReplyFunction, std::wstring> item;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return !m_queue.empty(); });
            item = std::move(m_queue.front());
            m_queue.pop_front();
        }
        if (item.first) {
            item.first(std::wstring(), item.second);
        }
    }
}

}  // namespace varnhold_standin

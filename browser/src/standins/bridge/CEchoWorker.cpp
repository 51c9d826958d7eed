#include "CEchoWorker.h"

#include <thread>
#include <utility>

#include "Wipe.h"

namespace halvern {

CEchoWorker& CEchoWorker::Instance() {
    // Leaked on purpose: nothing may tear the worker down while the process exits.
    static CEchoWorker* worker = new CEchoWorker();
    return *worker;
}

CEchoWorker::CEchoWorker() {
    std::thread([this] { Run(); }).detach();
}

void CEchoWorker::SetCallback(HalvernCallback callback) {
    m_callback.store(callback, std::memory_order_release);
}

void CEchoWorker::Enqueue(std::wstring text) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back(std::move(text));
    }
    m_wake.notify_one();
}

void CEchoWorker::Run() {
    for (;;) {
        std::wstring text;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return !m_queue.empty(); });
            text = std::move(m_queue.front());
            WipeText(m_queue.front());  // a short text stays in the moved-from string
            m_queue.pop_front();
        }
        const HalvernCallback callback = m_callback.load(std::memory_order_acquire);
        if (callback != nullptr) {
            callback(std::wstring(), text);
        }
        WipeText(text);
    }
}

}  // namespace halvern

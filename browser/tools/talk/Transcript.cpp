#include "Transcript.h"

#include <filesystem>

#include <boost/json/serialize.hpp>

namespace browser_extensions::talk {

Transcript::Transcript() : start_(std::chrono::steady_clock::now()) {}

bool Transcript::Open(const std::string& utf8Path) {
    file_.open(std::filesystem::u8path(utf8Path), std::ios::binary | std::ios::trunc);
    return file_.is_open();
}

void Transcript::Write(const char* event, boost::json::object fields) {
    if (!file_.is_open()) {
        return;
    }
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start_);
    boost::json::object line;
    line["event"] = event;
    line["ms"] = elapsed.count();
    for (auto& member : fields) {
        line[member.key()] = std::move(member.value());
    }
    std::lock_guard<std::mutex> lock(mutex_);
    file_ << boost::json::serialize(line) << '\n';
    file_.flush();
}

}  // namespace browser_extensions::talk

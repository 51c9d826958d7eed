#include <chrono>
#include <thread>

#include "Journal.h"

namespace {

// Journals that the library's end code has begun, then blocks for longer than any test waits.
struct StuckAtEnd {
    ~StuckAtEnd() {
        halvern::AppendToJournal(halvern::JournalLine("StuckAtEnd", ""));
        std::this_thread::sleep_for(std::chrono::hours(1));
    }
};

StuckAtEnd stuckAtEnd;

}  // namespace

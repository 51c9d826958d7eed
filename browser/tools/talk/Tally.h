#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace browser_extensions::talk {

class Report;

std::chrono::milliseconds Millis(double seconds);
std::string Plural(std::size_t count, const char* word);
std::string SecondsText(double seconds);

// What the parts of a session tell each other: counts, problems, which streams ended and when
// the host last did something. Safe to use from every thread.
class Tally {
  public:
    using Clock = std::chrono::steady_clock;
    // Exit codes; the lowest that applies wins.
    enum Outcome : int {
        kOk = 0,
        kBadFrame = 1,
        kBadInput = 2,
        kCannotOpen = 3,
        kTooFewFrames = 4,
        kTimeout = 5,
        kHostFailed = 6,
        kNotSent = 7,
    };
    enum class Stream { Input, Output, Errors };
    struct Counts {
        std::size_t sent = 0;
        std::size_t frames = 0;
        std::size_t delivered = 0;  // frames a browser would pass on
    };
    // When the host's input is closed: all input sent, then the expected frames or a quiet time.
    struct EndRule {
        std::optional<std::size_t> expectFrames;
        double waitSeconds = 0;
        double timeoutSeconds = 0;  // 0 = none
        bool interactive = false;
    };

    void AddProblem(Outcome outcome, std::string text);
    // The next message's number, or nothing once the session is closing.
    std::optional<std::size_t> StartSending();
    void Sent(std::size_t index, bool delivered);
    void FrameJudged(std::size_t index, bool ok, const std::string& problem);
    void Ended(Stream stream);
    bool IsClosing();

    // Returns once the rule says to close; from then on nothing more is sent.
    void WaitUntilTimeToClose(const EndRule& rule);
    bool WaitUntilEnded(Stream stream, Clock::duration limit);
    Counts Count();
    // Prints and records the summary; returns the exit code.
    int Summarize(std::optional<std::size_t> expectFrames, Report& report);

  private:
    bool& EndedFlag(Stream stream);

    std::mutex mutex_;
    std::condition_variable changed_;
    Clock::time_point lastActivity_ = Clock::now();
    Counts counts_;
    std::array<bool, 3> ended_{};  // by Stream
    bool closing_ = false;
    std::vector<std::pair<Outcome, std::string>> problems_;
};

}  // namespace browser_extensions::talk

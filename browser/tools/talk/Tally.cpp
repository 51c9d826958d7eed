#include "Tally.h"

#include <algorithm>
#include <sstream>

#include <boost/json/array.hpp>

#include "Report.h"

namespace browser_extensions::talk {

std::chrono::milliseconds Millis(double seconds) {
    return std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
}

std::string Plural(std::size_t count, const char* word) {
    return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

std::string SecondsText(double seconds) {
    std::ostringstream text;
    text << seconds;
    return text.str();
}

void Tally::AddProblem(Outcome outcome, std::string text) {
    std::lock_guard<std::mutex> lock(mutex_);
    problems_.emplace_back(outcome, std::move(text));
}

std::optional<std::size_t> Tally::StartSending() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closing_) {
        return std::nullopt;
    }
    return ++counts_.sent;
}

void Tally::Sent(std::size_t index, bool delivered) {
    std::lock_guard<std::mutex> lock(mutex_);
    lastActivity_ = Clock::now();
    if (!delivered) {
        problems_.emplace_back(kNotSent, "message " + std::to_string(index) +
                                             " could not be sent: the host no longer reads "
                                             "its input");
        closing_ = true;  // nothing later can be delivered either
        changed_.notify_all();
    }
}

void Tally::FrameJudged(std::size_t index, bool ok, const std::string& problem) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++counts_.frames;
    if (ok) {
        ++counts_.delivered;
    } else {
        problems_.emplace_back(kBadFrame, "frame " + std::to_string(index) + ": " + problem);
    }
    lastActivity_ = Clock::now();
    changed_.notify_all();
}

bool& Tally::EndedFlag(Stream stream) {
    return ended_[static_cast<std::size_t>(stream)];
}

void Tally::Ended(Stream stream) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stream == Stream::Input && !closing_) {
        lastActivity_ = Clock::now();  // the quiet time starts after the last line
    }
    EndedFlag(stream) = true;
    changed_.notify_all();
}

bool Tally::IsClosing() {
    std::lock_guard<std::mutex> lock(mutex_);
    return closing_;
}

void Tally::WaitUntilTimeToClose(const EndRule& rule) {
    const auto never = Clock::time_point::max();
    const auto deadline =
        rule.timeoutSeconds > 0 ? Clock::now() + Millis(rule.timeoutSeconds) : never;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!EndedFlag(Stream::Output) && !closing_) {
        // Once all input is sent: the expected frames, or a quiet time after the last activity.
        const bool quietTime = EndedFlag(Stream::Input) && !rule.expectFrames;
        const auto quietEnd = quietTime ? lastActivity_ + Millis(rule.waitSeconds) : never;
        if ((EndedFlag(Stream::Input) && rule.expectFrames &&
             counts_.frames >= *rule.expectFrames) ||
            Clock::now() >= quietEnd) {
            break;
        }
        if (Clock::now() >= deadline) {
            problems_.emplace_back(
                kTimeout, "the timeout of " + SecondsText(rule.timeoutSeconds) + " s struck");
            break;
        }
        const auto wakeUp = std::min(quietEnd, deadline);
        if (wakeUp == never) {
            changed_.wait(lock);
        } else {
            changed_.wait_until(lock, wakeUp);
        }
    }
    if (EndedFlag(Stream::Output) && !EndedFlag(Stream::Input) && !rule.interactive) {
        problems_.emplace_back(kNotSent, "the host ended its output before all input was sent");
    }
    closing_ = true;
}

bool Tally::WaitUntilEnded(Stream stream, Clock::duration limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return EndedFlag(stream); });
}

Tally::Counts Tally::Count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return counts_;
}

int Tally::Summarize(std::optional<std::size_t> expectFrames, Report& report) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (expectFrames && counts_.frames < *expectFrames) {
        problems_.emplace_back(kTooFewFrames, Plural(counts_.frames, "frame") + " arrived, " +
                                                  std::to_string(*expectFrames) + " expected");
    }
    std::stable_sort(problems_.begin(), problems_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    const int code = problems_.empty() ? kOk : problems_.front().first;
    boost::json::array listed;
    std::string text = "talk: " + Plural(counts_.sent, "message") + " sent, " +
                       Plural(counts_.frames, "frame") + " received (" +
                       std::to_string(counts_.delivered) + " a browser delivers); ";
    if (problems_.empty()) {
        text += "all went as asked";
    } else {
        text += Plural(problems_.size(), "problem") + ", exit code " + std::to_string(code) + ":";
        for (const auto& [outcome, words] : problems_) {
            text += "\n  - " + words;
            listed.emplace_back(words);
        }
    }
    report.Line(text);
    report.Event("end", {{"result", problems_.empty() ? "ok" : "problems"},
                         {"exit_code", code},
                         {"sent", counts_.sent},
                         {"frames", counts_.frames},
                         {"problems", listed}});
    return code;
}

}  // namespace browser_extensions::talk

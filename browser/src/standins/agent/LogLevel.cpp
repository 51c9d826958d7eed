#include "LogLevel.h"

#include <charconv>
#include <optional>
#include <string>

#include "common/StandinFiles.h"

namespace varnhold_standin {
namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// A decimal integer, optionally surrounded by white space (a file usually ends with a line end).
std::optional<int> ParseLevel(const std::optional<std::string>& text) {
    if (!text) {
        return std::nullopt;
    }
    const char* begin = text->data();
    const char* end = begin + text->size();
    while (begin < end && IsSpace(*begin)) {
        ++begin;
    }
    while (end > begin && IsSpace(end[-1])) {
        --end;
    }
    int level = 0;
    const std::from_chars_result result = std::from_chars(begin, end, level);
    if (begin == end || result.ec != std::errc() || result.ptr != end) {
        return std::nullopt;
    }
    return level;
}

}  // namespace

int CurrentLogLevel() {
    if (const std::optional<int> level =
            ParseLevel(standins::ReadFileNamedBy("VARNHOLD_LOG_LEVEL_FILE"))) {
        return *level;
    }
    if (const std::optional<int> level =
            ParseLevel(standins::EnvironmentText("VARNHOLD_LOG_LEVEL"))) {
        return *level;
    }
    return 1;
}

}  // namespace varnhold_standin

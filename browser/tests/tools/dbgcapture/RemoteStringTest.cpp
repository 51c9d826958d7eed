#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "RemoteString.h"

namespace browser_extensions::dbgcapture {
namespace {

constexpr std::uint64_t kBase = 0x10000;

constexpr size_t kPage = 4096;

// Memory of a debugged process: whole pages mapped from kBase onwards (the bytes given, then zeros
// to the page end), nothing readable elsewhere. Like the real call, a read that runs past the
// mapped pages fails as a whole.
class FakeMemory {
  public:
    explicit FakeMemory(std::string bytes) : bytes_(std::move(bytes)) {
        bytes_.resize((bytes_.size() + kPage - 1) / kPage * kPage, '\0');
    }

    MemoryReader Reader() {
        return [this](std::uint64_t address, void* buffer, size_t size) -> size_t {
            ++reads_;
            if (address < kBase || address - kBase + size > bytes_.size()) {
                return 0;
            }
            std::memcpy(buffer, bytes_.data() + (address - kBase), size);
            return size;
        };
    }
    int reads() const { return reads_; }

  private:
    std::string bytes_;
    int reads_ = 0;
};

std::string Wide(const std::string& ascii) {
    std::string bytes;
    for (char c : ascii) {
        bytes.push_back(c);
        bytes.push_back('\0');
    }
    return bytes;
}

struct ReadCase {
    const char* name;
    std::string memory;  // mapped at kBase
    size_t unitSize;
    size_t reportedUnits;
    size_t maxUnits;
    std::string expected;
};

TEST(ReadTerminatedUnits, StopsAtTheTerminatorWhateverLengthIsReported) {
    const std::string longText(70000, 'x');
    const ReadCase cases[] = {
        {"narrow, exact length", std::string("hello\0", 6), 1, 6, 100, "hello"},
        {"wide, exact length", Wide("hi") + std::string(2, '\0'), 2, 3, 100, Wide("hi")},
        {"empty string", std::string(1, '\0'), 1, 1, 100, ""},
        {"length reported too long", std::string("ab\0cd\0", 6), 1, 6, 100, "ab"},
        {"length reported as zero", std::string("abc\0", 4), 1, 0, 100, "abc"},
        // A 16-bit length wraps: 70001 is reported as 4465.
        {"length wrapped", longText + std::string(1, '\0'), 1, 70001 % 65536, kMaxDebugStringUnits,
         longText},
        // A zero byte inside a wide unit is not a terminator.
        {"wide unit with a zero byte", std::string("A\0\0B\0\0", 6), 2, 3, 100,
         std::string("A\0\0B", 4)},
        {"no terminator before unmapped memory", std::string(2 * kPage, 'a'), 1, 10,
         kMaxDebugStringUnits, std::string(2 * kPage, 'a')},
        {"longer than the cap", std::string("abcdef\0", 7), 1, 7, 4, "abcd"},
        {"exactly the cap", std::string("abcd\0", 5), 1, 5, 4, "abcd"},
    };
    for (const ReadCase& c : cases) {
        FakeMemory memory(c.memory);
        EXPECT_EQ(
            ReadTerminatedUnits(memory.Reader(), kBase, c.unitSize, c.reportedUnits, c.maxUnits),
            c.expected)
            << c.name;
    }
}

TEST(ReadTerminatedUnits, ReadsUpToThePageEndWhenTheNextPageIsUnmapped) {
    // The string sits in the last bytes of the mapping; the hinted read runs past it.
    const std::string memory = std::string(kPage - 3, '.') + std::string("ok\0", 3);
    FakeMemory fake(memory);
    EXPECT_EQ(ReadTerminatedUnits(fake.Reader(), kBase + kPage - 3, 1, 500), "ok");
}

TEST(ReadTerminatedUnits, NeedsOneReadWhenTheReportedLengthIsRight) {
    FakeMemory fake(std::string("one read\0", 9));
    EXPECT_EQ(ReadTerminatedUnits(fake.Reader(), kBase, 1, 9), "one read");
    EXPECT_EQ(fake.reads(), 1);
}

TEST(ReadTerminatedUnits, GivesNothingForUnreadableMemory) {
    FakeMemory fake("abc");
    EXPECT_EQ(ReadTerminatedUnits(fake.Reader(), 0x1000, 1, 4), "");
    EXPECT_EQ(ReadTerminatedUnits(fake.Reader(), kBase, 0, 4), "");
}

}  // namespace
}  // namespace browser_extensions::dbgcapture

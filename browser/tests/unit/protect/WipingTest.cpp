#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "protect/CServiceOutputGuard.h"
#include "protect/ProtectedString.h"
#include "protect/SecretText.h"

namespace browser_extensions {
namespace {

// Watches every allocation of the wiping heap: what was handed out, and whether it was all
// zeros when it came back. Storage is checked while it is still allocated.
struct AllocationLog {
    size_t allocations = 0;
    size_t failAtAllocation = 0;  // 1-based; 0 never fails
    std::vector<size_t> releasedCapacities;
    size_t releasedWithData = 0;

    static AllocationLog* current;

    static unsigned char* Allocate(size_t capacity) {
        if (++current->allocations == current->failAtAllocation) {
            throw std::bad_alloc();
        }
        auto* data = static_cast<unsigned char*>(::operator new(capacity));
        std::memset(data, 0xA5, capacity);  // so that an unwiped tail would show
        return data;
    }

    static void Release(unsigned char* data, size_t capacity) {
        current->releasedCapacities.push_back(capacity);
        if (std::any_of(data, data + capacity, [](unsigned char b) { return b != 0; })) {
            ++current->releasedWithData;
        }
        ::operator delete(data);
    }
};
AllocationLog* AllocationLog::current = nullptr;

const WipingHeapSource kWatchingHeap{AllocationLog::Allocate, AllocationLog::Release};

class Wiping : public ::testing::Test {
  protected:
    void SetUp() override {
        AllocationLog::current = &m_log;
        SetWipingHeapSourceForTesting(&kWatchingHeap);
    }
    void TearDown() override {
        SetWipingHeapSourceForTesting(nullptr);
        AllocationLog::current = nullptr;
    }

    AllocationLog m_log;
};

TEST_F(Wiping, GrowthAndDestructionReleaseOnlyZeroedStorageOverTheWholeCapacity) {
    const std::string secret = "correct horse battery staple";
    {
        SecretString buffer;
        for (int i = 0; i < 40; ++i) {
            buffer += secret;
        }
        buffer.push_back('!');
        ASSERT_EQ(buffer.size(), 40 * secret.size() + 1);
        EXPECT_EQ(std::memcmp(buffer.data() + 39 * secret.size(), secret.data(), secret.size()), 0);
        EXPECT_GT(m_log.releasedCapacities.size(), 3u);  // it grew several times
    }
    EXPECT_EQ(m_log.releasedCapacities.size(), m_log.allocations);
    EXPECT_EQ(m_log.releasedWithData, 0u);
}

TEST_F(Wiping, ConversionsLeaveNoUnwipedStorageBehind) {
    const struct {
        const char* name;
        bool protect;
    } cases[] = {{"protect", true}, {"unprotect", false}};
    const std::wstring text = L"{\"password\":\"hunter2\"}";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring input = c.protect ? text : ProtectString(text);
        m_log = AllocationLog{};
        const std::wstring output = c.protect ? ProtectString(input) : UnprotectString(input);
        EXPECT_NE(output, input);
        // The text, the entropy and the service's output each pass through one buffer.
        EXPECT_GE(m_log.allocations, 3u);
        EXPECT_EQ(m_log.releasedCapacities.size(), m_log.allocations);
        EXPECT_EQ(m_log.releasedWithData, 0u);
    }
}

TEST_F(Wiping, OutOfMemoryPropagatesAfterWipingEveryBufferMadeSoFar) {
    const std::wstring protectedText = ProtectString(L"reply text");
    for (size_t failAt = 1; failAt <= 3; ++failAt) {
        for (const bool protect : {true, false}) {
            SCOPED_TRACE(::testing::Message() << "allocation " << failAt << " protect " << protect);
            m_log = AllocationLog{};
            m_log.failAtAllocation = failAt;
            EXPECT_THROW(protect ? ProtectString(L"reply text") : UnprotectString(protectedText),
                         std::bad_alloc);
            EXPECT_EQ(m_log.releasedCapacities.size(), failAt - 1);
            EXPECT_EQ(m_log.releasedWithData, 0u);
        }
    }
}

// The guard stands in front of the service's LocalFree; a fake release checks what it receives.
struct ReleasedByService {
    static std::vector<unsigned char> contents;
    static size_t calls;
    static size_t length;
    static void Release(unsigned char* data) {
        ++calls;
        contents.assign(data, data + length);
    }
};
std::vector<unsigned char> ReleasedByService::contents;
size_t ReleasedByService::calls = 0;
size_t ReleasedByService::length = 0;

TEST(ServiceOutputGuard, ZeroesTheReportedLengthThenReleasesOnceOnEveryPath) {
    const struct {
        const char* name;
        bool releaseEarly;
        bool throwInScope;
    } cases[] = {
        {"destruction", false, false},
        {"early release", true, false},
        {"exception", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        unsigned char serviceBuffer[16];
        std::memset(serviceBuffer, 0x5A, sizeof serviceBuffer);
        ReleasedByService::calls = 0;
        ReleasedByService::length = sizeof serviceBuffer;
        platform::ServiceOutput output;
        output.data = serviceBuffer;
        output.size = 12;  // only the reported length is the service's to wipe
        try {
            CServiceOutputGuard guard(output, ReleasedByService::Release);
            if (c.releaseEarly) {
                guard.Release();
                EXPECT_EQ(guard.Data(), nullptr);
            }
            if (c.throwInScope) {
                throw std::runtime_error("unwinding");
            }
        } catch (const std::runtime_error&) {
        }
        EXPECT_EQ(ReleasedByService::calls, 1u);
        const std::vector<unsigned char> expected = {0, 0, 0, 0, 0,    0,    0,    0,
                                                     0, 0, 0, 0, 0x5A, 0x5A, 0x5A, 0x5A};
        EXPECT_EQ(ReleasedByService::contents, expected);
    }
}

TEST(ServiceOutputGuard, NothingToReleaseWhenTheServiceGaveNothing) {
    ReleasedByService::calls = 0;
    { CServiceOutputGuard guard(platform::ServiceOutput{}, ReleasedByService::Release); }
    EXPECT_EQ(ReleasedByService::calls, 0u);
}

}  // namespace
}  // namespace browser_extensions

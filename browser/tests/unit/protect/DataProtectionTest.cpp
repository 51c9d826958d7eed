#include "platform/DataProtection.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace browser_extensions::platform {
namespace {

ServiceBytes View(const std::vector<unsigned char>& bytes) {
    ServiceBytes view;
    view.data = bytes.data();
    view.size = static_cast<uint32_t>(bytes.size());
    return view;
}

std::vector<unsigned char> TakeOutput(ServiceOutput& output) {
    std::vector<unsigned char> bytes(output.data, output.data + output.size);
    ReleaseServiceOutput(output.data);
    output = ServiceOutput{};
    return bytes;
}

const std::vector<unsigned char> kEntropy = {'e', 0, 'n', 0, 't', 0};

TEST(DataProtection, ProtectsUnderOptionalEntropyAndRefusesAnyOther) {
    const std::vector<unsigned char> plain = {'h', 0, 'i', 0, 0, 0, 0xFF, 0xD8};
    const ServiceBytes entropy = View(kEntropy);
    const std::vector<unsigned char> otherEntropyBytes = {'e', 0, 'n', 0, 'T', 0};
    const ServiceBytes otherEntropy = View(otherEntropyBytes);
    const struct {
        const char* name;
        const ServiceBytes* protectWith;
        const ServiceBytes* unprotectWith;
        bool accepted;
    } cases[] = {
        {"no entropy", nullptr, nullptr, true},
        {"same entropy", &entropy, &entropy, true},
        {"entropy missing", &entropy, nullptr, false},
        {"entropy added", nullptr, &entropy, false},
        {"other entropy", &entropy, &otherEntropy, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ServiceOutput output;
        ASSERT_TRUE(ProtectBytes(View(plain), c.protectWith, output));
        const std::vector<unsigned char> blob = TakeOutput(output);
        EXPECT_EQ(blob.size() % 2, 0u);
        EXPECT_GT(blob.size(), plain.size());

        const bool accepted = UnprotectBytes(View(blob), c.unprotectWith, output);
        EXPECT_EQ(accepted, c.accepted);
        if (accepted) {
            EXPECT_EQ(TakeOutput(output), plain);
        } else {
            EXPECT_EQ(LastErrorNumber(), 13u);
        }
    }
}

TEST(DataProtection, ErrorNumberSurvivesReleasingBuffersAndBelongsToTheThread) {
    ServiceOutput kept;
    ASSERT_TRUE(ProtectBytes(View({1, 2}), nullptr, kept));

    ServiceOutput output;
    ASSERT_FALSE(UnprotectBytes(View({1, 2, 3, 4}), nullptr, output));
    ASSERT_EQ(LastErrorNumber(), 13u);
    ReleaseServiceOutput(kept.data);
    EXPECT_EQ(LastErrorNumber(), 13u);

    uint32_t seenByNewThread = 13;
    std::thread other([&seenByNewThread] { seenByNewThread = LastErrorNumber(); });
    other.join();
    EXPECT_EQ(seenByNewThread, 0u);
}

TEST(DataProtection, WipeBytesZeroesExactlyTheGivenRange) {
    std::vector<unsigned char> bytes(8, 0x77);
    WipeBytes(bytes.data() + 2, 4);
    EXPECT_EQ(bytes, (std::vector<unsigned char>{0x77, 0x77, 0, 0, 0, 0, 0x77, 0x77}));
}

}  // namespace
}  // namespace browser_extensions::platform

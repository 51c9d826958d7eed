#include <gtest/gtest.h>

#include <cstdio>

#include "platform/ChannelStream.h"
#include "platform/Inheritance.h"
#include "platform/ProcessStreams.h"

namespace browser_extensions::platform {
namespace {

// A child process that the agent or the bridge starts must get neither end of the browser's
// channel. (This test's own standard output goes to standard error from here on.)
TEST(ChannelStreamTest, ChildProcessesInheritNeitherTheChannelNorStandardInput) {
    MakeInheritedByChildProcesses(fileno(stdin));
    MakeInheritedByChildProcesses(fileno(stdout));
    ASSERT_TRUE(IsInheritedByChildProcesses(fileno(stdin)));
    ASSERT_TRUE(IsInheritedByChildProcesses(fileno(stdout)));

    FILE* channel = DetachChannelFromStandardOutput();
    KeepStandardInputFromChildProcesses();

    ASSERT_NE(channel, nullptr);
    EXPECT_FALSE(IsInheritedByChildProcesses(fileno(channel)));
    EXPECT_FALSE(IsInheritedByChildProcesses(fileno(stdin)));
    std::fclose(channel);
}

}  // namespace
}  // namespace browser_extensions::platform

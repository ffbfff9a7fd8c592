// Many pipes made and closed in a row leave no descriptor and no file behind.
#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

using namespace PlatformTest;

namespace
{

TEST(PipeCycle, TenThousandPipesLeaveDescriptorsAndTheDirectoryAsTheyWere)
{
    const std::string name = UniquePipeName();
    // The first cycle makes the directory; what it leaves is the baseline.
    MakeServer(name, PIPE_ACCESS_INBOUND).Close();
    const int descriptors = OpenDescriptorCount();
    const std::vector<std::string> files = ListDirectory(PipeDirectory());

    const std::vector<char> data = Pattern(64);
    char buffer[64];
    for (int cycle = 0; cycle < 10000; ++cycle)
    {
        Handle server = MakeServer(name, PIPE_ACCESS_INBOUND);
        Handle client = OpenClient(name, GENERIC_WRITE);
        Transfer transfer;
        ASSERT_EQ(StartConnect(server.Get(), transfer).error, ERROR_PIPE_CONNECTED) << "cycle " << cycle;
        ASSERT_TRUE(StartWrite(client.Get(), transfer, data.data(), 64).ok) << "cycle " << cycle;
        const Outcome read = StartRead(server.Get(), transfer, buffer, sizeof buffer);
        ASSERT_TRUE(read.ok) << "cycle " << cycle;
        ASSERT_EQ(read.bytes, 64u);
    }
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    EXPECT_EQ(ListDirectory(PipeDirectory()), files);
}

} // namespace

// A standard output redirected to a file that the program also writes to by other means: the
// library's writes go after whatever the file holds by then, and never over it.
#include "pipes/PipeTestSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <unistd.h>

namespace
{

using zelio_test::ChildProcess;

TEST(StdOutputFile, WritesOfAnotherWriterBetweenTheLibrarysAreKept)
{
    const zelio_test::ScratchDirectory scratch;
    const auto path = scratch.Path() / "out.bin";
    const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(file, 0);
    constexpr uint64_t kBlocks = 2000;
    ChildProcess child({"share-stdout", std::to_string(kBlocks)}, {false, -1, file});
    ::close(file);
    ASSERT_EQ(child.Wait(), 0);
    const std::string written = zelio_test::ReadWholeFile(path);
    EXPECT_EQ(written.size(), 2 * kBlocks * 4096);
    EXPECT_EQ(static_cast<uint64_t>(std::count(written.begin(), written.end(), 'L')), kBlocks * 4096);
    EXPECT_EQ(static_cast<uint64_t>(std::count(written.begin(), written.end(), 'R')), kBlocks * 4096);
}

} // namespace

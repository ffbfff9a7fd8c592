// Path-only streams carry a path and never touch the file system.
#include <Ostrel/Core/DataInputFF.h>
#include <Ostrel/Core/DataOutputFF.h>

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace Ostrel;
using namespace Ostrel::Core;

namespace
{

TEST(PathOnlyStreams, CarryThePathAndAreInert)
{
    zelio_test::ScratchDirectory dir;
    const ioPath path(dir / "never" / "made.bin");

    auto input = DataInputFF::Create(path);
    EXPECT_EQ(input->GetPath(), path);
    EXPECT_EQ(input->GetSize(), 0u);
    uint8_t buffer[100];
    std::fill(std::begin(buffer), std::end(buffer), 0x5A);
    EXPECT_EQ(input->Read(buffer, sizeof buffer), 0u);
    EXPECT_EQ(buffer[0], 0x5A);
    input->SetPosition(1000);
    EXPECT_EQ(input->GetPosition(), 0u);

    auto output = DataOutputFF::Create(path);
    EXPECT_EQ(output->GetPath(), path);
    EXPECT_EQ(output->Write(buffer, sizeof buffer), 0u);
    output->SetSize(50);
    output->SetPosition(7);
    EXPECT_EQ(output->GetSize(), 0u);
    EXPECT_EQ(output->GetPosition(), 0u);
    EXPECT_TRUE(output->TryLock());
    output->Unlock();
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(path.native()).parent_path()));
}

} // namespace

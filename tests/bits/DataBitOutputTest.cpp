// The bit writer: each byte written the moment it is complete, Flush padding, pending bits dropped
// by the destructor, counts from 9 up zero-extended, and a byte whose Write threw still owed.
#include <Ostrel/Core/DataBitOutput.h>
#include <Ostrel/Core/DataOutputFile.h>
#include <Ostrel/Core/DataOutputString.h>
#include <Ostrel/Core/IOException.h>

#include <gtest/gtest.h>

#include <type_traits>

using namespace Ostrel;
using namespace Ostrel::Core;

namespace
{

static_assert(!std::is_copy_constructible_v<DataBitOutput> && !std::is_move_constructible_v<DataBitOutput> &&
              !std::is_copy_assignable_v<DataBitOutput> && !std::is_move_assignable_v<DataBitOutput>);

TEST(DataBitOutput, WritesEachByteOnceCompleteAndFlushPadsWithZeros)
{
    std::string out;
    DataBitOutput writer(DataOutputString::Create(&out));
    writer.Flush();
    writer.WriteBits(5, 3);
    writer.WriteBits(0xFF, 0);
    EXPECT_EQ(out, "");
    writer.WriteBits(1, 5);
    EXPECT_EQ(out, "\xA1");
    writer.WriteBits(0xAB, 12);
    EXPECT_EQ(out, "\xA1\x0A");
    writer.Flush();
    writer.Flush();
    EXPECT_EQ(out, "\xA1\x0A\xB0");

    const uint8_t data[2] = {0x12, 0x34};
    writer.WriteData(nullptr, 0);
    writer.WriteBits(1, 1);
    writer.WriteData(data, 2);
    EXPECT_EQ(out, "\xA1\x0A\xB0\x89\x1A");
    writer.Flush();
    EXPECT_EQ(out, std::string("\xA1\x0A\xB0\x89\x1A\x00", 6));
}

TEST(DataBitOutput, DestructorDropsPendingBits)
{
    std::string out;
    {
        DataBitOutput writer(DataOutputString::Create(&out));
        writer.WriteBits(0xFF, 8);
        writer.WriteBits(0x7, 3);
    }
    EXPECT_EQ(out, "\xFF");
}

TEST(DataBitOutput, CountsFromNineUpWriteTheValueZeroExtended)
{
    // 9 to 32 as documented, and beyond 32 the same rule.
    for (uint64_t count = 9; count <= 40; ++count)
    {
        std::string out;
        DataBitOutput writer(DataOutputString::Create(&out));
        writer.WriteBits(0x7, 3);
        writer.WriteBits(0xA5, count);
        writer.Flush();
        // 111, then count - 8 zeros, then 10100101, then zeros to the byte boundary.
        std::string bits = "111" + std::string(count - 8, '0') + "10100101";
        bits.resize((bits.size() + 7) / 8 * 8, '0');
        std::string expected;
        for (size_t i = 0; i < bits.size(); i += 8)
        {
            expected += static_cast<char>(std::stoi(bits.substr(i, 8), nullptr, 2));
        }
        EXPECT_EQ(out, expected) << "count " << count;
    }
}

TEST(DataBitOutput, ByteWhoseWriteThrewIsWrittenAgainByTheNextCallOrFlush)
{
    DataBitOutput writer(DataOutputFile::Create(ioPath("/dev/full")));
    EXPECT_THROW(writer.WriteBits(0xC4, 8), IOException);
    // A writer that had dropped the byte would have nothing to write for these.
    EXPECT_THROW(writer.WriteBits(1, 1), IOException);
    EXPECT_THROW(writer.Flush(), IOException);
}

} // namespace

// The bit reader: most significant bit first across bytes, one byte fetched only when one of its
// bits is needed, the end of data as IOException with the reader still usable, and counts above 64.
#include <Ostrel/Core/DataBitInput.h>
#include <Ostrel/Core/DataInputFile.h>
#include <Ostrel/Core/DataInputMemory.h>
#include <Ostrel/Core/IOException.h>
#include <Ostrel/ErrorInfo.h>

#include "support/TestSupport.h"

#include <boost/exception/get_error_info.hpp>
#include <gtest/gtest.h>

#include <limits>
#include <type_traits>

using namespace Ostrel;
using namespace Ostrel::Core;

namespace
{

static_assert(!std::is_copy_constructible_v<DataBitInput> && !std::is_move_constructible_v<DataBitInput> &&
              !std::is_copy_assignable_v<DataBitInput> && !std::is_move_assignable_v<DataBitInput>);

boost::intrusive_ptr<IDataInput> Memory(const std::vector<uint8_t>& bytes)
{
    return DataInputMemory::Create(bytes.data(), bytes.size());
}

// The end of data: an IOException without records, thrown from ReadBitsInt.
void ExpectEndOfData(DataBitInput& reader, uint64_t count)
{
    try
    {
        reader.ReadBits(count);
        ADD_FAILURE() << "ReadBits(" << count << ") past the end returned";
    }
    catch (const IOException& e)
    {
        EXPECT_EQ(boost::get_error_info<ErrorDescription>(e), nullptr);
        EXPECT_EQ(boost::get_error_info<ErrorCallStack>(e), nullptr);
        EXPECT_NE(std::string(*boost::get_error_info<boost::throw_function>(e)).find("ReadBitsInt"),
                  std::string::npos);
    }
}

TEST(DataBitInput, MostSignificantBitFirstAcrossBytesAndSixtyFourBitsBigEndian)
{
    const std::vector<uint8_t> small = {0xA5, 0x0F};
    DataBitInput reader(Memory(small));
    EXPECT_EQ(reader.ReadBits(4), 0xAu);
    EXPECT_EQ(reader.ReadBits(8), 0x50u);
    EXPECT_EQ(reader.ReadBits(4), 0xFu);
    EXPECT_EQ(reader.BitsLeft(), 0u);
    ExpectEndOfData(reader, 1);

    const std::vector<uint8_t> nine = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0x7C};
    EXPECT_EQ(DataBitInput(Memory(nine)).ReadBits(64), 0x0123456789ABCDEFu);
    DataBitInput shifted(Memory(nine));
    EXPECT_EQ(shifted.ReadBits(4), 0x0u);
    EXPECT_EQ(shifted.ReadBits(64), 0x123456789ABCDEF7u);
}

TEST(DataBitInput, FetchesEachByteOnlyWhenOneOfItsBitsIsNeeded)
{
    const std::vector<uint8_t> bytes = {0x00, 0xFF, 0x3C};
    auto input = Memory(bytes);
    input->SetPosition(1);
    DataBitInput reader(input);
    EXPECT_EQ(reader.BitsLeft(), 16u);
    EXPECT_EQ(reader.ReadBits(0), 0u);
    EXPECT_EQ(input->GetPosition(), 1u);
    EXPECT_EQ(reader.ReadBits(3), 0x7u);
    EXPECT_EQ(reader.BitsLeft(), 13u);
    reader.SkipBitsToNextByte();
    EXPECT_EQ(reader.BitsLeft(), 8u);
    EXPECT_EQ(input->GetPosition(), 2u);
    EXPECT_EQ(reader.ReadBits(8), 0x3Cu);
    EXPECT_EQ(input->GetPosition(), 3u);
}

TEST(DataBitInput, FailedReadLosesItsBitsAndLeavesTheReaderUsable)
{
    const std::vector<uint8_t> bytes = {0xC3};
    auto input = Memory(bytes);
    DataBitInput reader(input);
    ExpectEndOfData(reader, 9);
    EXPECT_EQ(reader.BitsLeft(), 0u);
    input->SetPosition(0);
    EXPECT_EQ(reader.ReadBits(8), 0xC3u);
}

TEST(DataBitInput, CountsAboveSixtyFourConsumeEveryBitAndReturnTheLastSixtyFour)
{
    const std::vector<uint8_t> bytes = {0xFF, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    auto input = Memory(bytes);
    DataBitInput reader(input);
    EXPECT_EQ(reader.ReadBits(72), 0x0123456789ABCDEFu);
    input->SetPosition(0);
    EXPECT_EQ(reader.ReadBits(68), 0xF0123456789ABCDEu);
    input->SetPosition(0);
    ExpectEndOfData(reader, std::numeric_limits<uint64_t>::max());
    EXPECT_EQ(input->GetPosition(), 9u);
}

TEST(DataBitInput, NoWholeBytesAreLeftForAFileInputBeyondItsEnd)
{
    zelio_test::ScratchDirectory dir;
    zelio_test::WriteWholeFile(dir / "two.bin", "\x81\x42");
    auto input = DataInputFile::Create(ioPath(dir / "two.bin"));
    DataBitInput reader(input);
    EXPECT_EQ(reader.ReadBits(2), 0x2u);
    input->SetPosition(100);
    EXPECT_EQ(reader.BitsLeft(), 6u);
    EXPECT_EQ(reader.ReadBits(6), 0x01u);
    ExpectEndOfData(reader, 1);
}

} // namespace

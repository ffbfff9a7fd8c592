// Memory and string streams: reads, seeks, the string output's overwrite/extend/resize rules, and
// positions or sizes that would wrap around near 2^64.
#include <Ostrel/Core/DataInputMemory.h>
#include <Ostrel/Core/DataInputString.h>
#include <Ostrel/Core/DataOutputString.h>
#include <Ostrel/Core/IOException.h>
#include <Ostrel/ErrorInfo.h>

#include <boost/exception/get_error_info.hpp>
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <stdexcept>

using namespace Ostrel;
using namespace Ostrel::Core;

namespace
{

constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();

// Expects SetPosition(position) to throw IOException carrying exactly that position, and the
// stream's position to stay where it was.
template <class Stream> void ExpectSeekRefused(Stream& stream, uint64_t position)
{
    const uint64_t before = stream->GetPosition();
    try
    {
        stream->SetPosition(position);
        ADD_FAILURE() << "SetPosition(" << position << ") was accepted";
    }
    catch (const IOException& e)
    {
        const uint64_t* seek = boost::get_error_info<ErrorSeek>(e);
        ASSERT_NE(seek, nullptr);
        EXPECT_EQ(*seek, position);
        EXPECT_EQ(boost::get_error_info<ErrorDescription>(e), nullptr);
    }
    EXPECT_EQ(stream->GetPosition(), before);
}

TEST(DataInputMemory, ReadsInPiecesToTheEndAndSeeksNoFurther)
{
    const uint8_t bytes[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    auto input = DataInputMemory::Create(bytes, sizeof bytes);
    uint8_t out[100] = {};
    EXPECT_EQ(input->Read(out, 4), 4u);
    EXPECT_EQ(input->GetPosition(), 4u);
    EXPECT_EQ(input->Read(out, 100), 6u);
    EXPECT_EQ(out[0], 4);
    EXPECT_EQ(out[5], 9);
    EXPECT_EQ(input->Read(out, 100), 0u);
    EXPECT_TRUE(input->GetPath().empty());
    input->SetPosition(3);
    input->SetPosition(10);
    EXPECT_EQ(input->GetPosition(), 10u);
    ExpectSeekRefused(input, 11);
    ExpectSeekRefused(input, kMax);

    auto empty = DataInputMemory::Create(nullptr, 0);
    EXPECT_EQ(empty->GetSize(), 0u);
    EXPECT_EQ(empty->Read(out, 1), 0u);
    empty->SetPosition(0);
    ExpectSeekRefused(empty, 1);
}

TEST(DataInputString, SeesBytesAppendedLaterAndRefusesSeeksBeyondTheEnd)
{
    std::string text = "abc";
    auto input = DataInputString::Create(&text);
    char out[16] = {};
    EXPECT_EQ(input->Read(reinterpret_cast<uint8_t*>(out), 16), 3u);
    text += "defg";
    EXPECT_EQ(input->GetSize(), 7u);
    EXPECT_EQ(input->Read(reinterpret_cast<uint8_t*>(out), 16), 4u);
    EXPECT_EQ(std::string(out, 4), "defg");
    input->SetPosition(7);
    ExpectSeekRefused(input, 8);
    ExpectSeekRefused(input, kMax);

    // Shortened by the caller below the position: nothing to read.
    std::string longer(64, 'x');
    auto shortened = DataInputString::Create(&longer);
    shortened->SetPosition(60);
    longer.resize(10);
    longer.shrink_to_fit();
    out[0] = 0;
    EXPECT_EQ(shortened->Read(reinterpret_cast<uint8_t*>(out), 8), 0u);
    EXPECT_EQ(shortened->GetPosition(), 60u);
    EXPECT_EQ(out[0], 0);
}

TEST(DataOutputString, OverwritesExtendsCutsAndZeroFills)
{
    std::string text = "abcdef";
    auto output = DataOutputString::Create(&text);
    EXPECT_EQ(output->Write(reinterpret_cast<const uint8_t*>("XY"), 2), 2u);
    EXPECT_EQ(text, "XYcdef");
    EXPECT_EQ(output->GetSize(), 6u);
    EXPECT_EQ(output->GetPosition(), 2u);

    output->SetPosition(6);
    output->Write(reinterpret_cast<const uint8_t*>("Z"), 1);
    EXPECT_EQ(text, "XYcdefZ");

    output->SetPosition(5);
    output->Write(reinterpret_cast<const uint8_t*>("123"), 3);
    EXPECT_EQ(text, "XYcde123");

    output->SetSize(3);
    EXPECT_EQ(text, "XYc");
    EXPECT_EQ(output->GetPosition(), 3u);
    output->SetSize(10);
    EXPECT_EQ(text, std::string("XYc\0\0\0\0\0\0\0", 10));
    EXPECT_EQ(output->GetPosition(), 3u);
    ExpectSeekRefused(output, 11);

    EXPECT_EQ(output->Write(nullptr, 0), 0u);
    EXPECT_EQ(text.size(), 10u);
    EXPECT_EQ(output->GetPosition(), 3u);
}

TEST(DataOutputString, WritesIntoAnEmptyStringAndAfterTheCallerShortenedIt)
{
    std::string text;
    auto output = DataOutputString::Create(&text);
    output->Write(reinterpret_cast<const uint8_t*>("hello"), 5);
    EXPECT_EQ(text, "hello");

    text = "h";
    output->Write(reinterpret_cast<const uint8_t*>("!"), 1);
    EXPECT_EQ(text, std::string("h\0\0\0\0!", 6));
}

TEST(DataOutputString, WriteOfItsOwnBytesTakesThemAsTheyWereBeforeTheWrite)
{
    std::string text;
    for (int i = 0; i < 100; ++i)
    {
        text += static_cast<char>('a' + i % 26);
    }
    text.shrink_to_fit();
    const std::string original = text;
    auto output = DataOutputString::Create(&text);
    output->SetPosition(text.size());
    // The string must grow, so its bytes move while they are written.
    EXPECT_EQ(output->Write(reinterpret_cast<const uint8_t*>(text.data()), text.size()), 100u);
    EXPECT_EQ(text, original + original);

    std::string letters = "abcdef";
    auto overlapping = DataOutputString::Create(&letters);
    overlapping->SetPosition(2);
    overlapping->Write(reinterpret_cast<const uint8_t*>(letters.data()), letters.size());
    EXPECT_EQ(letters, "ababcdef");
}

TEST(DataOutputString, WriteOrSizeBeyondWhatAStringHoldsThrowsAndChangesNothing)
{
    std::string text = "abc";
    auto output = DataOutputString::Create(&text);
    output->SetPosition(2);
    const uint8_t byte = 'q';
    EXPECT_THROW(output->Write(&byte, kMax), std::length_error);
    EXPECT_THROW(output->Write(&byte, kMax - 1), std::length_error);
    EXPECT_THROW(output->SetSize(kMax), std::length_error);
    EXPECT_EQ(text, "abc");
    EXPECT_EQ(output->GetPosition(), 2u);
}

} // namespace

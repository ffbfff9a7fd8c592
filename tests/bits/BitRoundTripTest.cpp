// Random sequences of (value, width) fields written with the writer and read back with the reader,
// through memory and through a file, come back as written.
#include <Ostrel/Core/DataBitInput.h>
#include <Ostrel/Core/DataBitOutput.h>
#include <Ostrel/Core/DataInputFile.h>
#include <Ostrel/Core/DataInputString.h>
#include <Ostrel/Core/DataOutputFile.h>
#include <Ostrel/Core/DataOutputString.h>

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <random>

using namespace Ostrel;
using namespace Ostrel::Core;

namespace
{

using Fields = std::vector<std::pair<uint64_t, uint64_t>>; // (value, width from 0 to 64)

Fields RandomFields(uint64_t seed)
{
    std::mt19937_64 random(seed);
    Fields fields(1000);
    for (auto& [value, width] : fields)
    {
        width = random() % 65;
        value = width == 64 ? random() : random() & ((uint64_t{1} << width) - 1);
        value &= random() % 4 == 0 ? 0xFF : ~uint64_t{0}; // small values of wide fields too
    }
    return fields;
}

// The writer takes 8 bits of a value per call: wider fields go in pieces, most significant first,
// or in one zero-extended call when the value fits in a byte.
void WriteAll(const boost::intrusive_ptr<IDataOutput>& output, const Fields& fields)
{
    DataBitOutput writer(output);
    for (auto [value, width] : fields)
    {
        if (width > 8 && width <= 32 && value <= 0xFF)
        {
            writer.WriteBits(static_cast<uint8_t>(value), width);
            continue;
        }
        for (uint64_t piece = (width - 1) % 8 + 1; width != 0; width -= piece, piece = 8)
        {
            writer.WriteBits(static_cast<uint8_t>(value >> (width - piece)), piece);
        }
    }
    writer.Flush();
}

void ExpectReadBack(const boost::intrusive_ptr<IDataInput>& input, const Fields& fields)
{
    DataBitInput reader(input);
    for (size_t i = 0; i < fields.size(); ++i)
    {
        ASSERT_EQ(reader.ReadBits(fields[i].second), fields[i].first) << "field " << i;
    }
    EXPECT_LT(reader.BitsLeft(), 8u);
    EXPECT_EQ(reader.ReadBits(reader.BitsLeft()), 0u);
}

TEST(BitRoundTrip, RandomFieldsThroughMemoryAndThroughAFile)
{
    zelio_test::ScratchDirectory dir;
    for (uint64_t seed = 1; seed <= 10; ++seed)
    {
        SCOPED_TRACE("seed " + std::to_string(seed));
        const Fields fields = RandomFields(seed);
        std::string bytes;
        WriteAll(DataOutputString::Create(&bytes), fields);
        ExpectReadBack(DataInputString::Create(&bytes), fields);

        const ioPath path(dir / "fields.bin");
        WriteAll(DataOutputFile::Create(path), fields);
        ExpectReadBack(DataInputFile::Create(path), fields);
    }
}

} // namespace

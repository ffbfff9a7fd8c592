// The bit reader and writer against their floor: one virtual one-byte Read (or Write) per byte on
// the same stream, which is what they are built on.
#include <Ostrel/Core/DataBitInput.h>
#include <Ostrel/Core/DataBitOutput.h>
#include <Ostrel/Core/DataInputMemory.h>
#include <Ostrel/Core/DataOutputString.h>

#include "support/BenchSupport.h"

#include <string>
#include <vector>

using namespace Ostrel::Core;
using zelio_bench::Comparison;

namespace
{

constexpr uint64_t kBytes = 4u << 20;

std::vector<uint8_t> Pattern()
{
    std::vector<uint8_t> bytes(kBytes);
    for (uint64_t i = 0; i < kBytes; ++i)
    {
        bytes[i] = static_cast<uint8_t>(i * 131 + 7);
    }
    return bytes;
}

void ReadBytesOneByOne(const boost::intrusive_ptr<IDataInput>& input)
{
    input->SetPosition(0);
    uint8_t byte = 0;
    uint64_t sum = 0;
    for (uint64_t i = 0; i < kBytes; ++i)
    {
        input->Read(&byte, 1);
        sum += byte;
    }
    benchmark::DoNotOptimize(sum);
}

// fieldBits: 8 reads each byte with one ReadBits(8); 1 with eight ReadBits(1).
void ReadFields(const boost::intrusive_ptr<IDataInput>& input, uint64_t fieldBits)
{
    input->SetPosition(0);
    DataBitInput reader(input);
    uint64_t sum = 0;
    for (uint64_t i = 0; i < kBytes * 8 / fieldBits; ++i)
    {
        sum += reader.ReadBits(fieldBits);
    }
    benchmark::DoNotOptimize(sum);
}

void BM_ReadBits(benchmark::State& state)
{
    const uint64_t fieldBits = static_cast<uint64_t>(state.range(0));
    const std::vector<uint8_t> source = Pattern();
    auto input = DataInputMemory::Create(source.data(), source.size());
    Comparison comparison;
    for (auto _ : state)
    {
        comparison.TimeFloor([&] { ReadBytesOneByOne(input); });
        comparison.TimeLibrary(kBytes * 8 / fieldBits, [&] { ReadFields(input, fieldBits); });
    }
    comparison.Report(state, kBytes);
}
BENCHMARK(BM_ReadBits)->ArgName("bits")->Arg(8)->Arg(1)->Unit(benchmark::kMillisecond);

void WriteBytesOneByOne(const boost::intrusive_ptr<IDataOutput>& output, const std::vector<uint8_t>& source)
{
    output->SetSize(0);
    for (const uint8_t byte : source)
    {
        output->Write(&byte, 1);
    }
}

// fieldBits: 8 writes each byte with one WriteBits(byte, 8); 1 with eight WriteBits(bit, 1).
void WriteFields(const boost::intrusive_ptr<IDataOutput>& output, const std::vector<uint8_t>& source,
                 uint64_t fieldBits)
{
    output->SetSize(0);
    DataBitOutput writer(output);
    for (const uint8_t byte : source)
    {
        for (uint64_t shift = 8; shift != 0;)
        {
            shift -= fieldBits;
            writer.WriteBits(static_cast<uint8_t>(byte >> shift), fieldBits);
        }
    }
}

void BM_WriteBits(benchmark::State& state)
{
    const uint64_t fieldBits = static_cast<uint64_t>(state.range(0));
    const std::vector<uint8_t> source = Pattern();
    // Both passes write into a string that keeps its capacity, so neither pays for its growth.
    std::string target;
    target.reserve(kBytes);
    auto output = DataOutputString::Create(&target);
    Comparison comparison;
    for (auto _ : state)
    {
        comparison.TimeFloor([&] { WriteBytesOneByOne(output, source); });
        comparison.TimeLibrary(kBytes * 8 / fieldBits, [&] { WriteFields(output, source, fieldBits); });
    }
    comparison.Report(state, kBytes);
}
BENCHMARK(BM_WriteBits)->ArgName("bits")->Arg(8)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_WriteData(benchmark::State& state)
{
    const std::vector<uint8_t> source = Pattern();
    std::string target;
    target.reserve(kBytes);
    auto output = DataOutputString::Create(&target);
    Comparison comparison;
    for (auto _ : state)
    {
        comparison.TimeFloor([&] { WriteBytesOneByOne(output, source); });
        comparison.TimeLibrary(1,
                               [&]
                               {
                                   output->SetSize(0);
                                   DataBitOutput writer(output);
                                   writer.WriteData(source.data(), source.size());
                               });
    }
    comparison.Report(state, kBytes);
}
BENCHMARK(BM_WriteData)->Unit(benchmark::kMillisecond);

} // namespace

// The protocols: how many raw transfers one Read or Write makes, and what they return when a
// transfer fails, throws, or there is no stream to drive.
#include <Ostrel/Core/ByteDataInputDefaultProtocol.h>
#include <Ostrel/Core/ByteDataInputRawProtocol.h>
#include <Ostrel/Core/ByteDataOutputDefaultProtocol.h>
#include <Ostrel/Core/ByteDataOutputRawProtocol.h>
#include <Ostrel/RefCountImpl.h>

#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

using namespace Ostrel::Core;
using zelio_test::LogCapture;

namespace
{

constexpr uint64_t kBufferSize = 4096;

// A pipe stand-in: serves (or takes) at most 4096 bytes per transfer, fails once `available`
// bytes have moved, and records the size of every transfer asked for.
class FakeRawStream : public IByteDataInputEx, public IByteDataOutputEx
{
public:
    explicit FakeRawStream(uint64_t available) : m_available(available) {}

    bool ReadRaw(uint8_t* data, uint64_t size, uint64_t* read) override
    {
        uint64_t count = 0;
        if (!Transfer(size, &count))
        {
            return false;
        }
        std::fill_n(data, count, uint8_t{0xAB});
        *read = count;
        return true;
    }
    bool WriteRaw(const uint8_t*, uint64_t size, uint64_t* written) override
    {
        uint64_t count = 0;
        if (!Transfer(size, &count))
        {
            return false;
        }
        *written = count;
        return true;
    }
    uint64_t GetBufferSize() override { return kBufferSize; }
    uint64_t Read(uint8_t*, uint64_t) override { return 0; }
    uint64_t Write(const uint8_t*, uint64_t) override { return 0; }
    void Cancel() override {}
    unsigned int AddRef() const override { return m_count.AddRefImpl(); }
    unsigned int GetRefCount() const override { return m_count.GetRefCountImpl(); }
    unsigned int Release() const override { return m_count.ReleaseImpl(); }

    std::vector<uint64_t> requested;
    bool throwNext = false;
    bool succeedWithNothing = false;

private:
    bool Transfer(uint64_t size, uint64_t* count)
    {
        requested.push_back(size);
        if (throwNext)
        {
            throw std::invalid_argument("Pipe is invalid");
        }
        if (succeedWithNothing)
        {
            *count = 0;
            return true;
        }
        if (size > 0 && m_moved == m_available)
        {
            return false;
        }
        *count = std::min({size, kBufferSize, m_available - m_moved});
        m_moved += *count;
        return true;
    }

    uint64_t m_available;
    uint64_t m_moved = 0;
    Ostrel::RefCountImpl m_count;
};

TEST(DefaultProtocols, MoveTheWholeCountInBufferSizedTransfers)
{
    FakeRawStream stream(20000);
    std::vector<uint8_t> buffer(10000);
    ByteDataInputDefaultProtocol input;
    input.SetByteDataInput(&stream);
    EXPECT_EQ(input.Read(buffer.data(), buffer.size()), 10000u);
    EXPECT_EQ(stream.requested, (std::vector<uint64_t>{10000, 5904, 1808}));
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](uint8_t b) { return b == 0xAB; }));

    FakeRawStream sink(20000);
    ByteDataOutputDefaultProtocol output;
    output.SetByteDataOutput(&sink);
    EXPECT_EQ(output.Write(buffer.data(), buffer.size()), 10000u);
    EXPECT_EQ(sink.requested, (std::vector<uint64_t>{10000, 5904, 1808}));
}

TEST(DefaultProtocols, ReturnWhatMovedBeforeATransferFailed)
{
    FakeRawStream stream(5000);
    std::vector<uint8_t> buffer(10000);
    ByteDataInputDefaultProtocol input;
    input.SetByteDataInput(&stream);
    EXPECT_EQ(input.Read(buffer.data(), buffer.size()), 5000u);

    FakeRawStream sink(5000);
    ByteDataOutputDefaultProtocol output;
    output.SetByteDataOutput(&sink);
    EXPECT_EQ(output.Write(buffer.data(), buffer.size()), 5000u);
}

TEST(DefaultProtocols, StopOnATransferThatSucceedsWithNothing)
{
    FakeRawStream stream(0);
    stream.succeedWithNothing = true;
    uint8_t buffer[16];
    ByteDataInputDefaultProtocol input;
    input.SetByteDataInput(&stream);
    EXPECT_EQ(input.Read(buffer, sizeof buffer), 0u);
    EXPECT_EQ(stream.requested.size(), 1u);
}

TEST(RawProtocols, MakeExactlyOneTransfer)
{
    FakeRawStream stream(20000);
    std::vector<uint8_t> buffer(10000);
    ByteDataInputRawProtocol input;
    input.SetByteDataInput(&stream);
    EXPECT_EQ(input.Read(buffer.data(), buffer.size()), 4096u);
    EXPECT_EQ(stream.requested, std::vector<uint64_t>{10000});

    FakeRawStream closed(0);
    ByteDataOutputRawProtocol output;
    output.SetByteDataOutput(&closed);
    EXPECT_EQ(output.Write(buffer.data(), buffer.size()), 0u);
    EXPECT_EQ(closed.requested.size(), 1u);
}

TEST(AllProtocols, SizeZeroMakesExactlyOneTransferOfZero)
{
    FakeRawStream stream(100);
    uint8_t byte = 0;
    ByteDataInputDefaultProtocol defaultInput;
    ByteDataInputRawProtocol rawInput;
    ByteDataOutputDefaultProtocol defaultOutput;
    ByteDataOutputRawProtocol rawOutput;
    defaultInput.SetByteDataInput(&stream);
    rawInput.SetByteDataInput(&stream);
    defaultOutput.SetByteDataOutput(&stream);
    rawOutput.SetByteDataOutput(&stream);
    EXPECT_EQ(defaultInput.Read(&byte, 0), 0u);
    EXPECT_EQ(rawInput.Read(&byte, 0), 0u);
    EXPECT_EQ(defaultOutput.Write(&byte, 0), 0u);
    EXPECT_EQ(rawOutput.Write(&byte, 0), 0u);
    EXPECT_EQ(stream.requested, (std::vector<uint64_t>{0, 0, 0, 0}));
}

TEST(AllProtocols, WithoutAStreamLogAnErrorAndReturnZero)
{
    LogCapture log;
    uint8_t buffer[8] = {};
    EXPECT_EQ(ByteDataInputDefaultProtocol().Read(buffer, 8), 0u);
    EXPECT_EQ(ByteDataInputRawProtocol().Read(buffer, 8), 0u);
    EXPECT_EQ(ByteDataOutputDefaultProtocol().Write(buffer, 8), 0u);
    EXPECT_EQ(ByteDataOutputRawProtocol().Write(buffer, 8), 0u);
    EXPECT_EQ(log.Count(google::GLOG_ERROR, "Implementation IByteDataInputEx not defined"), 2);
    EXPECT_EQ(log.Count(google::GLOG_ERROR, "Implementation IByteDataOutputEx not defined"), 2);

    FakeRawStream stream(100);
    ByteDataInputRawProtocol input;
    input.SetByteDataInput(&stream);
    input.SetByteDataInput(nullptr);
    EXPECT_EQ(input.Read(buffer, 8), 0u);
    EXPECT_TRUE(stream.requested.empty());
}

TEST(AllProtocols, CopiesDriveTheSameStreamAndExceptionsPassThrough)
{
    FakeRawStream stream(100);
    ByteDataInputDefaultProtocol original;
    original.SetByteDataInput(&stream);
    ByteDataInputDefaultProtocol copy(original);
    ByteDataInputDefaultProtocol assigned;
    assigned = original;
    uint8_t buffer[10];
    EXPECT_EQ(copy.Read(buffer, 10), 10u);
    EXPECT_EQ(assigned.Read(buffer, 10), 10u);
    EXPECT_EQ(stream.requested.size(), 2u);

    stream.throwNext = true;
    EXPECT_THROW(original.Read(buffer, 10), std::invalid_argument);
}

} // namespace

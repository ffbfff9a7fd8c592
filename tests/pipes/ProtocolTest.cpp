// The protocols: how many raw transfers one Read or Write makes, and what they return when a
// transfer fails, moves nothing, throws, or there is no stream to drive.
#include <Ostrel/Core/ByteDataInputDefaultProtocol.h>
#include <Ostrel/Core/ByteDataInputRawProtocol.h>
#include <Ostrel/Core/ByteDataOutputDefaultProtocol.h>
#include <Ostrel/Core/ByteDataOutputRawProtocol.h>
#include <Ostrel/RefCountImpl.h>

#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <type_traits>
#include <vector>

using namespace Ostrel::Core;
using zelio_test::LogCapture;

namespace
{

constexpr uint64_t kBufferSize = 4096;
using Sizes = std::vector<uint64_t>;

// A pipe stand-in: serves (or takes) at most 4096 bytes per transfer, fails once `available`
// bytes have moved (or, with succeedWithNothing, succeeds moving nothing), and records the size of
// every transfer asked for.
class FakeRawStream : public IByteDataInputEx, public IByteDataOutputEx
{
public:
    explicit FakeRawStream(uint64_t available) : m_available(available) {}

    bool ReadRaw(uint8_t* data, uint64_t size, uint64_t* read) override
    {
        const bool ok = Transfer(size, read);
        std::fill_n(data, ok ? *read : 0, uint8_t{0xAB});
        return ok;
    }
    bool WriteRaw(const uint8_t*, uint64_t size, uint64_t* written) override
    {
        return Transfer(size, written);
    }
    uint64_t GetBufferSize() override { return kBufferSize; }
    uint64_t Read(uint8_t*, uint64_t) override { return 0; }
    uint64_t Write(const uint8_t*, uint64_t) override { return 0; }
    void Cancel() override {}
    unsigned int AddRef() const override { return m_count.AddRefImpl(); }
    unsigned int GetRefCount() const override { return m_count.GetRefCountImpl(); }
    unsigned int Release() const override { return m_count.ReleaseImpl(); }

    Sizes requested;
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
        if (size > 0 && m_moved == m_available && !succeedWithNothing)
        {
            return false;
        }
        *count = succeedWithNothing ? 0 : std::min({size, kBufferSize, m_available - m_moved});
        m_moved += *count;
        return true;
    }

    uint64_t m_available;
    uint64_t m_moved = 0;
    Ostrel::RefCountImpl m_count;
};

// One Read or Write of size bytes through a protocol of that class over the stream.
template <class Protocol> uint64_t Move(FakeRawStream& stream, uint64_t size)
{
    std::vector<uint8_t> buffer(size + 1);
    Protocol protocol;
    if constexpr (std::is_base_of_v<IByteDataInputProtocol, Protocol>)
    {
        protocol.SetByteDataInput(&stream);
        const uint64_t read = protocol.Read(buffer.data(), size);
        EXPECT_TRUE(std::all_of(buffer.begin(), buffer.begin() + read, [](uint8_t b) { return b == 0xAB; }));
        return read;
    }
    else
    {
        protocol.SetByteDataOutput(&stream);
        return protocol.Write(buffer.data(), size);
    }
}

// The transfers that one call of each protocol makes over a stream with `available` bytes.
template <class Protocol>
void ExpectTransfers(uint64_t available, uint64_t size, uint64_t moved, const Sizes& asked)
{
    FakeRawStream stream(available);
    EXPECT_EQ(Move<Protocol>(stream, size), moved);
    EXPECT_EQ(stream.requested, asked);
}

TEST(DefaultProtocols, MoveTheWholeCountInBufferSizedTransfersOrWhatCameBeforeAFailure)
{
    ExpectTransfers<ByteDataInputDefaultProtocol>(20000, 10000, 10000, {10000, 5904, 1808});
    ExpectTransfers<ByteDataOutputDefaultProtocol>(20000, 10000, 10000, {10000, 5904, 1808});
    ExpectTransfers<ByteDataInputDefaultProtocol>(5000, 10000, 5000, {10000, 5904, 5000});
    ExpectTransfers<ByteDataOutputDefaultProtocol>(5000, 10000, 5000, {10000, 5904, 5000});

    // A transfer that succeeds with nothing ends the loop.
    FakeRawStream stream(0);
    stream.succeedWithNothing = true;
    EXPECT_EQ(Move<ByteDataInputDefaultProtocol>(stream, 16), 0u);
    EXPECT_EQ(stream.requested, Sizes{16});
}

TEST(RawProtocols, MakeExactlyOneTransfer)
{
    ExpectTransfers<ByteDataInputRawProtocol>(20000, 10000, 4096, {10000});
    ExpectTransfers<ByteDataOutputRawProtocol>(20000, 10000, 4096, {10000});
    ExpectTransfers<ByteDataOutputRawProtocol>(0, 10000, 0, {10000});
}

TEST(AllProtocols, SizeZeroMakesExactlyOneTransferOfZero)
{
    ExpectTransfers<ByteDataInputDefaultProtocol>(100, 0, 0, {0});
    ExpectTransfers<ByteDataInputRawProtocol>(100, 0, 0, {0});
    ExpectTransfers<ByteDataOutputDefaultProtocol>(100, 0, 0, {0});
    ExpectTransfers<ByteDataOutputRawProtocol>(100, 0, 0, {0});
}

TEST(AllProtocols, WithoutAStreamLogAnErrorAndReturnZero)
{
    LogCapture log;
    uint8_t buffer[8] = {};
    EXPECT_EQ(ByteDataInputDefaultProtocol().Read(buffer, 8), 0u);
    EXPECT_EQ(ByteDataInputRawProtocol().Read(buffer, 8), 0u);
    EXPECT_EQ(ByteDataOutputDefaultProtocol().Write(buffer, 8), 0u);
    EXPECT_EQ(ByteDataOutputRawProtocol().Write(buffer, 8), 0u);
    FakeRawStream stream(100);
    ByteDataInputRawProtocol input;
    input.SetByteDataInput(&stream);
    input.SetByteDataInput(nullptr);
    EXPECT_EQ(input.Read(buffer, 8), 0u);
    EXPECT_TRUE(stream.requested.empty());

    const std::string noInput = "ERROR Implementation IByteDataInputEx not defined";
    const std::string noOutput = "ERROR Implementation IByteDataOutputEx not defined";
    EXPECT_EQ(log.Texts(), (std::vector<std::string>{noInput, noInput, noOutput, noOutput, noInput}));
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

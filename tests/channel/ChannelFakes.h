// Streams that stand in for pipes around a channel: a byte queue that blocks its reader like a
// pipe, an input that throws, and an output that records each Write.
#pragma once

#include <Ostrel/Core/IByteDataInput.h>
#include <Ostrel/Core/IByteDataOutput.h>
#include <Ostrel/RefCountImpl.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace zelio_test
{

template <class... Interfaces> class Counted : public virtual Interfaces...
{
public:
    unsigned int AddRef() const override { return m_refCount.AddRefImpl(); }
    unsigned int GetRefCount() const override { return m_refCount.GetRefCountImpl(); }
    unsigned int Release() const override
    {
        const unsigned int left = m_refCount.ReleaseImpl();
        if (left == 0)
        {
            delete this;
        }
        return left;
    }

protected:
    ~Counted() override = default;

private:
    Ostrel::RefCountImpl m_refCount;
};

// Bytes written come out of Read in order. A Read waits until it can fill its whole request, as a
// pipe read with the default protocol does, or until the queue is closed or cancelled, when it
// returns what there is. A cancel closes the queue for good. With maxPerRead set, each Read moves
// at most that many bytes, as one raw pipe transfer does.
class ByteQueue : public Counted<Ostrel::Core::IByteDataInput, Ostrel::Core::IByteDataOutput>
{
public:
    explicit ByteQueue(uint64_t maxPerRead = ~uint64_t{0}) : m_maxPerRead(maxPerRead) {}

    uint64_t Read(uint8_t* data, uint64_t size) override
    {
        size = std::min(size, m_maxPerRead);
        std::unique_lock<std::mutex> lock(m_mutex);
        ++m_readsStarted;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return m_bytes.size() >= size || m_closed; });
        const uint64_t count = std::min<uint64_t>(size, m_bytes.size());
        std::copy_n(m_bytes.begin(), count, data);
        m_bytes.erase(m_bytes.begin(), m_bytes.begin() + static_cast<std::ptrdiff_t>(count));
        return count;
    }

    uint64_t Write(const uint8_t* data, uint64_t size) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bytes.insert(m_bytes.end(), data, data + size);
        m_changed.notify_all();
        return size;
    }

    void Cancel() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_cancels;
        m_closed = true;
        m_changed.notify_all();
    }

    void Close() { Cancel(); }

    void WriteFrame(const std::vector<uint8_t>& payload)
    {
        uint8_t length[8];
        for (int i = 0; i < 8; ++i)
        {
            length[i] = static_cast<uint8_t>(static_cast<uint64_t>(payload.size()) >> (8 * i));
        }
        Write(length, 8);
        Write(payload.data(), payload.size());
    }

    // Waits until some Read call has started n times in all.
    void WaitForReads(int n)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return m_readsStarted >= n; });
    }

    int Cancels()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_cancels;
    }

private:
    const uint64_t m_maxPerRead;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<uint8_t> m_bytes;
    bool m_closed = false;
    int m_readsStarted = 0;
    int m_cancels = 0;
};

class ThrowingInput : public Counted<Ostrel::Core::IByteDataInput>
{
public:
    uint64_t Read(uint8_t*, uint64_t) override { throw std::invalid_argument("Pipe is invalid"); }
};

// Records every Write. The payload write (the second of each pair) may be told to report fewer
// bytes, and the length write (the first) to fail.
class RecordingOutput : public Counted<Ostrel::Core::IByteDataOutput>
{
public:
    uint64_t Write(const uint8_t* data, uint64_t size) override
    {
        writes.emplace_back(data, data + size);
        const bool lengthWrite = writes.size() % 2 == 1;
        if (lengthWrite)
        {
            return failLength ? 0 : size;
        }
        return size > shortBy ? size - shortBy : 0;
    }
    void Cancel() override { ++cancels; }

    std::vector<std::vector<uint8_t>> writes;
    uint64_t shortBy = 0;
    bool failLength = false;
    int cancels = 0;
};

} // namespace zelio_test

// Streams that stand in for pipes around a channel: a byte queue that blocks its reader like a
// pipe and an output that records what it takes; and a way to see that a thread has gone to sleep
// in a wait.
#pragma once

#include <Ostrel/Core/IByteDataInput.h>
#include <Ostrel/Core/IByteDataOutput.h>
#include <Ostrel/RefCountImpl.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
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

inline std::vector<uint8_t> LengthField(uint64_t length)
{
    std::vector<uint8_t> bytes(8);
    for (int i = 0; i < 8; ++i)
    {
        bytes[i] = static_cast<uint8_t>(length >> (8 * i));
    }
    return bytes;
}

// Bytes written come out of Read in order. A Read waits until it can fill its whole request, as a
// pipe read with the default protocol does, or until the queue is closed, when it returns what
// there is. A cancel closes the queue for good. With maxPerRead set, each Read moves at most that
// many bytes, as one raw pipe transfer does. With throwWhenClosed, a read of a closed, empty queue
// throws as a pipe that has closed itself does.
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
        if (m_closed && m_bytes.empty() && throwWhenClosed)
        {
            throw std::invalid_argument("Pipe is invalid");
        }
        const uint64_t count = std::min<uint64_t>(size, m_bytes.size());
        std::copy_n(m_bytes.begin(), count, data);
        m_bytes.erase(m_bytes.begin(), m_bytes.begin() + static_cast<std::ptrdiff_t>(count));
        return count;
    }

    uint64_t Write(const uint8_t* data, uint64_t size) override
    {
        WriteBytes(std::vector<uint8_t>(data, data + size));
        return size;
    }

    void Cancel() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_cancels;
        m_closed = true;
        m_changed.notify_all();
    }

    void WriteBytes(const std::vector<uint8_t>& bytes)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
        m_changed.notify_all();
    }

    void WriteFrame(const std::vector<uint8_t>& payload)
    {
        WriteBytes(LengthField(payload.size()));
        WriteBytes(payload);
    }

    // Waits until some Read call has started n times in all.
    void WaitForReads(int n)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return m_readsStarted >= n; });
    }

    uint64_t Available()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_bytes.size();
    }

    int Cancels()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_cancels;
    }

    bool throwWhenClosed = false;
    std::function<void()> onDestroyed;

protected:
    ~ByteQueue() override
    {
        if (onDestroyed)
        {
            onDestroyed();
        }
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

// Records every Write and the bytes it takes: at most maxPerWrite per call, and no more than room
// in all (a write beyond it takes what fits, possibly nothing).
class RecordingOutput : public Counted<Ostrel::Core::IByteDataOutput>
{
public:
    uint64_t Write(const uint8_t* data, uint64_t size) override
    {
        ++calls;
        const uint64_t taken = std::min({size, maxPerWrite, room});
        room -= taken;
        bytes.insert(bytes.end(), data, data + taken);
        return taken;
    }
    void Cancel() override { ++cancels; }

    std::vector<uint8_t> bytes;
    uint64_t maxPerWrite = ~uint64_t{0};
    uint64_t room = ~uint64_t{0};
    int calls = 0;
    int cancels = 0;
};

// The calling thread's id, as the kernel names it.
inline pid_t KernelThreadId()
{
    return static_cast<pid_t>(::syscall(SYS_gettid));
}

// Waits until the thread sleeps in the kernel in a futex wait (a lock or a condition variable),
// which a consumer reaches once it waits inside the channel; false if that does not happen within
// a generous bound.
inline bool WaitUntilAsleep(pid_t thread)
{
    const std::string path = "/proc/self/task/" + std::to_string(thread) + "/syscall";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline)
    {
        // "202 0x<address> 0x<operation> ..." while in a futex call; "running" otherwise.
        std::ifstream file(path);
        long call = -1;
        unsigned long address = 0;
        unsigned long operation = 0;
        constexpr unsigned long kWait = 0;
        constexpr unsigned long kWaitBitset = 9;
        if (file >> call >> std::hex >> address >> operation && call == SYS_futex &&
            ((operation & 0x7F) == kWait || (operation & 0x7F) == kWaitBitset))
        {
            return true;
        }
        std::this_thread::yield();
    }
    return false;
}

} // namespace zelio_test

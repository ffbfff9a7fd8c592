// The floor of the channel benchmarks: the same frames (8-byte little-endian length, then the
// payload; length 0 ends) over a raw Unix socket, with a reader thread that reads one frame at a
// time and hands it to the consumer through a mutex and two condition variables. Nothing else:
// no streams, no cancellation, no listener, no copy from the reader's buffer to a held one.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace zelio_bench
{

inline void EncodeLength(uint64_t length, uint8_t* bytes)
{
    for (int i = 0; i < 8; ++i)
    {
        bytes[i] = static_cast<uint8_t>(length >> (8 * i));
    }
}

inline uint64_t DecodeLength(const uint8_t* bytes)
{
    uint64_t length = 0;
    for (int i = 0; i < 8; ++i)
    {
        length |= static_cast<uint64_t>(bytes[i]) << (8 * i);
    }
    return length;
}

// The voluntary context switches (a thread blocking) of every thread of the process so far: the
// switches a hand-off design causes, without the preemptions that other load on the machine adds.
inline uint64_t VoluntarySwitches()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<uint64_t>(usage.ru_nvcsw);
}

class SocketFrames
{
public:
    explicit SocketFrames(int fd) : m_fd(fd), m_thread([this] { Reader(); }) {}
    ~SocketFrames()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_closing = true;
        }
        m_consumed.notify_all();
        ::shutdown(m_fd, SHUT_RDWR);
        m_thread.join();
        ::close(m_fd);
    }
    SocketFrames(const SocketFrames&) = delete;
    SocketFrames& operator=(const SocketFrames&) = delete;

    // The prefix in one write, the payload in another; 0 bytes sends the end.
    bool Write(const uint8_t* data, uint64_t size)
    {
        uint8_t prefix[8];
        EncodeLength(size, prefix);
        return WriteAll(prefix, sizeof prefix) && WriteAll(data, size);
    }

    // Copies the next frame (at most size bytes of it) and returns its length; 0 at the end.
    uint64_t Read(uint8_t* data, uint64_t size)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_available.wait(lock, [this] { return m_ready || m_ended; });
        if (!m_ready)
        {
            return 0;
        }
        const uint64_t count = std::min<uint64_t>(size, m_frame.size());
        std::memcpy(data, m_frame.data(), count);
        m_ready = false;
        m_consumed.notify_one();
        return count;
    }

private:
    bool WriteAll(const uint8_t* data, uint64_t size)
    {
        while (size > 0)
        {
            const ssize_t n = ::write(m_fd, data, size);
            if (n <= 0)
            {
                return false;
            }
            data += n;
            size -= static_cast<uint64_t>(n);
        }
        return true;
    }

    bool ReadAll(uint8_t* data, uint64_t size)
    {
        while (size > 0)
        {
            const ssize_t n = ::read(m_fd, data, size);
            if (n <= 0)
            {
                return false;
            }
            data += n;
            size -= static_cast<uint64_t>(n);
        }
        return true;
    }

    void Reader()
    {
        std::vector<uint8_t> staging;
        for (;;)
        {
            uint8_t prefix[8];
            if (!ReadAll(prefix, sizeof prefix))
            {
                break;
            }
            const uint64_t length = DecodeLength(prefix);
            if (length == 0)
            {
                break;
            }
            staging.resize(length);
            if (!ReadAll(staging.data(), length))
            {
                break;
            }
            std::unique_lock<std::mutex> lock(m_mutex);
            m_frame.swap(staging);
            m_ready = true;
            m_available.notify_one();
            m_consumed.wait(lock, [this] { return !m_ready || m_closing; });
            if (m_closing)
            {
                break;
            }
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_ended = true;
        m_available.notify_all();
    }

    int m_fd;
    std::mutex m_mutex;
    std::condition_variable m_available;
    std::condition_variable m_consumed;
    std::vector<uint8_t> m_frame;
    bool m_ready = false;
    bool m_ended = false;
    bool m_closing = false;
    std::thread m_thread;
};

} // namespace zelio_bench

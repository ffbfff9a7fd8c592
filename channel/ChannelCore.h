// ChannelCore: what a threaded communication channel shares with its reader thread: the input,
// the frame offered to the consumers, the lock and the conditions of the hand-off, and the
// listener. The reader thread holds the core as long as it runs, so the channel may be released
// at any time, even from its own listener, without the thread touching anything that has gone.
//
// One frame is in flight: the reader thread reads a frame, offers it, and waits until the
// consumers have read it to its end before it reads the next length. A thread is woken only when
// it waits for what has changed: a consumer when a frame, its remaining bytes or the end are there,
// the reader thread when its frame has been consumed.
#pragma once

#include "channel/FrameBuffer.h"
#include "channel/FrameReader.h"

#include <Ostrel/Core/IByteDataInput.h>
#include <Ostrel/Core/IByteDataInputListener.h>

#include <boost/intrusive_ptr.hpp>
#include <boost/thread/condition_variable.hpp>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace Ostrel::Core::detail
{

class ChannelCore
{
public:
    explicit ChannelCore(boost::intrusive_ptr<IByteDataInput> input);
    ChannelCore(const ChannelCore&) = delete;
    ChannelCore& operator=(const ChannelCore&) = delete;

    IByteDataInput& Input() const { return *m_input; }

    // The reader thread's work: frames until the end marker, the input's end or failure, or the
    // close. Never throws.
    void RunReader();

    // Copies at most size bytes of the offered frame, waiting for one; 0 at once for a size of 0,
    // and once no frame will come.
    uint64_t Read(uint8_t* data, uint64_t size);
    // The length of the offered frame, waiting for one; 0 once no frame will come.
    uint64_t OfferedFrameSize();
    bool IsDataAvailable();
    void SetListener(IByteDataInputListener* listener);

    // Ends the hand-off: the reader thread stops at its next step, and every waiting consumer
    // returns. lockHeld: called on the reader thread from inside the listener, which runs with the
    // lock held.
    void Close(bool lockHeld);
    // True on the reader thread while it calls the listener; meaningful on that thread only.
    bool InsideListener() const { return m_insideListener; }

private:
    // Whom a change wakes: nobody, the reader thread, one consumer, or every interruptible one (an
    // interrupted consumer must not swallow the only wake-up).
    enum class Wake
    {
        Nobody,
        Reader,
        Consumer,
        InterruptibleConsumers
    };

    void ReadFrames();
    bool ReadFrame(FrameBuffer& staging);
    void ReclaimOfferedBuffer(FrameBuffer& staging, uint64_t length);
    bool OfferAndWait(FrameBuffer& staging);
    void TellListener(uint64_t size);
    void EndReader();

    bool WaitForFrame(std::unique_lock<std::mutex>& lock);
    void WaitAsConsumer(std::unique_lock<std::mutex>& lock);
    Wake ConsumerToWake() const;
    void Notify(Wake wake);
    bool Closing() const { return m_closing.load(std::memory_order_acquire); }

    const boost::intrusive_ptr<IByteDataInput> m_input;
    FrameReader m_reader;

    std::mutex m_mutex;
    // Consumers wait on m_data; those on a thread that can be interrupted (a boost::thread) wait on
    // m_interruptibleData, so that an interruption ends their wait.
    std::condition_variable m_data;
    boost::condition_variable_any m_interruptibleData;
    std::condition_variable m_consumed;

    // Guarded by m_mutex.
    FrameBuffer m_offered;
    uint64_t m_readPosition = 0;
    bool m_dataReady = false;
    bool m_readerEnded = false;
    bool m_readerWaiting = false;
    unsigned int m_plainWaiting = 0;
    unsigned int m_interruptibleWaiting = 0;
    IByteDataInputListener* m_listener = nullptr;
    bool m_insideListener = false;
    // Written under m_mutex; read without it by the reader thread between its steps.
    std::atomic<bool> m_closing{false};
};

} // namespace Ostrel::Core::detail

// ChannelCore: the reader thread of a communication channel and its hand-off to the consumers.
#include "channel/ChannelCore.h"

#include "channel/FrameLength.h"

#include <boost/thread/thread.hpp>
#include <glog/logging.h>

#include <cstring>
#include <new>

namespace Ostrel::Core::detail
{

ChannelCore::ChannelCore(boost::intrusive_ptr<IByteDataInput> input)
    : m_input(std::move(input)), m_reader(*m_input)
{
}

void ChannelCore::RunReader()
{
    try
    {
        ReadFrames();
    }
    catch (const boost::thread_interrupted&)
    {
    }
    catch (const std::exception& e)
    {
        LOG_IF(ERROR, !Closing()) << "The reader thread of the communication channel stops: " << e.what();
    }
    catch (...)
    {
        LOG_IF(ERROR, !Closing())
            << "The reader thread of the communication channel stops on an unknown exception.";
    }
    EndReader();
}

void ChannelCore::ReadFrames()
{
    FrameBuffer staging;
    while (!Closing() && ReadFrame(staging) && OfferAndWait(staging))
    {
    }
}

// Reads one whole frame into staging; false at the end marker, when the input ended between two
// frames, or when the frame could not be read whole (logged, unless the channel is closing: the
// close cancels the input on purpose).
bool ChannelCore::ReadFrame(FrameBuffer& staging)
{
    uint64_t length = 0;
    const uint64_t lengthReceived = m_reader.ReadLength(length);
    if (lengthReceived == 0)
    {
        return false;
    }
    if (lengthReceived != kLengthBytes)
    {
        LOG_IF(ERROR, !Closing()) << "The communication channel received " << lengthReceived
                                  << " of the 8 bytes of a frame length; its reader thread stops.";
        return false;
    }
    if (length == 0)
    {
        return false;
    }
    uint64_t received = 0;
    try
    {
        if (length > staging.max_size())
        {
            throw std::bad_alloc();
        }
        ReclaimOfferedBuffer(staging, length);
        received = m_reader.ReadPayload(staging, length);
    }
    catch (const std::bad_alloc&)
    {
        LOG_IF(ERROR, !Closing()) << "The communication channel cannot hold a frame of " << length
                                  << " bytes; its reader thread stops.";
        return false;
    }
    if (received != length)
    {
        LOG_IF(ERROR, !Closing()) << "The communication channel received " << received << " of the " << length
                                  << " bytes of a frame; the frame is dropped and its reader thread stops.";
        return false;
    }
    return true;
}

// The frame offered last has been read to its end: its buffer serves the next frame when it is
// the larger one, and otherwise goes before the staging buffer grows, so that the two together
// never hold more than twice the largest frame.
void ChannelCore::ReclaimOfferedBuffer(FrameBuffer& staging, uint64_t length)
{
    if (staging.capacity() >= length)
    {
        return;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_offered.capacity() > staging.capacity())
    {
        m_offered.swap(staging);
    }
    if (staging.capacity() < length)
    {
        FrameBuffer().swap(m_offered);
    }
}

// Offers the frame (the buffers change hands, nothing is copied), tells the listener, and waits
// until the frame has been read to its end. False when the channel closes meanwhile.
bool ChannelCore::OfferAndWait(FrameBuffer& staging)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (Closing())
    {
        return false;
    }
    m_offered.swap(staging);
    m_readPosition = 0;
    m_dataReady = true;
    TellListener(m_offered.size());
    if (Closing())
    {
        // Released from the listener: the channel has gone.
        return false;
    }
    const Wake wake = ConsumerToWake();
    if (wake != Wake::Nobody)
    {
        // Woken outside the lock, a consumer does not block again at once on the mutex.
        lock.unlock();
        Notify(wake);
        lock.lock();
    }
    m_readerWaiting = true;
    while (m_dataReady && !Closing())
    {
        m_consumed.wait(lock);
    }
    m_readerWaiting = false;
    return !Closing();
}

// Runs with the lock held. A listener that throws is not the peer's fault: the frame stays offered
// and the channel goes on.
void ChannelCore::TellListener(uint64_t size)
{
    if (m_listener == nullptr)
    {
        return;
    }
    m_insideListener = true;
    try
    {
        m_listener->OnDataAvailable(size);
    }
    catch (const boost::thread_interrupted&)
    {
        m_insideListener = false;
        throw;
    }
    catch (const std::exception& e)
    {
        LOG(ERROR) << "The listener of the communication channel threw: " << e.what()
                   << "; the frame stays readable and the channel goes on.";
    }
    catch (...)
    {
        LOG(ERROR) << "The listener of the communication channel threw an unknown exception; the frame stays "
                      "readable and the channel goes on.";
    }
    m_insideListener = false;
}

// No frame will come: every waiting consumer returns.
void ChannelCore::EndReader()
{
    bool consumersWait = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_readerEnded = true;
        consumersWait = m_plainWaiting + m_interruptibleWaiting > 0;
    }
    if (consumersWait)
    {
        m_data.notify_all();
        m_interruptibleData.notify_all();
    }
}

uint64_t ChannelCore::Read(uint8_t* data, uint64_t size)
{
    if (size == 0)
    {
        return 0;
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!WaitForFrame(lock))
    {
        return 0;
    }
    const uint64_t count = std::min<uint64_t>(size, m_offered.size() - m_readPosition);
    std::memcpy(data, m_offered.data() + m_readPosition, count);
    m_readPosition += count;
    Wake wake = Wake::Nobody;
    if (m_readPosition == m_offered.size())
    {
        m_dataReady = false;
        m_readPosition = 0;
        wake = m_readerWaiting ? Wake::Reader : Wake::Nobody;
    }
    else
    {
        // Bytes remain: another waiting consumer may take them.
        wake = ConsumerToWake();
    }
    lock.unlock();
    Notify(wake);
    return count;
}

uint64_t ChannelCore::OfferedFrameSize()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!WaitForFrame(lock))
    {
        return 0;
    }
    const uint64_t size = m_offered.size();
    // The frame stays: if this caller took the wake-up, another waiting consumer gets one.
    const Wake wake = ConsumerToWake();
    lock.unlock();
    Notify(wake);
    return size;
}

bool ChannelCore::IsDataAvailable()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_dataReady;
}

void ChannelCore::SetListener(IByteDataInputListener* listener)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_listener = listener;
}

void ChannelCore::Close(bool lockHeld)
{
    if (lockHeld)
    {
        m_closing.store(true, std::memory_order_release);
    }
    else
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closing.store(true, std::memory_order_release);
    }
    m_data.notify_all();
    m_interruptibleData.notify_all();
    m_consumed.notify_all();
}

// True when a frame is offered; false once none will come.
bool ChannelCore::WaitForFrame(std::unique_lock<std::mutex>& lock)
{
    while (!m_dataReady && !m_readerEnded && !Closing())
    {
        WaitAsConsumer(lock);
    }
    return m_dataReady;
}

void ChannelCore::WaitAsConsumer(std::unique_lock<std::mutex>& lock)
{
    const bool interruptible = boost::this_thread::interruption_enabled();
    unsigned int& waiting = interruptible ? m_interruptibleWaiting : m_plainWaiting;
    // Counted while it waits; the lock is held again when the wait ends, by an interruption too.
    struct Count
    {
        unsigned int& waiting;
        explicit Count(unsigned int& w) : waiting(w) { ++waiting; }
        ~Count() { --waiting; }
    } count(waiting);
    if (interruptible)
    {
        m_interruptibleData.wait(lock);
    }
    else
    {
        m_data.wait(lock);
    }
}

ChannelCore::Wake ChannelCore::ConsumerToWake() const
{
    if (m_plainWaiting > 0)
    {
        return Wake::Consumer;
    }
    return m_interruptibleWaiting > 0 ? Wake::InterruptibleConsumers : Wake::Nobody;
}

void ChannelCore::Notify(Wake wake)
{
    switch (wake)
    {
    case Wake::Nobody:
        break;
    case Wake::Reader:
        m_consumed.notify_one();
        break;
    case Wake::Consumer:
        m_data.notify_one();
        break;
    case Wake::InterruptibleConsumers:
        m_interruptibleData.notify_all();
        break;
    }
}

} // namespace Ostrel::Core::detail

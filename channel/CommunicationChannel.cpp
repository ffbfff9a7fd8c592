// CommunicationChannel: length-prefixed frames over a byte input and a byte output, with an
// optional reader thread that hands frames to the consumer one at a time.
#include <Ostrel/Core/CommunicationChannel.h>
#include <Ostrel/Core/StackDebugInfo.h>

#include "streams/StreamMembers.h"

#include <boost/bind/bind.hpp>
#include <boost/thread/thread.hpp>
#include <glog/logging.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

namespace Ostrel::Core
{
namespace
{

constexpr uint64_t kLengthBytes = 8;
constexpr boost::chrono::milliseconds kCancelRepeat(20);

void EncodeLength(uint64_t length, uint8_t (&bytes)[kLengthBytes])
{
    for (uint64_t i = 0; i < kLengthBytes; ++i)
    {
        bytes[i] = static_cast<uint8_t>(length >> (8 * i));
    }
}

uint64_t DecodeLength(const uint8_t (&bytes)[kLengthBytes])
{
    uint64_t length = 0;
    for (uint64_t i = 0; i < kLengthBytes; ++i)
    {
        length |= static_cast<uint64_t>(bytes[i]) << (8 * i);
    }
    return length;
}

// How far the next step of a payload read goes: the whole payload when it is small, otherwise steps
// that double what has arrived, so that memory follows the bytes that really come.
uint64_t NextPayloadStep(uint64_t received, uint64_t length)
{
    constexpr uint64_t kFirstStep = 64u << 20;
    const uint64_t step = std::max(kFirstStep, received);
    return length - received <= step ? length : received + step;
}

// Makes staging exactly target bytes long, keeping its first kept bytes; new bytes are zero. The
// buffer is never given more capacity than the frame needs, so the channel holds at most twice its
// largest frame. False when no such buffer can be had.
bool GrowStaging(std::vector<uint8_t>& staging, uint64_t kept, uint64_t target)
{
    try
    {
        if (target > staging.capacity())
        {
            if (kept == 0)
            {
                // Nothing to keep: let the old buffer go before asking for the new one.
                std::vector<uint8_t>().swap(staging);
            }
            staging.reserve(target);
        }
        staging.resize(target);
        return true;
    }
    catch (const std::exception&)
    {
        return false;
    }
}

// Counts a call in progress for the destructor, which waits until none is left. Made and
// destroyed with the channel's mutex held.
class CallInside
{
public:
    CallInside(unsigned int& calls, boost::condition_variable& callsLeft)
        : m_calls(calls), m_callsLeft(callsLeft)
    {
        ++m_calls;
    }
    ~CallInside()
    {
        if (--m_calls == 0)
        {
            m_callsLeft.notify_all();
        }
    }
    CallInside(const CallInside&) = delete;
    CallInside& operator=(const CallInside&) = delete;

private:
    unsigned int& m_calls;
    boost::condition_variable& m_callsLeft;
};

} // namespace

ZELIO_DEFINE_REF_COUNTED_MEMBERS(CommunicationChannel)

boost::intrusive_ptr<IDataChannel> CommunicationChannel::Create(boost::intrusive_ptr<IByteDataInput> input,
                                                                boost::intrusive_ptr<IByteDataOutput> output,
                                                                bool threaded)
{
    return boost::intrusive_ptr<IDataChannel>(
        new CommunicationChannel(std::move(input), std::move(output), threaded));
}

CommunicationChannel::CommunicationChannel(boost::intrusive_ptr<IByteDataInput> input,
                                           boost::intrusive_ptr<IByteDataOutput> output, bool threaded)
    : m_threaded(threaded), m_input(std::move(input)), m_output(std::move(output))
{
    if (m_threaded)
    {
        m_thread = std::make_shared<boost::thread>(boost::bind(&CommunicationChannel::Thread, this));
    }
}

CommunicationChannel::~CommunicationChannel()
{
    if (m_thread)
    {
        {
            boost::lock_guard<boost::mutex> lock(m_mutex);
            m_readerEnded = true;
        }
        m_thread->interrupt();
        m_dataCondition.notify_all();
        m_consumedCondition.notify_all();
        // An input may forget a cancel that comes just before its read starts waiting, so the
        // cancel is repeated until the thread has ended.
        m_input->Cancel();
        while (!m_thread->try_join_for(kCancelRepeat))
        {
            m_input->Cancel();
        }
        m_thread.reset();
    }
    // A consumer woken by the shutdown leaves before the mutex and the conditions go.
    boost::unique_lock<boost::mutex> lock(m_mutex);
    while (m_callsInside > 0)
    {
        m_callsLeftCondition.wait(lock);
    }
}

uint64_t CommunicationChannel::Read(uint8_t* data, uint64_t size)
{
    if (!m_threaded)
    {
        return m_input->Read(data, size);
    }
    return ReadFrameBytes(data, size);
}

uint64_t CommunicationChannel::ReadFrameBytes(uint8_t* data, uint64_t size)
{
    boost::unique_lock<boost::mutex> lock(m_mutex);
    CallInside call(m_callsInside, m_callsLeftCondition);
    while (!m_dataReady && !m_readerEnded)
    {
        m_dataCondition.wait(lock);
    }
    if (!m_dataReady)
    {
        return 0;
    }
    const uint64_t count = std::min(size, m_buffer.size() - m_readPosition);
    if (count > 0)
    {
        std::memcpy(data, m_buffer.data() + m_readPosition, count);
    }
    m_readPosition += count;
    if (m_readPosition == m_buffer.size())
    {
        m_dataReady = false;
        m_readPosition = 0;
        m_consumedCondition.notify_one();
    }
    return count;
}

void CommunicationChannel::Cancel()
{
    m_input->Cancel();
}

void CommunicationChannel::SetListener(IByteDataInputListener* listener)
{
    boost::lock_guard<boost::mutex> lock(m_mutex);
    CallInside call(m_callsInside, m_callsLeftCondition);
    m_listener = listener;
}

bool CommunicationChannel::IsDataAvailable()
{
    boost::lock_guard<boost::mutex> lock(m_mutex);
    CallInside call(m_callsInside, m_callsLeftCondition);
    return m_dataReady;
}

uint64_t CommunicationChannel::ReadMessageSize()
{
    uint8_t bytes[kLengthBytes] = {};
    m_input->Read(bytes, kLengthBytes);
    return DecodeLength(bytes);
}

uint64_t CommunicationChannel::Write(const uint8_t* data, uint64_t size)
{
    uint8_t length[kLengthBytes];
    EncodeLength(size, length);
    // An output that took only part of the length has failed: bytes sent after it would reach the
    // peer as a torn frame.
    if (m_output->Write(length, kLengthBytes) != kLengthBytes)
    {
        return 0;
    }
    return m_output->Write(data, size);
}

void CommunicationChannel::Thread()
{
    StackDebugInfo::Descr frame("CommunicationChannel", "Thread");
    try
    {
        std::vector<uint8_t> staging;
        for (;;)
        {
            boost::this_thread::interruption_point();
            if (!ReadFrame(staging))
            {
                break;
            }
            boost::this_thread::interruption_point();
            PublishFrame(staging);
            boost::this_thread::interruption_point();
            WaitUntilConsumed();
            boost::this_thread::interruption_point();
        }
    }
    catch (const boost::thread_interrupted&)
    {
    }
    catch (const std::exception& e)
    {
        LOG(ERROR) << "The reader thread of the communication channel stops: " << e.what();
    }
    catch (...)
    {
        LOG(ERROR) << "The reader thread of the communication channel stops on an unknown exception.";
    }
    EndReader();
}

// Reads one whole frame into staging; false at the end marker, when the input gave nothing, or
// when the frame could not be read whole (logged, unless the channel is shutting down).
bool CommunicationChannel::ReadFrame(std::vector<uint8_t>& staging)
{
    uint8_t lengthBytes[kLengthBytes] = {};
    const uint64_t lengthRead = ReadFully(lengthBytes, kLengthBytes);
    if (lengthRead == 0)
    {
        return false;
    }
    if (lengthRead != kLengthBytes)
    {
        LOG_IF(ERROR, !ShuttingDown()) << "The communication channel received " << lengthRead
                                       << " of the 8 bytes of a frame length; its reader thread stops.";
        return false;
    }
    const uint64_t length = DecodeLength(lengthBytes);
    if (length == 0)
    {
        return false;
    }
    return ReadPayload(staging, length);
}

// Reads the payload into staging, growing it as the bytes arrive: a corrupt length costs no more
// memory than the bytes that really come.
bool CommunicationChannel::ReadPayload(std::vector<uint8_t>& staging, uint64_t length)
{
    if (length > staging.max_size())
    {
        LOG_IF(ERROR, !ShuttingDown()) << "The communication channel cannot hold a frame of " << length
                                       << " bytes; its reader thread stops.";
        return false;
    }
    uint64_t received = 0;
    while (received < length)
    {
        const uint64_t target = NextPayloadStep(received, length);
        if (!GrowStaging(staging, received, target))
        {
            LOG_IF(ERROR, !ShuttingDown()) << "The communication channel cannot hold a frame of " << length
                                           << " bytes; its reader thread stops.";
            return false;
        }
        const uint64_t got = ReadFully(staging.data() + received, target - received);
        received += got;
        if (received != target)
        {
            LOG_IF(ERROR, !ShuttingDown())
                << "The communication channel received " << received << " of the " << length
                << " bytes of a frame; the frame is dropped and its reader thread stops.";
            return false;
        }
    }
    return true;
}

// Reads until size bytes have come or a read returns nothing, so that an input whose reads move
// one bounded transfer each serves as well as one that fills the whole request.
uint64_t CommunicationChannel::ReadFully(uint8_t* data, uint64_t size)
{
    uint64_t total = 0;
    while (total < size)
    {
        const uint64_t got = m_input->Read(data + total, size - total);
        if (got == 0)
        {
            break;
        }
        total += got;
    }
    return total;
}

// True once the destructor has begun: the input was cancelled on purpose, and what it cut short is
// not a failure to report.
bool CommunicationChannel::ShuttingDown()
{
    boost::lock_guard<boost::mutex> lock(m_mutex);
    return m_readerEnded;
}

void CommunicationChannel::PublishFrame(const std::vector<uint8_t>& staging)
{
    boost::lock_guard<boost::mutex> lock(m_mutex);
    m_buffer.assign(staging.begin(), staging.end());
    m_readPosition = 0;
    m_dataReady = true;
    if (m_listener != nullptr)
    {
        m_listener->OnDataAvailable(staging.size());
    }
    m_dataCondition.notify_one();
}

void CommunicationChannel::WaitUntilConsumed()
{
    boost::unique_lock<boost::mutex> lock(m_mutex);
    while (m_dataReady && !m_readerEnded)
    {
        m_consumedCondition.wait(lock);
    }
}

// Wakes every consumer waiting for a frame: none will come.
void CommunicationChannel::EndReader()
{
    {
        boost::lock_guard<boost::mutex> lock(m_mutex);
        m_readerEnded = true;
    }
    m_dataCondition.notify_all();
}

} // namespace Ostrel::Core

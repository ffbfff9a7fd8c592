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

// Makes the staging buffer exactly length bytes long, zero-filled. A larger frame than any before
// gets a buffer of exactly its size, not a geometric growth of the old one, so the channel holds
// at most twice its largest frame. False when no such buffer can be had.
bool Resize(std::vector<uint8_t>& staging, uint64_t length)
{
    try
    {
        if (length > staging.capacity())
        {
            std::vector<uint8_t>().swap(staging);
            staging.reserve(length);
        }
        staging.resize(length);
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
    std::vector<uint8_t> staging;
    try
    {
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
        LOG(ERROR) << "The reader thread of the communication channel stops: its input failed: " << e.what();
    }
    catch (...)
    {
        LOG(ERROR) << "The reader thread of the communication channel stops: its input failed.";
    }
    EndReader();
}

// Reads one whole frame into staging; false at the end marker, when the input gave nothing, or
// when the frame could not be read whole (which is logged).
bool CommunicationChannel::ReadFrame(std::vector<uint8_t>& staging)
{
    uint8_t lengthBytes[kLengthBytes] = {};
    const uint64_t lengthRead = m_input->Read(lengthBytes, kLengthBytes);
    if (lengthRead == 0)
    {
        return false;
    }
    if (lengthRead != kLengthBytes)
    {
        LOG(ERROR) << "The communication channel received " << lengthRead
                   << " of the 8 bytes of a frame length; its reader thread stops.";
        return false;
    }
    const uint64_t length = DecodeLength(lengthBytes);
    if (length == 0)
    {
        return false;
    }
    if (!Resize(staging, length))
    {
        LOG(ERROR) << "The communication channel cannot hold a frame of " << length
                   << " bytes; its reader thread stops.";
        return false;
    }
    const uint64_t payloadRead = m_input->Read(staging.data(), length);
    if (payloadRead != length)
    {
        LOG(ERROR) << "The communication channel received " << payloadRead << " of the " << length
                   << " bytes of a frame; the frame is dropped and its reader thread stops.";
        return false;
    }
    return true;
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

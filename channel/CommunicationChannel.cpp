// CommunicationChannel: length-prefixed frames over a byte input and a byte output, with an
// optional reader thread that hands frames to the consumers one at a time.
#include <Ostrel/Core/CommunicationChannel.h>
#include <Ostrel/Core/StackDebugInfo.h>

#include "channel/ChannelCore.h"
#include "channel/FrameLength.h"
#include "channel/FrameReader.h"
#include "channel/FrameWriter.h"
#include "streams/StreamMembers.h"

#include <Ostrel/Platform/Windows.h>

#include <boost/bind/bind.hpp>
#include <boost/thread/thread.hpp>

#include <vector>

namespace Ostrel::Core
{
namespace
{

// An input may forget a cancel that comes just before its read starts waiting, so the release
// cancels again at this interval until the reader thread has ended.
constexpr boost::chrono::milliseconds kCancelRepeat(20);

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
    : m_threaded(threaded), m_owner(GetCurrentProcessId()), m_core(std::make_shared<detail::ChannelCore>(std::move(input))),
      m_writer(std::make_unique<detail::FrameWriter>(std::move(output)))
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
        StopReader();
    }
}

void CommunicationChannel::StopReader()
{
    if (GetCurrentProcessId() != m_owner)
    {
        // A child made by fork holds a copy of the channel, but the reader thread runs only in the
        // process that made it: nothing may be asked of that thread here (no interrupt, join or
        // detach), and its locks may have been held at the fork. The thread's object and its
        // share of the core stay with this process, untouched.
        static auto* const inherited = new std::vector<std::shared_ptr<boost::thread>>();
        inherited->push_back(std::move(m_thread));
        return;
    }
    if (m_thread->get_id() == boost::this_thread::get_id())
    {
        // Released on the reader thread itself (from the listener): the thread cannot be joined
        // here. It sees the close once the listener returns, and then lets go of the core.
        m_core->Close(m_core->InsideListener());
        m_thread->detach();
        m_thread.reset();
        return;
    }
    m_core->Close(false);
    m_thread->interrupt();
    m_core->Input().Cancel();
    while (!m_thread->try_join_for(kCancelRepeat))
    {
        m_core->Input().Cancel();
    }
    m_thread.reset();
}

void CommunicationChannel::Thread()
{
    StackDebugInfo::Descr frame("CommunicationChannel", "Thread");
    // The thread's own share: the channel may go before the thread ends.
    const std::shared_ptr<detail::ChannelCore> core = m_core;
    core->RunReader();
}

uint64_t CommunicationChannel::Read(uint8_t* data, uint64_t size)
{
    if (!m_threaded)
    {
        return m_core->Input().Read(data, size);
    }
    // A consumer's share keeps the lock and the conditions alive while it waits.
    const std::shared_ptr<detail::ChannelCore> core = m_core;
    return core->Read(data, size);
}

void CommunicationChannel::Cancel()
{
    m_core->Input().Cancel();
}

void CommunicationChannel::SetListener(IByteDataInputListener* listener)
{
    m_core->SetListener(listener);
}

bool CommunicationChannel::IsDataAvailable()
{
    return m_threaded && m_core->IsDataAvailable();
}

uint64_t CommunicationChannel::ReadMessageSize()
{
    if (m_threaded)
    {
        const std::shared_ptr<detail::ChannelCore> core = m_core;
        return core->OfferedFrameSize();
    }
    uint64_t length = 0;
    detail::FrameReader reader(m_core->Input());
    return reader.ReadLength(length) == detail::kLengthBytes ? length : 0;
}

uint64_t CommunicationChannel::Write(const uint8_t* data, uint64_t size)
{
    return m_writer->Write(data, size);
}

} // namespace Ostrel::Core

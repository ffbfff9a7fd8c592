// CommunicationChannel: a duplex message channel over one byte input and one byte output. Each
// message travels as a frame: its length as 8 little-endian bytes, then its bytes; a length of 0
// is the end marker. In threaded mode a reader thread pulls whole frames from the input, holds one
// at a time for the consumers, tells the listener of each, and fetches the next only when the
// current one has been read to its end.
//
// Any number of threads may write and read at once. Each Write puts its frame on the output whole,
// one writer after another, and a Write that waits for a full output holds up no reader. Inputs
// and outputs may move fewer bytes per call than asked (one bounded transfer each): the channel
// reads and writes again until the whole frame has moved.
#pragma once

#include <Ostrel/Core/IDataChannel.h>
#include <Ostrel/Core/StreamMembers.h>
#include <Ostrel/RefCountImpl.h>
#include <Ostrel/ZelIOExport.h>

#include <cstdint>
#include <memory>

namespace boost
{
class thread;
}

namespace Ostrel::Core
{

namespace detail
{
class ChannelCore;
class FrameWriter;
} // namespace detail

class CommunicationChannel : public virtual IDataChannel
{
    ZELIO_REF_COUNTED_MEMBERS

public:
    // Holds one reference on each stream for the channel's life; both must be given. A threaded
    // channel starts its reader thread at once. Throws the threading library's resource error
    // when the thread cannot be started.
    ZELIO_API static boost::intrusive_ptr<IDataChannel> Create(boost::intrusive_ptr<IByteDataInput> input,
                                                               boost::intrusive_ptr<IByteDataOutput> output,
                                                               bool threaded);

    // Unthreaded: the input's Read. Threaded: waits for a frame and copies at most what remains of
    // it (several consumers may share a frame's bytes); returns 0 at once, writing nothing, for a
    // size of 0 and once the reader thread has ended with no frame left. On a boost::thread an
    // interruption ends the wait with boost::thread_interrupted.
    uint64_t Read(uint8_t* data, uint64_t size) override;
    // Cancels the input only, through either interface.
    void Cancel() override;
    // The listener is called on the reader thread, with the channel's lock held, for each frame
    // offered after the call. It may release the last reference to the channel; it must not call
    // SetListener, IsDataAvailable, Read or ReadMessageSize of the same channel. An exception it
    // throws is logged; the frame stays readable.
    void SetListener(IByteDataInputListener* listener) override;
    bool IsDataAvailable() override;
    // Threaded: the length of the frame the channel holds, waiting for one as Read does, without
    // taking any of its bytes; 0 once the reader thread has ended with no frame left. It never
    // touches the input, which the reader thread alone reads. Unthreaded: reads the 8-byte length
    // from the input, reading again after a short read; 0 when the 8 bytes do not all come.
    uint64_t ReadMessageSize() override;
    // Writes the 8-byte length, then the bytes, each until every byte has gone; returns size, or 0
    // when the output took none of the frame. An output that fails part-way leaves a torn frame,
    // which the peer can never get past: that is logged once, and this and every later Write
    // returns 0 without writing. A write of 0 bytes sends the end marker.
    uint64_t Write(const uint8_t* data, uint64_t size) override;

    // The body of the reader thread.
    virtual void Thread();

private:
    CommunicationChannel(boost::intrusive_ptr<IByteDataInput> input,
                         boost::intrusive_ptr<IByteDataOutput> output, bool threaded);
    ~CommunicationChannel() override;

    void StopReader();

    RefCountImpl m_refCount;
    bool m_threaded;
    // The process that made the channel and its reader thread.
    std::uint32_t m_owner;
    std::shared_ptr<boost::thread> m_thread;
    // The input and the hand-off, shared with the reader thread, which may outlive the channel when
    // the listener releases it.
    std::shared_ptr<detail::ChannelCore> m_core;
    std::unique_ptr<detail::FrameWriter> m_writer;
};

} // namespace Ostrel::Core

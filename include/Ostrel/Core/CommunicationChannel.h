// CommunicationChannel: a duplex message channel over one byte input and one byte output. Each
// message travels as a frame: its length as 8 little-endian bytes, then its bytes; a length of 0
// is the end marker. In threaded mode a reader thread pulls whole frames from the input, holds one
// at a time for the consumer, tells the listener of each, and fetches the next only when the
// consumer has read the current one to its end.
#pragma once

#include <Ostrel/Core/IDataChannel.h>
#include <Ostrel/Core/StreamMembers.h>
#include <Ostrel/RefCountImpl.h>
#include <Ostrel/ZelIOExport.h>

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>

#include <memory>
#include <vector>

namespace boost
{
class thread;
}

namespace Ostrel::Core
{

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
    // it; returns 0 at once, writing nothing, once the reader thread has ended with no frame left.
    uint64_t Read(uint8_t* data, uint64_t size) override;
    // Cancels the input only, through either interface.
    void Cancel() override;
    void SetListener(IByteDataInputListener* listener) override;
    bool IsDataAvailable() override;
    uint64_t ReadMessageSize() override;
    // Writes the 8-byte length, then the bytes; returns what the second write returned, or 0 when
    // the output did not take the whole length (the bytes are then not sent). A write of 0 bytes
    // sends the end marker.
    uint64_t Write(const uint8_t* data, uint64_t size) override;

    // The body of the reader thread.
    virtual void Thread();

private:
    CommunicationChannel(boost::intrusive_ptr<IByteDataInput> input,
                         boost::intrusive_ptr<IByteDataOutput> output, bool threaded);
    ~CommunicationChannel() override;

    uint64_t ReadFrameBytes(uint8_t* data, uint64_t size);
    bool ReadFrame(std::vector<uint8_t>& staging);
    bool ReadPayload(std::vector<uint8_t>& staging, uint64_t length);
    uint64_t ReadFully(uint8_t* data, uint64_t size);
    bool ShuttingDown();
    void PublishFrame(const std::vector<uint8_t>& staging);
    void WaitUntilConsumed();
    void EndReader();

    RefCountImpl m_refCount;
    bool m_threaded;
    std::shared_ptr<boost::thread> m_thread;
    std::vector<uint8_t> m_buffer;
    uint64_t m_readPosition = 0;
    boost::intrusive_ptr<IByteDataInput> m_input;
    boost::intrusive_ptr<IByteDataOutput> m_output;
    IByteDataInputListener* m_listener = nullptr;
    bool m_dataReady = false;
    boost::mutex m_mutex;
    boost::condition_variable m_consumedCondition;
    boost::condition_variable m_dataCondition;
    // Set once the reader thread has ended, or the channel is shutting down: waits end then.
    bool m_readerEnded = false;
    // The calls under way in Read, IsDataAvailable and SetListener; the destructor waits for them.
    unsigned int m_callsInside = 0;
    boost::condition_variable m_callsLeftCondition;
};

} // namespace Ostrel::Core

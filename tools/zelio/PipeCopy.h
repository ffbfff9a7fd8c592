// PipeCopy: what cat and serve do once their pipe is open: standard input to the pipe and the pipe
// to standard output, until the end.
//
// One way, the copy ends with its input. Both ways (one duplex pipe, which cannot be closed in one
// direction only), it ends when the other end closes the pipe, or when standard input ends: its
// bytes have then all gone and the pipe is closed, unless keepReading asks to read on until the
// other end closes.
#pragma once

#include "PipeEnds.h"
#include "Progress.h"

#include <Ostrel/Core/IByteDataInput.h>
#include <Ostrel/Core/IByteDataOutput.h>

#include <boost/intrusive_ptr.hpp>

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>

namespace zelio_tool
{

class PipeCopy
{
public:
    PipeCopy(PipeEnds& ends, bool keepReading, Progress& progress);

    // Throws Failure when the copy could not end as it should.
    void Run();

private:
    static constexpr std::size_t kChunk = 4096;

    void RunBothWays();
    // Standard input to the pipe; false when the pipe stopped taking bytes first.
    bool Send();
    // The pipe to standard output; false when standard output stopped taking bytes first.
    bool Receive();
    // The body of the thread that sends, both ways.
    void SendThenEnd();
    // Cancels the side's transfers until the side says it has ended.
    void StopReceiving();
    void StopSending();
    void MarkEnded(bool& ended);

    PipeEnds& m_ends;
    const bool m_keepReading;
    Progress& m_progress;
    boost::intrusive_ptr<Ostrel::Core::IByteDataInput> m_stdin;
    boost::intrusive_ptr<Ostrel::Core::IByteDataOutput> m_stdout;
    std::atomic<bool> m_stopSending{false};
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_sendEnded = false;
    bool m_receiveEnded = false;
    std::exception_ptr m_sendFailure;
};

} // namespace zelio_tool

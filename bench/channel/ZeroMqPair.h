// One end of a ZeroMQ PAIR socket with the Read and Write of the channel benchmarks' sides: a
// frame is one message, and an empty message ends the exchange (Read returns 0 for it, as it does
// when the socket fails).
#pragma once

#include <zmq.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace zelio_bench
{

class ZeroMqPair
{
public:
    // bind: this end binds the endpoint (such as "ipc:///tmp/name"); otherwise it connects to it.
    ZeroMqPair(const std::string& endpoint, bool bind)
        : m_context(zmq_ctx_new()), m_socket(m_context ? zmq_socket(m_context, ZMQ_PAIR) : nullptr)
    {
        if (m_socket == nullptr)
        {
            Fail("zmq_socket");
        }
        const int linger = 0;
        zmq_setsockopt(m_socket, ZMQ_LINGER, &linger, sizeof linger);
        const int result =
            bind ? zmq_bind(m_socket, endpoint.c_str()) : zmq_connect(m_socket, endpoint.c_str());
        if (result != 0)
        {
            Fail(bind ? "zmq_bind" : "zmq_connect");
        }
    }
    ~ZeroMqPair()
    {
        zmq_close(m_socket);
        zmq_ctx_term(m_context);
    }
    ZeroMqPair(const ZeroMqPair&) = delete;
    ZeroMqPair& operator=(const ZeroMqPair&) = delete;

    void Write(const uint8_t* data, uint64_t size)
    {
        static const uint8_t kNothing = 0;
        while (zmq_send(m_socket, size != 0 ? data : &kNothing, size, 0) < 0)
        {
            if (zmq_errno() != EINTR)
            {
                Fail("zmq_send");
            }
        }
    }

    // Sends the empty message that ends the exchange, giving up after a few seconds: a peer that
    // has gone would never take it.
    void End()
    {
        const int timeoutMs = 5000;
        zmq_setsockopt(m_socket, ZMQ_SNDTIMEO, &timeoutMs, sizeof timeoutMs);
        static const uint8_t kNothing = 0;
        zmq_send(m_socket, &kNothing, 0, 0);
    }

    // The length of the next message, of which at most size bytes are copied to data.
    uint64_t Read(uint8_t* data, uint64_t size)
    {
        for (;;)
        {
            const int got = zmq_recv(m_socket, data, size, 0);
            if (got >= 0)
            {
                return static_cast<uint64_t>(got) < size ? static_cast<uint64_t>(got) : size;
            }
            if (zmq_errno() != EINTR)
            {
                return 0;
            }
        }
    }

private:
    [[noreturn]] static void Fail(const char* what)
    {
        std::fprintf(stderr, "%s: %s\n", what, zmq_strerror(zmq_errno()));
        std::abort();
    }

    void* m_context;
    void* m_socket;
};

} // namespace zelio_bench

// channel_bench_zeromq_child: the far side of the ZeroMQ cases of the channel benchmarks. Its one
// argument is the endpoint that the benchmark has bound; it connects a PAIR socket to it and
// answers frames as the channel's child does, until an empty message.
#include "channel/FrameServer.h"
#include "channel/ZeroMqPair.h"

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        return 2;
    }
    zelio_bench::ZeroMqPair pair(argv[1], false);
    zelio_bench::Serve(pair);
    return 0;
}

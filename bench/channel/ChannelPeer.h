// The child of the channel benchmarks (channel_bench_child, whose path CHANNEL_BENCH_CHILD gives)
// with its two pipes and its socket, and this side's threaded channel and socket floor over them.
#pragma once

#include <Ostrel/Core/CommunicationChannel.h>
#include <Ostrel/Core/DataInputPipe.h>
#include <Ostrel/Core/DataOutputPipe.h>
#include <Ostrel/Core/IPCTools.h>

#include "channel/SocketFrames.h"

#include <cstdlib>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace zelio_bench
{

class ChannelPeer
{
public:
    ChannelPeer()
    {
        using namespace Ostrel::Core;
        const std::string toChild = GeneratePipeName();
        const std::string toParent = GeneratePipeName();
        auto output = DataOutputPipe::Create(toChild, true);
        auto input = DataInputPipe::Create(toParent, true);
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        {
            std::abort();
        }
        std::vector<std::string> args{CHANNEL_BENCH_CHILD, toChild, toParent};
        std::vector<char*> argv;
        for (auto& arg : args)
        {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
        if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        {
            std::abort();
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        channel = CommunicationChannel::Create(input, output, true);
        floor = std::make_unique<SocketFrames>(fds[0]);
    }
    ~ChannelPeer()
    {
        floor.reset();
        channel->Write(nullptr, 0);
        uint8_t byte;
        while (channel->Read(&byte, 1) != 0)
        {
        }
        channel.reset();
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }
    ChannelPeer(const ChannelPeer&) = delete;
    ChannelPeer& operator=(const ChannelPeer&) = delete;

    boost::intrusive_ptr<Ostrel::Core::IDataChannel> channel;
    std::unique_ptr<SocketFrames> floor;

private:
    pid_t m_pid = -1;
};

} // namespace zelio_bench

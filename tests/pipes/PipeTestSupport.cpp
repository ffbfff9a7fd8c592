// Helpers for the pipe tests.
#include "pipes/PipeTestSupport.h"

#include <Ostrel/Core/IPCTools.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <random>
#include <set>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace zelio_test
{

std::string UniquePipeName()
{
    return Ostrel::Core::GeneratePipeName();
}

bool MatchesPattern(const uint8_t* data, uint64_t size, uint64_t offset)
{
    for (uint64_t i = 0; i < size; ++i)
    {
        if (data[i] != zelio_portable::PatternByte(offset + i))
        {
            return false;
        }
    }
    return true;
}

std::vector<uint64_t> FrameSizes(uint64_t seed, size_t count, uint64_t largest)
{
    std::set<uint64_t> sizes;
    for (uint64_t size : {uint64_t{1}, uint64_t{7}, uint64_t{8}, uint64_t{9}, uint64_t{4095}, uint64_t{4096},
                          uint64_t{4097}, uint64_t{65536}, uint64_t{65537}, largest})
    {
        if (size <= largest && sizes.size() < count)
        {
            sizes.insert(size);
        }
    }
    std::mt19937_64 random(seed);
    while (sizes.size() < count)
    {
        sizes.insert(1 + random() % (sizes.size() % 3 == 0 ? largest : 8192));
    }
    std::vector<uint64_t> shuffled(sizes.begin(), sizes.end());
    std::shuffle(shuffled.begin(), shuffled.end(), random);
    return shuffled;
}

bool WriteFrames(Ostrel::Core::IDataChannel& channel, const std::vector<uint64_t>& sizes, int writers,
                 bool endMarker)
{
    std::atomic<bool> whole{true};
    std::vector<std::thread> threads;
    for (int writer = 0; writer < writers; ++writer)
    {
        threads.emplace_back(
            [&, writer]
            {
                try
                {
                    for (uint64_t id = static_cast<uint64_t>(writer); id < sizes.size(); id += writers)
                    {
                        const auto frame = Pattern(sizes[id], FrameOffset(id));
                        if (channel.Write(frame.data(), frame.size()) != frame.size())
                        {
                            whole = false;
                        }
                    }
                }
                catch (const std::exception&)
                {
                    whole = false;
                }
            });
    }
    for (auto& thread : threads)
    {
        thread.join();
    }
    if (endMarker)
    {
        channel.Write(nullptr, 0);
    }
    return whole;
}

ChildProcess::ChildProcess(const std::vector<std::string>& arguments, const Options& options)
{
    std::vector<std::string> all{PIPES_TEST_HELPER};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& argument : all)
    {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (options.closeStandardInput)
    {
        posix_spawn_file_actions_addclose(&actions, 0);
    }
    if (options.standardInput >= 0)
    {
        posix_spawn_file_actions_adddup2(&actions, options.standardInput, 0);
    }
    if (options.standardOutput >= 0)
    {
        posix_spawn_file_actions_adddup2(&actions, options.standardOutput, 1);
    }
    const int status = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (status != 0)
    {
        throw std::runtime_error("cannot start the pipes test helper");
    }
}

ChildProcess::~ChildProcess()
{
    if (m_pid > 0)
    {
        Kill();
        Wait();
    }
}

int ChildProcess::Wait()
{
    const auto deadline = std::chrono::steady_clock::now() + kPrompt;
    while (m_pid > 0)
    {
        int status = 0;
        const pid_t done = waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid)
        {
            m_pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (std::chrono::steady_clock::now() > deadline)
        {
            Kill();
            waitpid(m_pid, &status, 0);
            m_pid = -1;
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return -1;
}

void ChildProcess::Kill()
{
    if (m_pid > 0)
    {
        ::kill(m_pid, SIGKILL);
    }
}

} // namespace zelio_test

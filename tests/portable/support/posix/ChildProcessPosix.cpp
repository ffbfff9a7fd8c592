// ChildProcess on POSIX: posix_spawn, with the child's standard descriptors put in place by its
// file actions.
#include "support/ChildProcess.h"

#include "support/PortableSupport.h"
#include "support/System.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <future>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace zelio_portable
{
namespace
{

// A descriptor closed when it goes.
class Descriptor
{
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor() { Close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return m_fd; }
    void Reset(int fd)
    {
        Close();
        m_fd = fd;
    }
    void Close()
    {
        if (m_fd >= 0)
        {
            ::close(m_fd);
            m_fd = -1;
        }
    }

private:
    int m_fd;
};

int OpenOrThrow(const std::filesystem::path& path, int flags)
{
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0600);
    if (fd < 0)
    {
        throw std::runtime_error("cannot open " + path.string());
    }
    return fd;
}

} // namespace

class ChildProcess::Native
{
public:
    pid_t pid = -1;
    Descriptor input;  // the test's end of the child's input pipe
    Descriptor output; // the test's end of the child's output pipe
};

ChildProcess::ChildProcess(const std::vector<std::string>& arguments, const Options& options)
    : m_native(std::make_unique<Native>())
{
    Descriptor childInput;
    Descriptor childOutput;
    int ends[2];
    if (!options.inputFile.empty())
    {
        childInput.Reset(OpenOrThrow(options.inputFile, O_RDONLY));
    }
    else if (options.inputPipe && ::pipe2(ends, O_CLOEXEC) == 0)
    {
        childInput.Reset(ends[0]);
        m_native->input.Reset(ends[1]);
    }
    if (!options.outputFile.empty())
    {
        childOutput.Reset(
            OpenOrThrow(options.outputFile, O_WRONLY | O_CREAT | (options.appendOutput ? 0 : O_TRUNC)));
        if (options.appendOutput)
        {
            ::lseek(childOutput.Get(), 0, SEEK_END);
        }
    }
    else if (options.outputPipe && ::pipe2(ends, O_CLOEXEC) == 0)
    {
        childOutput.Reset(ends[1]);
        m_native->output.Reset(ends[0]);
    }

    std::vector<std::string> all{HelperProgram().string()};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& argument : all)
    {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (childInput.Get() >= 0)
    {
        posix_spawn_file_actions_adddup2(&actions, childInput.Get(), STDIN_FILENO);
    }
    if (childOutput.Get() >= 0)
    {
        posix_spawn_file_actions_adddup2(&actions, childOutput.Get(), STDOUT_FILENO);
    }
    const int status = posix_spawn(&m_native->pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (status != 0)
    {
        throw std::runtime_error("cannot start the test helper");
    }
}

ChildProcess::~ChildProcess()
{
    m_native->input.Close();
    m_native->output.Close();
    if (m_native->pid > 0)
    {
        ::kill(m_native->pid, SIGKILL);
        ::waitpid(m_native->pid, nullptr, 0);
    }
}

bool ChildProcess::WriteInput(const std::string& bytes)
{
    // A child that has gone must not end the test with SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    for (std::size_t sent = 0; sent < bytes.size();)
    {
        const ssize_t n = ::write(m_native->input.Get(), bytes.data() + sent, bytes.size() - sent);
        if (n < 0 && errno == EINTR)
        {
            continue;
        }
        if (n <= 0)
        {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

void ChildProcess::CloseInput()
{
    m_native->input.Close();
}

std::string ChildProcess::ReadAllOutput()
{
    std::string all;
    char buffer[4096];
    for (;;)
    {
        const ssize_t n = ::read(m_native->output.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
        {
            continue;
        }
        if (n <= 0)
        {
            return all;
        }
        all.append(buffer, static_cast<std::size_t>(n));
    }
}

int ChildProcess::Wait()
{
    const pid_t pid = std::exchange(m_native->pid, -1);
    if (pid <= 0)
    {
        return -1;
    }
    auto exited = std::async(std::launch::async,
                             [pid]
                             {
                                 int status = 0;
                                 while (::waitpid(pid, &status, 0) < 0 && errno == EINTR)
                                 {
                                 }
                                 return status;
                             });
    if (exited.wait_for(kPatience) != std::future_status::ready)
    {
        ::kill(pid, SIGKILL);
        exited.get();
        return -1;
    }
    const int status = exited.get();
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace zelio_portable

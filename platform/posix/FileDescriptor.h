// FileDescriptor: owns one of the layer's own POSIX file descriptors and closes it when it goes.
// It never holds 0, 1 or 2: a descriptor that the system gave one of those numbers (because the
// process has no such standard descriptor) is moved above them, so that the layer never poses as
// a standard descriptor that the process does not have.
#pragma once

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include <utility>

namespace Ostrel::Platform
{

class FileDescriptor
{
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) noexcept : m_fd(AboveStandard(fd)) {}
    FileDescriptor(FileDescriptor&& other) noexcept : m_fd(other.Release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept
    {
        Reset(other.Release());
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { Reset(); }

    int Get() const noexcept { return m_fd; }
    bool IsOpen() const noexcept { return m_fd >= 0; }
    int Release() noexcept { return std::exchange(m_fd, -1); }
    void Reset(int fd = -1) noexcept
    {
        if (m_fd >= 0)
        {
            ::close(m_fd);
        }
        m_fd = AboveStandard(fd);
    }

private:
    static int AboveStandard(int fd) noexcept
    {
        if (fd < 0 || fd > STDERR_FILENO)
        {
            return fd;
        }
        const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
        const int error = errno;
        ::close(fd);
        errno = error;
        return moved;
    }

    int m_fd = -1;
};

} // namespace Ostrel::Platform

// GetStdHandle: one handle per standard descriptor, made on first use.
#include "HandleTable.h"
#include "LastError.h"
#include "StdStream.h"

#include <fcntl.h>
#include <mutex>
#include <unistd.h>

using namespace Ostrel::Platform;

namespace
{

int DescriptorOf(DWORD which)
{
    switch (which)
    {
    case STD_INPUT_HANDLE:
        return STDIN_FILENO;
    case STD_OUTPUT_HANDLE:
        return STDOUT_FILENO;
    case STD_ERROR_HANDLE:
        return STDERR_FILENO;
    default:
        return -1;
    }
}

} // namespace

HANDLE Ostrel::Platform::Win32::GetStdHandle(DWORD nStdHandle)
{
    const int fd = DescriptorOf(nStdHandle);
    if (fd < 0)
    {
        return FailHandle(ERROR_INVALID_HANDLE);
    }
    static std::mutex mutex;
    // As on Win32, a standard handle keeps its value once made, even after it has been closed.
    static HANDLE handles[3] = {nullptr, nullptr, nullptr};
    std::lock_guard<std::mutex> lock(mutex);
    if (handles[fd] != nullptr)
    {
        return handles[fd];
    }
    if (::fcntl(fd, F_GETFD) == -1)
    {
        return nullptr;
    }
    try
    {
        std::shared_ptr<StdStream> stream = StdStream::Open(fd);
        if (!stream)
        {
            return INVALID_HANDLE_VALUE;
        }
        handles[fd] = HandleTable::Instance().Insert(std::move(stream));
        if (handles[fd] == INVALID_HANDLE_VALUE)
        {
            handles[fd] = nullptr;
            return INVALID_HANDLE_VALUE;
        }
        return handles[fd];
    }
    catch (const std::bad_alloc&)
    {
        return FailHandle(ERROR_NOT_ENOUGH_MEMORY);
    }
}

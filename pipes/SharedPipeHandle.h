// SharedPipeHandle: one pipe handle used by several pipe streams (the two halves of a duplex pipe
// and the duplex object; a standard stream and the pipe stream inside it). Each holder lets go of
// its share instead of closing the handle, so one holder's close step ends only its own use, and
// the handle is closed exactly once, by the last holder to let go.
#pragma once

#include <Ostrel/Platform/Windows.h>

#include <memory>
#include <string>

namespace Ostrel::Core
{
namespace detail
{
class FilePosition;
}

class SharedPipeHandle
{
public:
    // name: the pipe's name, for the errors of the streams that share it; empty for a handle the
    // library did not open by name. position: where the transfers go, for a handle to a disk file.
    explicit SharedPipeHandle(HANDLE handle, std::string name = {},
                              std::shared_ptr<detail::FilePosition> position = nullptr) noexcept;
    // Closes the handle; a failure is logged.
    ~SharedPipeHandle();
    SharedPipeHandle(const SharedPipeHandle&) = delete;
    SharedPipeHandle& operator=(const SharedPipeHandle&) = delete;

    HANDLE Get() const noexcept { return m_handle; }
    const std::string& Name() const noexcept { return m_name; }
    const std::shared_ptr<detail::FilePosition>& Position() const noexcept { return m_position; }

private:
    HANDLE m_handle;
    std::string m_name;
    std::shared_ptr<detail::FilePosition> m_position;
};

using PipeHandleShare = std::shared_ptr<SharedPipeHandle>;

} // namespace Ostrel::Core

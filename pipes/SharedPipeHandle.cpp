// SharedPipeHandle: a pipe handle closed by the last of the streams that use it.
#include "pipes/SharedPipeHandle.h"
#include "pipes/FilePosition.h"

#include <glog/logging.h>

namespace Ostrel::Core
{

SharedPipeHandle::SharedPipeHandle(HANDLE handle, std::string name,
                                   std::shared_ptr<detail::FilePosition> position) noexcept
    : m_handle(handle), m_name(std::move(name)), m_position(std::move(position))
{
}

SharedPipeHandle::~SharedPipeHandle()
{
    if (m_handle == INVALID_HANDLE_VALUE || m_handle == nullptr)
    {
        return;
    }
    if (!CloseHandle(m_handle))
    {
        LOG(ERROR) << "Cannot close the pipe, error " << GetLastError() << ".";
    }
}

} // namespace Ostrel::Core

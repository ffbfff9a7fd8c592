// SharedPipeHandle: a pipe handle closed by the last of the streams that use it.
#include "pipes/SharedPipeHandle.h"

#include <glog/logging.h>

namespace Ostrel::Core
{

SharedPipeHandle::SharedPipeHandle(HANDLE handle, std::string name) noexcept
    : m_handle(handle), m_name(std::move(name))
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

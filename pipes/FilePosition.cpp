// FilePosition: the file pointer of a handle to a disk file, read before each transfer and moved
// past it afterwards where the transfer left it where it was, as a handle opened for overlapped
// transfers does.
#include "pipes/FilePosition.h"

namespace Ostrel::Core::detail
{

std::shared_ptr<FilePosition> FilePosition::ForHandle(HANDLE handle)
{
    if (GetFileType(handle) != FILE_TYPE_DISK)
    {
        return nullptr;
    }
    return std::make_shared<FilePosition>(handle);
}

uint64_t FilePosition::Next()
{
    LARGE_INTEGER none{};
    LARGE_INTEGER pointer{};
    if (SetFilePointerEx(m_file, none, &pointer, FILE_CURRENT) && pointer.QuadPart >= 0)
    {
        m_next = static_cast<uint64_t>(pointer.QuadPart);
    }
    return m_next;
}

void FilePosition::Advance(uint64_t offset, uint64_t transferred)
{
    m_next = offset + transferred;
    LARGE_INTEGER none{};
    LARGE_INTEGER pointer{};
    if (!SetFilePointerEx(m_file, none, &pointer, FILE_CURRENT) || pointer.QuadPart != static_cast<int64_t>(offset))
    {
        // The transfer moved the pointer itself (a handle for plain transfers does, and so may
        // another writer of the same file since): moving it back would write over their bytes.
        return;
    }
    pointer.QuadPart = static_cast<int64_t>(m_next);
    SetFilePointerEx(m_file, pointer, nullptr, FILE_BEGIN);
}

} // namespace Ostrel::Core::detail

// FilePosition: where the transfers on a handle to a disk file go. The library's transfers are
// overlapped, and a disk file honours the offset of each one (a pipe has none): such a handle is a
// standard handle redirected to a file. Its position is the file pointer that the handle shares
// with the runtime's own calls on it, so what the program prints through the runtime and what the
// library writes follow each other in order. Transfers take the position one at a time.
#pragma once

#include <Ostrel/Platform/Windows.h>

#include <cstdint>
#include <memory>
#include <mutex>

namespace Ostrel::Core::detail
{

class FilePosition
{
public:
    // Null unless the handle leads to a disk file.
    static std::shared_ptr<FilePosition> ForHandle(HANDLE handle);

    explicit FilePosition(HANDLE file) noexcept : m_file(file) {}
    FilePosition(const FilePosition&) = delete;
    FilePosition& operator=(const FilePosition&) = delete;

    // With Lock() held: the offset of the next transfer, the file's pointer.
    uint64_t Next();
    // With Lock() held: moves the pointer past a transfer that went at offset, unless the transfer
    // (or another writer of the file) has moved it already.
    void Advance(uint64_t offset, uint64_t transferred);
    std::mutex& Lock() noexcept { return m_mutex; }

private:
    const HANDLE m_file;
    std::mutex m_mutex;
    // Where the last transfer ended, for a pointer that cannot be read.
    uint64_t m_next = 0;
};

} // namespace Ostrel::Core::detail

// A file's creation time on POSIX: statx on the native bytes of the path. The creation time is the
// birth time where the file system records one; elsewhere it is the earlier of the last
// modification and the last status change, the closest to creation such a file system keeps.
#include "utilities/NativeCreationTime.h"

#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>

namespace Ostrel::Core::detail
{
namespace
{

constexpr uint64_t kTicksPerSecond = 10'000'000;
// Seconds from 1601-01-01, where FILETIME counts from, to 1970-01-01.
constexpr int64_t kSecondsFrom1601To1970 = 11'644'473'600;

bool IsEarlier(const statx_timestamp& a, const statx_timestamp& b)
{
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

const statx_timestamp& CreationTime(const struct statx& status)
{
    if ((status.stx_mask & STATX_BTIME) != 0)
    {
        return status.stx_btime;
    }
    return IsEarlier(status.stx_mtime, status.stx_ctime) ? status.stx_mtime : status.stx_ctime;
}

FILETIME ToFileTime(const statx_timestamp& time)
{
    const int64_t seconds = time.tv_sec + kSecondsFrom1601To1970;
    const uint64_t ticks =
        seconds < 0 ? 0 : static_cast<uint64_t>(seconds) * kTicksPerSecond + time.tv_nsec / 100;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

} // namespace

bool GetNativeCreationTime(const ioPath& path, FILETIME& creation)
{
    if (path.empty())
    {
        return false;
    }
    struct statx status
    {
    };
    if (::statx(AT_FDCWD, path.native().c_str(), AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS | STATX_BTIME,
                &status) != 0)
    {
        return false;
    }
    creation = ToFileTime(CreationTime(status));
    return true;
}

} // namespace Ostrel::Core::detail

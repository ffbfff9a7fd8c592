// GetFileAttributesExA (the name's own bytes), GetFileAttributesExW (UTF-8 of the wide name) and
// FileTimeToSystemTime. A file's creation time is its birth time where
// the file system records one (statx); elsewhere it is the earlier of the last modification and
// the last status change, the closest to creation that such a file system keeps.
#include "LastError.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>

namespace
{

using Ostrel::Platform::ErrorFromErrno;
using Ostrel::Platform::Fail;

constexpr std::uint64_t kTicksPerSecond = 10'000'000;
constexpr std::uint64_t kTicksPerDay = kTicksPerSecond * 86'400;
// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kEpochDifference = 11'644'473'600;
// Win32 limits: FILETIMEs from 2^63 ticks on are refused; the Win32 file attributes used here.
constexpr std::uint64_t kLargestFileTime = 0x7FFFFFFFFFFFFFFFull;
constexpr DWORD kAttributeReadOnly = 0x01;
constexpr DWORD kAttributeDirectory = 0x10;
constexpr DWORD kAttributeNormal = 0x80;

// UTF-32 to UTF-8; false for values that are not code points.
bool ToUtf8(const wchar_t* wide, std::string& utf8)
{
    for (; *wide != L'\0'; ++wide)
    {
        const auto c = static_cast<std::uint32_t>(*wide);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        {
            return false;
        }
        if (c < 0x80)
        {
            utf8 += static_cast<char>(c);
        }
        else if (c < 0x800)
        {
            utf8 += static_cast<char>(0xC0 | (c >> 6));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
        else if (c < 0x10000)
        {
            utf8 += static_cast<char>(0xE0 | (c >> 12));
            utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
        else
        {
            utf8 += static_cast<char>(0xF0 | (c >> 18));
            utf8 += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return true;
}

FILETIME ToFileTime(const statx_timestamp& time)
{
    const std::int64_t seconds = time.tv_sec + kEpochDifference;
    const std::uint64_t ticks =
        seconds < 0 ? 0 : static_cast<std::uint64_t>(seconds) * kTicksPerSecond + time.tv_nsec / 100;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

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

DWORD Attributes(const struct statx& status)
{
    DWORD attributes = 0;
    if (S_ISDIR(status.stx_mode))
    {
        attributes |= kAttributeDirectory;
    }
    if ((status.stx_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
    {
        attributes |= kAttributeReadOnly;
    }
    return attributes != 0 ? attributes : kAttributeNormal;
}

// Days since 1601-01-01 to a date of the proleptic Gregorian calendar (civil-from-days, counted
// from 0000-03-01 so that leap days fall at the end of each year).
void DateFromDays(std::uint64_t days, SYSTEMTIME& time)
{
    // 1601-01-01 is day 584,694 after 0000-03-01.
    const std::uint64_t z = days + 584'694;
    const std::uint64_t era = z / 146'097;
    const std::uint64_t dayOfEra = z - era * 146'097;
    const std::uint64_t yearOfEra =
        (dayOfEra - dayOfEra / 1'460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
    const std::uint64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::uint64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    const std::uint64_t day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    const std::uint64_t month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    const std::uint64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    time.wYear = static_cast<WORD>(year);
    time.wMonth = static_cast<WORD>(month);
    time.wDay = static_cast<WORD>(day);
    // 1601-01-01 was a Monday; Sunday is 0.
    time.wDayOfWeek = static_cast<WORD>((days + 1) % 7);
}

} // namespace

BOOL Ostrel::Platform::Win32::GetFileAttributesExA(LPCSTR lpFileName, GET_FILEEX_INFO_LEVELS fInfoLevelId,
                                                   LPVOID lpFileInformation)
{
    if (lpFileName == nullptr || lpFileInformation == nullptr || fInfoLevelId != GetFileExInfoStandard)
    {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (*lpFileName == '\0')
    {
        return Fail(ERROR_FILE_NOT_FOUND);
    }
    struct statx status
    {
    };
    if (::statx(AT_FDCWD, lpFileName, AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS | STATX_BTIME, &status) != 0)
    {
        return Fail(ErrorFromErrno(errno));
    }
    auto& data = *static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(lpFileInformation);
    data.dwFileAttributes = Attributes(status);
    data.ftCreationTime = ToFileTime(CreationTime(status));
    data.ftLastAccessTime = ToFileTime(status.stx_atime);
    data.ftLastWriteTime = ToFileTime(status.stx_mtime);
    data.nFileSizeHigh = static_cast<DWORD>(status.stx_size >> 32);
    data.nFileSizeLow = static_cast<DWORD>(status.stx_size);
    return TRUE;
}

BOOL Ostrel::Platform::Win32::GetFileAttributesExW(LPCWSTR lpFileName, GET_FILEEX_INFO_LEVELS fInfoLevelId,
                                                   LPVOID lpFileInformation)
{
    if (lpFileName == nullptr)
    {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    std::string path;
    try
    {
        if (!ToUtf8(lpFileName, path))
        {
            return Fail(ERROR_INVALID_NAME);
        }
    }
    catch (const std::bad_alloc&)
    {
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    return GetFileAttributesExA(path.c_str(), fInfoLevelId, lpFileInformation);
}

BOOL Ostrel::Platform::Win32::FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime)
{
    if (lpFileTime == nullptr || lpSystemTime == nullptr)
    {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const std::uint64_t ticks = (std::uint64_t{lpFileTime->dwHighDateTime} << 32) | lpFileTime->dwLowDateTime;
    if (ticks > kLargestFileTime)
    {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    SYSTEMTIME time{};
    DateFromDays(ticks / kTicksPerDay, time);
    const std::uint64_t ticksOfDay = ticks % kTicksPerDay;
    const std::uint64_t secondsOfDay = ticksOfDay / kTicksPerSecond;
    time.wHour = static_cast<WORD>(secondsOfDay / 3'600);
    time.wMinute = static_cast<WORD>(secondsOfDay / 60 % 60);
    time.wSecond = static_cast<WORD>(secondsOfDay % 60);
    time.wMilliseconds = static_cast<WORD>(ticksOfDay % kTicksPerSecond / 10'000);
    *lpSystemTime = time;
    return TRUE;
}

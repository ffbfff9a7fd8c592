// DeadServerSweep: the bounded clean-up of files left by dead servers.
#include "DeadServerSweep.h"

#include "FileDescriptor.h"
#include "NameLock.h"
#include "UnixSocket.h"

#include <atomic>
#include <cerrno>
#include <dirent.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace Ostrel::Platform
{

namespace
{

// Up to `limit` names of the directory, without "." and ".." and `except`.
std::vector<std::string> ListNames(const std::string& directory, const std::string& except, std::size_t limit)
{
    std::vector<std::string> names;
    DIR* listing = ::opendir(directory.c_str());
    if (listing == nullptr)
    {
        return names;
    }
    while (names.size() < limit)
    {
        const dirent* entry = ::readdir(listing);
        if (entry == nullptr)
        {
            break;
        }
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && name != except)
        {
            names.push_back(name);
        }
    }
    ::closedir(listing);
    return names;
}

// Where the next sweep of this process starts in the listing.
std::atomic<std::size_t> g_nextProbe{static_cast<std::size_t>(::getpid())};

} // namespace

void DeadServerSweep::Run(const PipePaths& own)
{
    try
    {
        const std::vector<std::string> names = ListNames(own.lockDirectory, own.fileName, kMaxListed);
        if (names.empty())
        {
            return;
        }
        const std::size_t probes = names.size() < kMaxProbed ? names.size() : kMaxProbed;
        const std::size_t start = g_nextProbe.fetch_add(probes) % names.size();
        for (std::size_t i = 0; i < probes; ++i)
        {
            const std::string& name = names[(start + i) % names.size()];
            RemoveIfDead(own.directory + "/" + name, own.lockDirectory + "/" + name);
        }
    }
    catch (const std::bad_alloc&)
    {
        // Sweeping is a courtesy: a server starts without it.
    }
}

void DeadServerSweep::RemoveIfDead(const std::string& socketPath, const std::string& lockPath)
{
    const FileDescriptor lock = NameLock::LockForSweep(lockPath);
    if (!lock.IsOpen())
    {
        return;
    }
    struct stat status
    {
    };
    if (::lstat(socketPath.c_str(), &status) == 0)
    {
        if (!S_ISSOCK(status.st_mode) || ProbeSocket(socketPath) != SocketAnswer::Nothing)
        {
            return;
        }
        ::unlink(socketPath.c_str());
    }
    else if (errno != ENOENT)
    {
        return;
    }
    // The lock file goes last and while still held, as a server's own release does.
    ::unlink(lockPath.c_str());
}

} // namespace Ostrel::Platform

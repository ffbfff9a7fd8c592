// PipeListing: reading the pipe directory, the locks and the system's table of Unix sockets.
#include "PipeListing.h"

#include "NameLock.h"
#include "PipeDirectory.h"
#include "PipeName.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <new>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace Ostrel::Platform
{

namespace
{

constexpr char kPipePrefix[] = "\\\\.\\pipe\\";
// The flag of a listening socket in /proc/net/unix.
constexpr unsigned long kAcceptingConnections = 0x10000;

// What the system's socket table tells of one path: whether something listens there, and the
// sockets (listening or accepted) that carry it.
struct SocketUse
{
    bool listening = false;
    std::vector<unsigned long> inodes;
};

// The names of the directory's entries of one file type.
std::set<std::string> NamesOfType(const std::string& directory, mode_t type)
{
    std::set<std::string> names;
    DIR* listing = ::opendir(directory.c_str());
    if (listing == nullptr)
    {
        return names;
    }
    while (const dirent* entry = ::readdir(listing))
    {
        const std::string name = entry->d_name;
        struct stat status
        {
        };
        if (name[0] != '.' && ::fstatat(::dirfd(listing), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
            (status.st_mode & S_IFMT) == type)
        {
            names.insert(name);
        }
    }
    ::closedir(listing);
    return names;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
    {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F')
    {
        return c - 'A' + 10;
    }
    return -1;
}

bool IsHashedFileName(const std::string& fileName)
{
    if (fileName.size() != 17 || fileName[0] != '~')
    {
        return false;
    }
    return fileName.find_first_not_of("0123456789abcdef", 1) == std::string::npos;
}

// The name a socket file's name spells, undoing the escapes; false for a file name that no pipe
// name gives.
bool UnescapeFileName(const std::string& fileName, std::string& name)
{
    name.clear();
    for (std::size_t i = 0; i < fileName.size(); ++i)
    {
        const char c = fileName[i];
        if (c != '%')
        {
            const bool kept = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
                              (c == '.' && i > 0);
            if (!kept)
            {
                return false;
            }
            name += c;
            continue;
        }
        if (i + 2 >= fileName.size())
        {
            return false;
        }
        const int high = HexDigit(fileName[i + 1]);
        const int low = HexDigit(fileName[i + 2]);
        if (high < 0 || low < 0)
        {
            return false;
        }
        name += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return !name.empty();
}

// The Unix sockets bound to paths in the directory, from the system's socket table.
std::map<std::string, SocketUse> SocketsIn(const std::string& directory)
{
    std::map<std::string, SocketUse> uses;
    std::ifstream table("/proc/net/unix");
    std::string line;
    std::getline(table, line); // the column titles
    const std::string prefix = directory + "/";
    while (std::getline(table, line))
    {
        std::istringstream fields(line);
        std::string slot;
        std::string referenceCount;
        std::string protocol;
        unsigned long flags = 0;
        std::string type;
        std::string state;
        unsigned long inode = 0;
        fields >> slot >> referenceCount >> protocol >> std::hex >> flags >> type >> state >> std::dec >>
            inode;
        std::string path;
        std::getline(fields >> std::ws, path);
        if (!fields.fail() && path.compare(0, prefix.size(), prefix) == 0)
        {
            SocketUse& use = uses[path.substr(prefix.size())];
            use.listening = use.listening || (flags & kAcceptingConnections) != 0;
            use.inodes.push_back(inode);
        }
    }
    return uses;
}

// The process that holds one of the sockets, among the processes whose descriptors this user may
// read; 0 when none is found.
std::int64_t ProcessHoldingSocket(const std::vector<unsigned long>& inodes)
{
    std::set<std::string> targets;
    for (const unsigned long inode : inodes)
    {
        targets.insert("socket:[" + std::to_string(inode) + "]");
    }
    DIR* processes = targets.empty() ? nullptr : ::opendir("/proc");
    if (processes == nullptr)
    {
        return 0;
    }
    std::int64_t found = 0;
    while (const dirent* process = ::readdir(processes))
    {
        char* end = nullptr;
        const long pid = std::strtol(process->d_name, &end, 10);
        if (pid <= 0 || *end != '\0')
        {
            continue;
        }
        const std::string fdDirectory = std::string("/proc/") + process->d_name + "/fd";
        DIR* descriptors = ::opendir(fdDirectory.c_str());
        if (descriptors == nullptr)
        {
            continue;
        }
        while (const dirent* descriptor = ::readdir(descriptors))
        {
            char target[64];
            const std::string link = fdDirectory + "/" + descriptor->d_name;
            const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
            if (length > 0 && targets.count(std::string(target, static_cast<std::size_t>(length))) != 0)
            {
                found = pid;
                break;
            }
        }
        ::closedir(descriptors);
        if (found != 0)
        {
            break;
        }
    }
    ::closedir(processes);
    return found;
}

// The process that holds a classic fcntl lock on the file; 0 for none, or for an open-file-
// description lock, whose owner the system does not tell.
std::int64_t LockHolder(const std::string& lockPath)
{
    const int fd = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
    {
        return 0;
    }
    struct flock lock
    {
    };
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    const bool conflicts = ::fcntl(fd, F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
    ::close(fd);
    return conflicts && lock.l_pid > 0 ? lock.l_pid : 0;
}

std::int64_t ModifiedAt(const std::string& path)
{
    struct stat status
    {
    };
    return ::lstat(path.c_str(), &status) == 0 ? static_cast<std::int64_t>(status.st_mtime) : 0;
}

// The entry of one name, from its socket file (when there is one) and its lock file.
PipeEntry Describe(const PipePaths& where, const std::string& fileName, const SocketUse* sockets)
{
    PipeEntry entry;
    entry.fileName = fileName;
    std::string name;
    if (!IsHashedFileName(fileName) && UnescapeFileName(fileName, name))
    {
        entry.pipeName = kPipePrefix + name;
    }
    const std::string socketPath = where.directory + "/" + fileName;
    const std::string lockPath = where.lockDirectory + "/" + fileName;
    struct stat status
    {
    };
    entry.hasSocket = ::lstat(socketPath.c_str(), &status) == 0 && S_ISSOCK(status.st_mode);
    if (entry.hasSocket)
    {
        entry.serverReads = (status.st_mode & S_IXUSR) != 0;
        entry.serverWrites = (status.st_mode & S_IRUSR) != 0;
        entry.createdAt = status.st_mtime;
    }
    else
    {
        entry.createdAt = ModifiedAt(lockPath);
    }
    entry.live = NameLock::IsHeld(lockPath) || (sockets != nullptr && sockets->listening);
    if (entry.live)
    {
        entry.serverProcessId = LockHolder(lockPath);
    }
    if (entry.live && entry.serverProcessId == 0 && sockets != nullptr)
    {
        entry.serverProcessId = ProcessHoldingSocket(sockets->inodes);
    }
    return entry;
}

} // namespace

DWORD ListPipeEntries(bool includeDead, std::vector<PipeEntry>& entries)
{
    entries.clear();
    PipeName anyName;
    PipeName::Parse("\\\\.\\pipe\\x", anyName);
    PipePaths where;
    try
    {
        if (const DWORD error = PipeDirectory::Resolve(anyName, false, where))
        {
            return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
        }
        std::set<std::string> fileNames = NamesOfType(where.directory, S_IFSOCK);
        const std::set<std::string> lockNames = NamesOfType(where.lockDirectory, S_IFREG);
        fileNames.insert(lockNames.begin(), lockNames.end());
        const std::map<std::string, SocketUse> sockets = SocketsIn(where.directory);
        for (const std::string& fileName : fileNames)
        {
            const auto use = sockets.find(fileName);
            PipeEntry entry = Describe(where, fileName, use == sockets.end() ? nullptr : &use->second);
            if (entry.live || includeDead)
            {
                entries.push_back(std::move(entry));
            }
        }
    }
    catch (const std::bad_alloc&)
    {
        entries.clear();
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    return ERROR_SUCCESS;
}

} // namespace Ostrel::Platform

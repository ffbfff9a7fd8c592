// PipeDirectory: choosing, creating and checking the private directory of pipe sockets.
#include "PipeDirectory.h"

#include "LastError.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace Ostrel::Platform
{

namespace
{

bool NamesDirectory(const char* path)
{
    struct stat status
    {
    };
    return path != nullptr && path[0] == '/' && ::stat(path, &status) == 0 && S_ISDIR(status.st_mode);
}

DWORD MakeDirectory(const std::string& path)
{
    if (::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST)
    {
        return ERROR_SUCCESS;
    }
    return ErrorFromErrno(errno);
}

} // namespace

std::string PipeDirectory::Base()
{
    for (const char* variable : {"XDG_RUNTIME_DIR", "TMPDIR"})
    {
        const char* value = std::getenv(variable);
        if (NamesDirectory(value))
        {
            return value;
        }
    }
    return "/tmp";
}

DWORD PipeDirectory::CheckPrivate(const std::string& directory)
{
    struct stat status
    {
    };
    if (::lstat(directory.c_str(), &status) != 0)
    {
        return ErrorFromErrno(errno);
    }
    if (!S_ISDIR(status.st_mode) || status.st_uid != ::geteuid() || (status.st_mode & 077) != 0)
    {
        return ERROR_ACCESS_DENIED;
    }
    return ERROR_SUCCESS;
}

DWORD PipeDirectory::Resolve(const PipeName& name, bool create, PipePaths& paths)
{
    std::string directory = Base();
    while (directory.size() > 1 && directory.back() == '/')
    {
        directory.pop_back();
    }
    directory += "/zelio-pipes-" + std::to_string(::geteuid());
    const std::string lockDirectory = directory + "/.lock";
    if (create)
    {
        if (const DWORD error = MakeDirectory(directory))
        {
            return error;
        }
    }
    if (const DWORD error = CheckPrivate(directory))
    {
        return error;
    }
    if (create)
    {
        if (const DWORD error = MakeDirectory(lockDirectory))
        {
            return error;
        }
    }
    const std::string fileName = name.FileNameIn(directory);
    if (fileName.empty())
    {
        return ERROR_INVALID_NAME;
    }
    paths.socket = directory + "/" + fileName;
    paths.lock = lockDirectory + "/" + fileName;
    paths.directory = directory;
    paths.lockDirectory = lockDirectory;
    paths.fileName = fileName;
    return ERROR_SUCCESS;
}

} // namespace Ostrel::Platform

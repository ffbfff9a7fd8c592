// DeadServerSweep: removes the files that servers killed before they could close left in the pipe
// directory: a lock file that no server holds, and the socket beside it when nothing answers on it.
// A server runs one sweep as it starts. Each sweep lists at most kMaxListed lock files and looks
// at no more than kMaxProbed of them, starting where the last sweep of this process stopped, so its
// cost stays bounded however many files the directory holds; names that are live, or whose socket
// still answers, are left alone.
#pragma once

#include "PipeDirectory.h"

#include <cstddef>
#include <string>

namespace Ostrel::Platform
{

class DeadServerSweep
{
public:
    static constexpr std::size_t kMaxListed = 4096;
    static constexpr std::size_t kMaxProbed = 32;

    // `own` is the name the starting server has just taken.
    static void Run(const PipePaths& own);

private:
    static void RemoveIfDead(const std::string& socketPath, const std::string& lockPath);
};

} // namespace Ostrel::Platform

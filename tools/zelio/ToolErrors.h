// The two ways a verb of zelio ends badly: a failure (exit status 1) and a command line it cannot
// take (exit status 2). Each carries the one line that zelio prints on standard error.
#pragma once

#include <stdexcept>
#include <string>

namespace zelio_tool
{

class Failure : public std::runtime_error
{
public:
    explicit Failure(const std::string& line) : std::runtime_error(line) {}
};

class UsageError : public std::runtime_error
{
public:
    explicit UsageError(const std::string& line) : std::runtime_error(line) {}
};

} // namespace zelio_tool

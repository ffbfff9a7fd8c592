// FailureText: the one line that zelio prints for an exception of the library: what the system's
// error code means, else the exception's description, details or message.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace zelio_tool
{

// "no such pipe (error 2)", "the pipe is busy (error 231)", ...
std::string SystemCodeText(std::uint32_t code);
// The system's error code that the exception carries; 0 when it carries none.
std::uint32_t SystemCodeOf(const std::exception& error);
std::string FailureText(const std::exception& error);

} // namespace zelio_tool

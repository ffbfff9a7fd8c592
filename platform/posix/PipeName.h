// PipeName: a Win32 pipe name "\\.\pipe\NAME" and the file name its socket gets.
//
// The file name is NAME with ASCII capitals folded to small letters (Win32 pipe names ignore
// case), each byte outside [a-z0-9._-] written as %XX (two capital hex digits), and a leading
// '.' escaped too. When the socket path would not fit a socket address (107 bytes), the file name
// is '~' followed by the 16 small hex digits of the 64-bit FNV-1a hash of the folded NAME.
#pragma once

#include <Ostrel/Platform/posix/Win32Api.h>

#include <string>

namespace Ostrel::Platform
{

class PipeName
{
public:
    // False when the text is not a local pipe name: another prefix, an empty NAME, or more than
    // 256 characters in all.
    static bool Parse(const char* text, PipeName& name);

    // The socket's file name in the directory `directory`; empty when even the hashed form would
    // not fit a socket address.
    std::string FileNameIn(const std::string& directory) const;

private:
    std::string m_folded;
};

} // namespace Ostrel::Platform

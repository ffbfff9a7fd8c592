// RtmpException: a failure of RTMP streaming.
#pragma once

#include <Ostrel/Core/ExceptionMembers.h>
#include <Ostrel/Core/IOException.h>
#include <Ostrel/ZelIOExport.h>

namespace Ostrel::Core
{

class ZELIO_API RtmpException : public IOException
{
public:
    ZELIO_EXCEPTION_MEMBERS(RtmpException)
};

} // namespace Ostrel::Core

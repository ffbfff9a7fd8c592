// IONotReadyException: an input or output that is not ready.
#pragma once

#include <Ostrel/Core/ExceptionMembers.h>
#include <Ostrel/Core/IOException.h>
#include <Ostrel/ZelIOExport.h>

namespace Ostrel::Core
{

class ZELIO_API IONotReadyException : public virtual IOException
{
public:
    ZELIO_EXCEPTION_MEMBERS(IONotReadyException)
};

} // namespace Ostrel::Core

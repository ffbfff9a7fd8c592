// ILockable: the lock that every data stream carries for its users. The stream's own operations
// never take it; callers that share a stream hold it around each sequence of calls that must see
// the stream consistently (AutoLock does that for a scope).
#pragma once

#include <Ostrel/ZelIOExport.h>

namespace Ostrel
{

class ZELIO_API ILockable
{
public:
    ILockable();
    ILockable(const ILockable&);
    ILockable& operator=(const ILockable&);
    virtual ~ILockable();

    // Blocks until the calling thread holds the lock. The lock is not recursive.
    virtual void Lock() = 0;
    // Takes the lock if it is free; false at once if another holder has it.
    virtual bool TryLock() = 0;
    // Gives the lock back; only the holding thread calls it.
    virtual void Unlock() = 0;
};

} // namespace Ostrel

// AutoLock: holds an ILockable's lock for the guard's scope. A null pointer makes a guard that
// does nothing.
//
// Copy assignment only copies the pointer: it neither releases the lock the guard held nor takes
// the new one, and the guard's destructor then unlocks the object it points at last. Assign only
// between guards over the same object, or not at all.
#pragma once

#include <Ostrel/ILockable.h>
#include <Ostrel/ZelIOExport.h>

namespace Ostrel
{

class ZELIO_API AutoLock
{
public:
    explicit AutoLock(ILockable* lockable);
    ~AutoLock();
    AutoLock(const AutoLock&) = delete;
    AutoLock& operator=(const AutoLock& other);

private:
    ILockable* m_lockable;
};

} // namespace Ostrel

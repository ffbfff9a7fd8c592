// The overrides that every concrete stream declares: reference counting forwarded to its
// RefCountImpl member m_refCount and, for data streams, ILockable forwarded to its LockImpl
// member m_lock. The library defines them next to each stream.
#pragma once

#define ZELIO_REF_COUNTED_MEMBERS                                                                            \
public:                                                                                                      \
    unsigned int AddRef() const override;                                                                    \
    unsigned int GetRefCount() const override;                                                               \
    unsigned int Release() const override;

#define ZELIO_DATA_STREAM_MEMBERS                                                                            \
    ZELIO_REF_COUNTED_MEMBERS                                                                                \
    void Lock() override;                                                                                    \
    bool TryLock() override;                                                                                 \
    void Unlock() override;

// Definitions of the members that ZELIO_REF_COUNTED_MEMBERS and ZELIO_DATA_STREAM_MEMBERS declare.
#pragma once

#define ZELIO_DEFINE_REF_COUNTED_MEMBERS(Class)                                                              \
    unsigned int Class::AddRef() const                                                                       \
    {                                                                                                        \
        return m_refCount.AddRefImpl();                                                                      \
    }                                                                                                        \
    unsigned int Class::GetRefCount() const                                                                  \
    {                                                                                                        \
        return m_refCount.GetRefCountImpl();                                                                 \
    }                                                                                                        \
    unsigned int Class::Release() const                                                                      \
    {                                                                                                        \
        const unsigned int left = m_refCount.ReleaseImpl();                                                  \
        if (left == 0)                                                                                       \
        {                                                                                                    \
            delete this;                                                                                     \
        }                                                                                                    \
        return left;                                                                                         \
    }

#define ZELIO_DEFINE_DATA_STREAM_MEMBERS(Class)                                                              \
    ZELIO_DEFINE_REF_COUNTED_MEMBERS(Class)                                                                  \
    void Class::Lock()                                                                                       \
    {                                                                                                        \
        m_lock.Lock_Impl();                                                                                  \
    }                                                                                                        \
    bool Class::TryLock()                                                                                    \
    {                                                                                                        \
        return m_lock.TryLock_Impl();                                                                        \
    }                                                                                                        \
    void Class::Unlock()                                                                                     \
    {                                                                                                        \
        m_lock.Unlock_Impl();                                                                                \
    }

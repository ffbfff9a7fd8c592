// FixedList: up to N values in place, of which only those added are constructed and destroyed,
// for the per-call lists of a wait that must not touch the heap.
#pragma once

#include <cstddef>
#include <new>
#include <utility>

namespace Ostrel::Platform
{

template <class T, std::size_t N> class FixedList
{
public:
    FixedList() = default;
    FixedList(const FixedList&) = delete;
    FixedList& operator=(const FixedList&) = delete;
    ~FixedList() { Clear(); }

    // The caller keeps Size() below N.
    void Add(T value)
    {
        new (&m_storage[m_size * sizeof(T)]) T(std::move(value));
        ++m_size;
    }
    void Clear()
    {
        for (std::size_t i = 0; i < m_size; ++i)
        {
            (*this)[i].~T();
        }
        m_size = 0;
    }
    std::size_t Size() const noexcept { return m_size; }
    T& operator[](std::size_t i) noexcept
    {
        return *std::launder(reinterpret_cast<T*>(&m_storage[i * sizeof(T)]));
    }
    const T& operator[](std::size_t i) const noexcept
    {
        return *std::launder(reinterpret_cast<const T*>(&m_storage[i * sizeof(T)]));
    }
    const T* Data() const noexcept { return &(*this)[0]; }

private:
    alignas(T) unsigned char m_storage[N * sizeof(T)];
    std::size_t m_size = 0;
};

} // namespace Ostrel::Platform

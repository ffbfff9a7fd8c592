// The loops that the protocols run over raw transfers, shared by the input and output sides.
#pragma once

#include <algorithm>
#include <cstdint>

namespace Ostrel::Core::detail
{

// Repeats transfer(offset, remaining, &count) until size bytes have moved or a transfer fails, and
// returns the bytes moved. It runs at least once, so a size of 0 still makes one transfer. A
// transfer that succeeds with nothing moved ends the loop too, rather than spinning on it.
template <class Transfer> uint64_t TransferAll(uint64_t size, Transfer&& transfer)
{
    uint64_t total = 0;
    uint64_t remaining = size;
    do
    {
        uint64_t count = 0;
        if (!transfer(total, remaining, &count))
        {
            break;
        }
        count = std::min(count, remaining);
        total += count;
        remaining -= count;
        if (count == 0)
        {
            break;
        }
    } while (remaining != 0);
    return total;
}

// One transfer; the count stays 0 when it fails.
template <class Transfer> uint64_t TransferOnce(uint64_t size, Transfer&& transfer)
{
    uint64_t count = 0;
    transfer(0, size, &count);
    return count;
}

} // namespace Ostrel::Core::detail

#pragma once
// The bit accumulator both bit readers share: whole bytes go in at the bottom, bits come out
// from the top, most significant first.

#include <cstdint>

// Takes the next `n` (at most 64) of the `count` bits held in `buffer`, which must hold at
// least `n`; `peek` leaves them there.
inline std::uint64_t TakeBits(std::uint64_t& buffer, int& count, int n, bool peek)
{
    const std::uint64_t mask = n >= 64 ? ~0ull : ((1ull << n) - 1);
    const std::uint64_t value = (buffer >> (count - n)) & mask;
    if (!peek) {
        count -= n;
        buffer &= count >= 64 ? ~0ull : ((1ull << count) - 1);
    }
    return value;
}

#pragma once
// MemoryBitReader: the splitter's bit rules (MSB first, Exp-Golomb codes) over a byte array.
// Reading past the end gives 0.

#include <cstddef>
#include <cstdint>

class MemoryBitReader {
public:
    MemoryBitReader(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    std::uint64_t ReadBits(int n, bool peek = false);
    std::uint64_t ReadUnsignedExpGolomb();
    std::int64_t ReadSignedExpGolomb();
    // Skips n bytes and drops buffered bits.
    void SkipBytes(std::size_t n);
    // Bytes consumed (a byte with unread bits counts as unread).
    std::size_t Position() const { return m_position - static_cast<std::size_t>(m_bitCount / 8); }
    bool AtEnd() const { return m_position >= m_size && m_bitCount == 0; }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_position = 0;
    int m_bitCount = 0;
    std::uint64_t m_bitBuffer = 0;
};

#include "demux/memory_bit_reader.h"

#include "demux/bit_buffer.h"

std::uint64_t MemoryBitReader::ReadBits(int n, bool peek)
{
    while (m_bitCount < n) {
        if (m_position >= m_size) return 0;
        m_bitBuffer = (m_bitBuffer << 8) | m_data[m_position++];
        m_bitCount += 8;
    }
    return TakeBits(m_bitBuffer, m_bitCount, n, peek);
}

std::uint64_t MemoryBitReader::ReadUnsignedExpGolomb()
{
    int zeros = 0;
    while (ReadBits(1) == 0) {
        if (++zeros > 32 || AtEnd()) return 0;
    }
    return (1ull << zeros) - 1 + ReadBits(zeros);
}

std::int64_t MemoryBitReader::ReadSignedExpGolomb()
{
    const std::uint64_t k = ReadUnsignedExpGolomb();
    const auto magnitude = static_cast<std::int64_t>((k + 1) / 2);
    return (k & 1) ? magnitude : -magnitude;
}

void MemoryBitReader::SkipBytes(std::size_t n)
{
    const std::size_t position = Position() + n;
    m_position = position > m_size ? m_size : position;
    m_bitCount = 0;
    m_bitBuffer = 0;
}

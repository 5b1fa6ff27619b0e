#include "demux/nal_unit_scanner.h"

NalUnitScanner::NalUnitScanner(const std::uint8_t* data, std::size_t size, int prefixSize)
    : m_data(data), m_size(size), m_prefixSize(prefixSize)
{
}

bool NalUnitScanner::FindNextBoundary()
{
    const std::size_t limit = m_size >= 4 ? m_size - 4 : 0;
    const std::size_t end = (m_nextBoundary > 0 && m_nextBoundary < limit) ? m_nextBoundary : limit;
    for (std::size_t i = m_cursor; i < end; ++i) {
        if (m_data[i] == 0 && m_data[i + 1] == 0 && m_data[i + 2] == 1) {
            m_cursor = i;
            return true;
        }
    }
    if (m_prefixSize > 0 && m_nextBoundary < m_size) {
        m_cursor = m_nextBoundary;
        return true;
    }
    m_cursor = m_size;
    return false;
}

bool NalUnitScanner::ReadNext()
{
    if (m_cursor >= m_size) return false;
    if (m_prefixSize > 0 && m_cursor == m_nextBoundary) {
        if (m_cursor + static_cast<std::size_t>(m_prefixSize) > m_size) {
            m_cursor = m_size;
            return false;
        }
        m_begin = m_cursor;
        m_payload = m_cursor + static_cast<std::size_t>(m_prefixSize);
        std::size_t length = 0;
        for (int i = 0; i < m_prefixSize; ++i) length = (length << 8) | m_data[m_cursor + static_cast<std::size_t>(i)];
        m_nextBoundary = m_nextBoundary + static_cast<std::size_t>(m_prefixSize) + length;
        m_cursor = m_payload;
    } else {
        // Skip zeros up to a byte that is not zero or starts 00 00 01.
        while (m_cursor < m_size && m_data[m_cursor] == 0 &&
               !(m_cursor + 2 < m_size && m_data[m_cursor + 1] == 0 && m_data[m_cursor + 2] == 1))
            ++m_cursor;
        if (m_cursor >= m_size) return false;
        m_begin = m_cursor;
        m_payload = m_begin + 3;
        m_cursor = m_payload;
    }
    if (m_payload >= m_size) {
        m_cursor = m_size;
        return false;
    }
    const std::uint8_t header = m_data[m_payload];
    FindNextBoundary();
    m_forbidden = header >> 7;
    m_refIdc = (header >> 5) & 3;
    m_type = header & 0x1F;
    return true;
}

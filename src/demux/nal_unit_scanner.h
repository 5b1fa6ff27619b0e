#pragma once
// NalUnitScanner: splits H.264 data into NAL units, either at 00 00 01 start codes (Annex B) or
// by big-endian length prefixes of 1 to 4 bytes.

#include <cstddef>
#include <cstdint>

class NalUnitScanner {
public:
    // `prefixSize` 0 means start codes.
    NalUnitScanner(const std::uint8_t* data, std::size_t size, int prefixSize = 0);

    // Moves to the next unit; false at the end.
    bool ReadNext();

    int ForbiddenBit() const { return m_forbidden; }
    int NalRefIdc() const { return m_refIdc; }
    int NalUnitType() const { return m_type; }
    // The unit from its begin (start code or prefix) and from its payload to its end.
    const std::uint8_t* Begin() const { return m_data + m_begin; }
    const std::uint8_t* Payload() const { return m_data + m_payload; }
    std::size_t Length() const { return m_cursor - m_begin; }
    std::size_t PayloadLength() const { return m_cursor - m_payload; }

private:
    bool FindNextBoundary();

    const std::uint8_t* m_data;
    std::size_t m_size;
    int m_prefixSize;
    std::size_t m_cursor = 0;
    std::size_t m_nextBoundary = 0;
    std::size_t m_begin = 0;
    std::size_t m_payload = 0;
    int m_forbidden = 0;
    int m_refIdc = 0;
    int m_type = 0;
};

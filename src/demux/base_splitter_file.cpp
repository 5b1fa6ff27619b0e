#include "demux/base_splitter_file.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <thread>

#include "demux/bit_buffer.h"

CBaseSplitterFile::CBaseSplitterFile(IAsyncReader* reader, HRESULT& hr, std::int64_t cacheSize,
                                     bool requireRandomAccess, bool allowStreaming)
    : m_reader(reader)
{
    if (!reader) {
        hr = E_UNEXPECTED;
        return;
    }
    LONGLONG total = 0, available = 0;
    const HRESULT query = reader->Length(&total, &available);
    m_streaming = total == 0 && available > 0;
    m_randomAccess = total > 0 && total == available;
    m_length = total;
    if (FAILED(query) || (requireRandomAccess && !m_randomAccess) || (!allowStreaming && m_streaming) || m_length < 0) {
        hr = E_FAIL;
        return;
    }
    hr = ResizeCache(cacheSize) ? S_OK : E_OUTOFMEMORY;
}

CBaseSplitterFile::~CBaseSplitterFile() = default;

void CBaseSplitterFile::OnSourceComplete() {}

bool CBaseSplitterFile::ResizeCache(std::int64_t bytes)
{
    m_cache.reset();
    m_cacheCapacity = 0;
    m_cacheFill = 0;
    if (bytes <= 0) return false;
    m_cache.reset(new (std::nothrow) BYTE[static_cast<std::size_t>(bytes)]);
    if (!m_cache) return false;
    m_cacheCapacity = bytes;
    return true;
}

std::int64_t CBaseSplitterFile::Length(bool refresh)
{
    LONGLONG total = 0, available = 0;
    if (m_streaming) {
        if (m_reader && SUCCEEDED(m_reader->Length(&total, &available))) m_length = available;
    } else if (refresh) {
        if (m_reader && SUCCEEDED(m_reader->Length(&total, &available))) m_length = total;
    }
    return m_length;
}

std::int64_t CBaseSplitterFile::Available()
{
    LONGLONG total = 0, available = 0;
    if (m_reader) m_reader->Length(&total, &available);
    return available;
}

std::int64_t CBaseSplitterFile::Remaining() { return std::max<std::int64_t>(0, Length(true) - Position()); }

HRESULT CBaseSplitterFile::HasData(std::int64_t needed)
{
    const std::int64_t remaining = Length(false) - Position();
    if (!m_streaming) return remaining <= 0 ? E_FAIL : S_OK;
    return remaining >= needed ? S_OK : S_FALSE;
}

void CBaseSplitterFile::SeekTo(std::int64_t position)
{
    const std::int64_t length = Length(false);
    m_position = std::clamp<std::int64_t>(position, 0, std::max<std::int64_t>(length, 0));
    m_bitCount = 0;
}

HRESULT CBaseSplitterFile::ReadSource(std::int64_t position, std::int64_t length, BYTE* destination)
{
    if (m_beforeSourceRead) m_beforeSourceRead();
    return m_reader->SyncRead(position, static_cast<LONG>(length), destination);
}

HRESULT CBaseSplitterFile::ReadBytes(BYTE* destination, std::int64_t length)
{
    if (!m_reader) return E_NOINTERFACE;
    if (!m_randomAccess) {
        LONGLONG total = 0, available = 0;
        if (SUCCEEDED(m_reader->Length(&total, &available)) && total == available && total > 0) {
            m_randomAccess = true;
            OnSourceComplete();
        }
    }
    if (m_cacheCapacity == 0 || !m_cache) {
        const HRESULT hr = ReadSource(m_position, length, destination);
        m_position += length;
        return hr;
    }
    // What the cache holds.
    if (m_cacheStart <= m_position && m_position < m_cacheStart + m_cacheFill) {
        const std::int64_t n = std::min(length, m_cacheStart + m_cacheFill - m_position);
        std::memcpy(destination, m_cache.get() + (m_position - m_cacheStart), static_cast<std::size_t>(n));
        m_position += n;
        destination += n;
        length -= n;
    }
    // Large reads bypass the cache.
    while (length > m_cacheCapacity) {
        const HRESULT hr = ReadSource(m_position, m_cacheCapacity, destination);
        if (hr != S_OK) return hr;
        m_position += m_cacheCapacity;
        destination += m_cacheCapacity;
        length -= m_cacheCapacity;
    }
    HRESULT hr = S_OK;
    while (length > 0) {
        const std::int64_t chunk = std::min(m_cacheCapacity, Length(false) - m_position);
        const std::int64_t n = std::min(chunk, length);
        if (n <= 0) return S_FALSE;
        hr = ReadSource(m_position, chunk, m_cache.get());
        if (hr != S_OK) {
            // The cache buffer no longer holds what its window says.
            m_cacheFill = 0;
            if (hr == S_FALSE) {
                // A source that met its real end early (a DVD chapter) has corrected its length:
                // read what there is instead of losing the last chunk.
                const std::int64_t before = m_length;
                if (Length(true) < before && m_position < m_length) continue;
            }
            return hr;
        }
        m_cacheStart = m_position;
        m_cacheFill = chunk;
        std::memcpy(destination, m_cache.get(), static_cast<std::size_t>(n));
        m_position += n;
        destination += n;
        length -= n;
    }
    return hr;
}

std::uint64_t CBaseSplitterFile::ReadBits(int n, bool peek)
{
    while (m_bitCount < n) {
        BYTE b = 0;
        if (ReadBytes(&b, 1) != S_OK) return 0;
        m_bitBuffer = (m_bitBuffer << 8) | b;
        m_bitCount += 8;
    }
    return TakeBits(m_bitBuffer, m_bitCount, n, peek);
}

HRESULT CBaseSplitterFile::ReadAlignedBytes(BYTE* destination, std::int64_t length)
{
    SeekTo(Position());
    return ReadBytes(destination, length);
}

std::uint64_t CBaseSplitterFile::ReadUnsignedExpGolomb()
{
    int zeros = 0;
    while (ReadBits(1) == 0) {
        if (++zeros > 32 || (m_bitCount == 0 && m_position >= Length(false))) return 0;
    }
    return (1ull << zeros) - 1 + ReadBits(zeros);
}

std::int64_t CBaseSplitterFile::ReadSignedExpGolomb()
{
    const std::uint64_t k = ReadUnsignedExpGolomb();
    const auto magnitude = static_cast<std::int64_t>((k + 1) / 2);
    return (k & 1) ? magnitude : -magnitude;
}

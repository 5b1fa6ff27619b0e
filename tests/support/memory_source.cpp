#include "support/memory_source.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "pipeline/media_guids.h"

namespace testing_filters {

HRESULT MemoryStream::SetPointer(LONGLONG position)
{
    if (position < 0 || position > static_cast<LONGLONG>(m_bytes.size())) return E_FAIL;
    m_position = position;
    return S_OK;
}

HRESULT MemoryStream::Read(BYTE* buffer, DWORD bytesToRead, BOOL, DWORD* bytesRead)
{
    const LONGLONG hold = m_holdBeyond.load();
    if (hold >= 0 && m_position + bytesToRead > hold) {
        m_held.Set();
        m_released.Wait(INFINITE);
    }
    CAutoLock lock(&m_lock);
    const LONGLONG end = m_available >= 0 ? std::min<LONGLONG>(m_available, static_cast<LONGLONG>(m_bytes.size()))
                                          : static_cast<LONGLONG>(m_bytes.size());
    const LONGLONG n = std::max<LONGLONG>(0, std::min<LONGLONG>(bytesToRead, end - m_position));
    if (n > 0) std::memcpy(buffer, m_bytes.data() + m_position, static_cast<std::size_t>(n));
    m_position += n;
    m_furthest = std::max(m_furthest, m_position);
    if (bytesRead) *bytesRead = static_cast<DWORD>(n);
    return n > 0 ? S_OK : E_FAIL;
}

LONGLONG MemoryStream::Size(LONGLONG* available)
{
    CAutoLock lock(&m_lock);
    if (m_available >= 0) {
        if (available) *available = m_available;
        return 0;
    }
    if (available) *available = static_cast<LONGLONG>(m_bytes.size());
    return static_cast<LONGLONG>(m_bytes.size());
}

LONGLONG MemoryStream::FurthestRead()
{
    CAutoLock lock(&m_lock);
    return m_furthest;
}

void MemoryStream::HoldReadsBeyond(LONGLONG position)
{
    m_released.Reset();
    m_holdBeyond = position;
}

void MemoryStream::ReleaseReads()
{
    m_holdBeyond = -1;
    m_released.Set();
}

bool MemoryStream::WaitUntilHeld() { return m_held.Wait(60000); }

void MemoryStream::SetGrowing(LONGLONG available)
{
    CAutoLock lock(&m_lock);
    m_available = available;
}

void MemoryStream::Complete()
{
    CAutoLock lock(&m_lock);
    m_available = -1;
}

MemorySourceFilter::MemorySourceFilter(std::vector<std::uint8_t> bytes)
    : CAsyncReader("MemorySourceFilter", nullptr, &m_stream, nullptr, GUID_NULL), m_stream(std::move(bytes))
{
    CMediaType type;
    type.majortype = MEDIATYPE_Stream;
    type.formattype = FORMAT_None;
    SetOfferedType(type);
}

MemorySourceFilter::~MemorySourceFilter() { m_io.Shutdown(); }

ComPtr<MemorySourceFilter> MemorySourceFilter::Create(std::vector<std::uint8_t> bytes)
{
    return ComPtr<MemorySourceFilter>(new MemorySourceFilter(std::move(bytes)));
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

} // namespace testing_filters

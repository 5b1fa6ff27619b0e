#include "dvd/dvd_stream.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "dvd/my_dvd.h"
#include "dvd/shared_disc_info.h"
#include "com/debug_log.h"

CDVDStream::CDVDStream() = default;

CDVDStream::~CDVDStream() = default;

bool CDVDStream::EnsureBuffers()
{
    if (!m_buffer) {
        m_buffer.reset(new (std::nothrow) BYTE[kBlockSize]);
        if (!m_buffer) return false;
        std::memset(m_buffer.get(), 0, kBlockSize);
        m_readPointer = m_buffer.get();
        m_bytesLeft = 0;
    }
    if (!m_discard) {
        m_discard.reset(new (std::nothrow) BYTE[kDiscardSize]);
        if (!m_discard) return false;
    }
    return true;
}

HRESULT CDVDStream::UseHandle(DiscHandle handle)
{
    CAutoLock lock(&m_lock);
    if (!EnsureBuffers()) return E_FAIL;
    if (m_ownDisc.Get() != handle) m_ownDisc.Reset();
    m_handle = handle;
    SharedDiscInfo::Refill(handle);
    return SelectArea(0, -1);
}

HRESULT CDVDStream::OpenPath(const char* path)
{
    CAutoLock lock(&m_lock);
    if (!EnsureBuffers()) return E_FAIL;
    OwnedDisc disc(path ? MyDVDOpen(path) : 0);
    if (!disc) return E_FAIL;
    m_ownDisc = std::move(disc);
    m_handle = m_ownDisc.Get();
    SharedDiscInfo::Refill(m_handle);
    return SelectArea(0, -1);
}

HRESULT CDVDStream::SelectArea(int title, int chapter)
{
    CAutoLock lock(&m_lock);
    if (m_buffer) std::memset(m_buffer.get(), 0, kBlockSize);
    m_readPointer = m_buffer.get();
    m_bytesLeft = 0;
    m_blockStart = 0;
    m_blockLength = 0;
    m_title = title;
    m_chapter = chapter;
    MyDVDSetArea(m_handle, title, chapter >= 0 ? chapter : 0);
    if (chapter < 0)
        MyDvdSetStopPos(m_handle, title + 1, 0);
    else
        MyDvdSetStopPos(m_handle, title, chapter + 1);
    m_position = 0;
    // The whole title's length, whichever chapter: the real end is found when reading meets it.
    m_length = m_handle ? TitleByteLength(SharedDiscInfo::Title(title)) : 0;
    return S_OK;
}

HRESULT CDVDStream::SetPointer(LONGLONG position)
{
    CAutoLock lock(&m_lock);
    // Inside the buffered block (before or after the current position): no library call.
    if (m_blockLength > 0 && position >= m_blockStart && position <= m_blockStart + m_blockLength) {
        const auto offset = static_cast<std::int32_t>(position - m_blockStart);
        m_readPointer = m_buffer.get() + offset;
        m_bytesLeft = m_blockLength - offset;
        m_position = position;
        return S_OK;
    }
    const std::int64_t reached = MyDVDSeek(m_handle, position, 0);
    if (reached < 0) return E_FAIL;
    m_position = reached;
    m_readPointer = m_buffer.get();
    m_bytesLeft = 0;
    m_blockLength = 0;
    // The library lands on a sector boundary: read up to the wanted byte and drop it.
    while (m_position < position) {
        const auto gap = static_cast<DWORD>(std::min<LONGLONG>(position - m_position, kDiscardSize));
        DWORD got = 0;
        const HRESULT hr = Read(m_discard.get(), gap, FALSE, &got);
        if (FAILED(hr) || got == 0) return E_FAIL;
    }
    return S_OK;
}

HRESULT CDVDStream::Read(BYTE* buffer, DWORD bytesToRead, BOOL, DWORD* bytesRead)
{
    CAutoLock lock(&m_lock);
    if (bytesRead) *bytesRead = 0;
    if (m_bytesLeft < 0 || !m_buffer) return E_FAIL;
    DWORD copied = 0;
    while (copied < bytesToRead) {
        if (m_bytesLeft == 0) {
            const std::int32_t got = MyDVDRead(m_handle, m_buffer.get(), kBlockSize);
            if (got <= 0) {
                // The real end of the selected range.
                m_length = m_position;
                DebugLog("MyDVDRead error\n");
                break;
            }
            m_blockStart = m_position;
            m_blockLength = got;
            m_readPointer = m_buffer.get();
            m_bytesLeft = got;
        }
        const auto n = std::min<DWORD>(bytesToRead - copied, static_cast<DWORD>(m_bytesLeft));
        std::memcpy(buffer + copied, m_readPointer, n);
        copied += n;
        m_readPointer += n;
        m_bytesLeft -= static_cast<std::int32_t>(n);
        m_position += n;
    }
    if (bytesRead) *bytesRead = copied;
    return copied > 0 ? S_OK : E_FAIL;
}

LONGLONG CDVDStream::Size(LONGLONG* available)
{
    CAutoLock lock(&m_lock);
    if (available) *available = m_length;
    return m_length;
}

DiscHandle CDVDStream::Handle()
{
    CAutoLock lock(&m_lock);
    return m_handle;
}

int CDVDStream::Title()
{
    CAutoLock lock(&m_lock);
    return m_title;
}

int CDVDStream::Chapter()
{
    CAutoLock lock(&m_lock);
    return m_chapter;
}

#include "pipeline/media_sample.h"

#include <cstddef>
#include <cstring>

#include "pipeline/base_allocator.h"
#include "pipeline/media_type.h"

std::atomic<long> CMediaSample::s_samplesAlive{0};

CMediaSample::CMediaSample(const char* objectName, CBaseAllocator* allocator, HRESULT* phr, BYTE* buffer,
                           LONG size)
    : m_objectName(objectName), m_allocator(allocator), m_buffer(buffer), m_bufferSize(size)
{
    s_samplesAlive.fetch_add(1, std::memory_order_relaxed);
    if (!allocator && phr) *phr = E_OUTOFMEMORY;
}

CMediaSample::~CMediaSample()
{
    DeleteMediaType(m_mediaType);
    s_samplesAlive.fetch_sub(1, std::memory_order_relaxed);
}

long CMediaSample::SamplesAlive() { return s_samplesAlive.load(std::memory_order_relaxed); }

HRESULT CMediaSample::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IMediaSample::iid || riid == IUnknown::iid) return GetInterface(static_cast<IMediaSample*>(this), ppv);
    if (riid == IMediaSample2::iid) return GetInterface(static_cast<IMediaSample2*>(this), ppv);
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CMediaSample::AddRef() { return static_cast<ULONG>(m_cRef.fetch_add(1, std::memory_order_relaxed) + 1); }

ULONG CMediaSample::Release()
{
    const LONG count = m_cRef.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (count == 0) {
        // The media type goes now so that a sample waiting on the free list holds no memory.
        if (m_flags & AM_SAMPLE_TYPECHANGED) {
            DeleteMediaType(m_mediaType);
            m_mediaType = nullptr;
            m_flags &= ~AM_SAMPLE_TYPECHANGED;
        }
        m_allocator->ReleaseBuffer(this);
    }
    return static_cast<ULONG>(count);
}

void CMediaSample::ResetProperties()
{
    m_actual = 0;
    m_flags = 0;
    m_typeSpecificFlags = 0;
    m_streamId = AM_STREAM_MEDIA;
    m_start = m_stop = 0;
    m_mediaStart = m_mediaStop = 0;
    DeleteMediaType(m_mediaType);
    m_mediaType = nullptr;
}

HRESULT CMediaSample::SetPointer(BYTE* buffer, LONG size)
{
    if (size < 0) return VFW_E_BUFFER_OVERFLOW;
    m_buffer = buffer;
    m_bufferSize = size;
    m_actual = 0;
    return S_OK;
}

HRESULT CMediaSample::GetPointer(BYTE** buffer)
{
    if (!buffer) return E_POINTER;
    *buffer = m_buffer;
    return S_OK;
}

LONG CMediaSample::GetSize() { return m_bufferSize; }

HRESULT CMediaSample::GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop)
{
    if (!start || !stop) return E_POINTER;
    if (!(m_flags & AM_SAMPLE_TIMEVALID)) return VFW_E_SAMPLE_TIME_NOT_SET;
    *start = m_start;
    if (!(m_flags & AM_SAMPLE_STOPVALID)) {
        *stop = m_start + 1;
        return VFW_S_NO_STOP_TIME;
    }
    *stop = m_stop;
    return S_OK;
}

HRESULT CMediaSample::SetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop)
{
    if (!start) {
        m_flags &= ~(AM_SAMPLE_TIMEVALID | AM_SAMPLE_STOPVALID);
        return S_OK;
    }
    m_start = *start;
    m_flags |= AM_SAMPLE_TIMEVALID;
    if (stop) {
        m_stop = *stop;
        m_flags |= AM_SAMPLE_STOPVALID;
    } else {
        m_flags &= ~AM_SAMPLE_STOPVALID;
    }
    return S_OK;
}

HRESULT CMediaSample::IsSyncPoint() { return (m_flags & AM_SAMPLE_SPLICEPOINT) ? S_OK : S_FALSE; }

HRESULT CMediaSample::SetSyncPoint(BOOL sync)
{
    if (sync)
        m_flags |= AM_SAMPLE_SPLICEPOINT;
    else
        m_flags &= ~AM_SAMPLE_SPLICEPOINT;
    return S_OK;
}

HRESULT CMediaSample::IsPreroll() { return (m_flags & AM_SAMPLE_PREROLL) ? S_OK : S_FALSE; }

HRESULT CMediaSample::SetPreroll(BOOL preroll)
{
    if (preroll)
        m_flags |= AM_SAMPLE_PREROLL;
    else
        m_flags &= ~AM_SAMPLE_PREROLL;
    return S_OK;
}

LONG CMediaSample::GetActualDataLength() { return m_actual; }

HRESULT CMediaSample::SetActualDataLength(LONG length)
{
    if (length < 0 || length > m_bufferSize) return VFW_E_BUFFER_OVERFLOW;
    m_actual = length;
    return S_OK;
}

HRESULT CMediaSample::GetMediaType(AM_MEDIA_TYPE** type)
{
    if (!type) return E_POINTER;
    *type = nullptr;
    if (!(m_flags & AM_SAMPLE_TYPECHANGED) || !m_mediaType) return S_FALSE;
    *type = CreateMediaType(m_mediaType);
    return *type ? S_OK : E_OUTOFMEMORY;
}

HRESULT CMediaSample::SetMediaType(AM_MEDIA_TYPE* type)
{
    DeleteMediaType(m_mediaType);
    m_mediaType = nullptr;
    if (!type) {
        m_flags &= ~AM_SAMPLE_TYPECHANGED;
        return S_OK;
    }
    m_mediaType = CreateMediaType(type);
    if (!m_mediaType) {
        m_flags &= ~AM_SAMPLE_TYPECHANGED;
        return E_OUTOFMEMORY;
    }
    m_flags |= AM_SAMPLE_TYPECHANGED;
    return S_OK;
}

HRESULT CMediaSample::IsDiscontinuity() { return (m_flags & AM_SAMPLE_DATADISCONTINUITY) ? S_OK : S_FALSE; }

HRESULT CMediaSample::SetDiscontinuity(BOOL discontinuity)
{
    if (discontinuity)
        m_flags |= AM_SAMPLE_DATADISCONTINUITY;
    else
        m_flags &= ~AM_SAMPLE_DATADISCONTINUITY;
    return S_OK;
}

HRESULT CMediaSample::GetMediaTime(LONGLONG* start, LONGLONG* stop)
{
    if (!start || !stop) return E_POINTER;
    if (!(m_flags & kMediaTimeValid)) return VFW_E_MEDIA_TIME_NOT_SET;
    *start = m_mediaStart;
    *stop = m_mediaStop;
    return S_OK;
}

HRESULT CMediaSample::SetMediaTime(LONGLONG* start, LONGLONG* stop)
{
    if (!start) {
        m_flags &= ~kMediaTimeValid;
        return S_OK;
    }
    if (!stop) return E_POINTER;
    m_mediaStart = *start;
    m_mediaStop = *stop;
    m_flags |= kMediaTimeValid;
    return S_OK;
}

HRESULT CMediaSample::GetProperties(DWORD size, BYTE* properties)
{
    if (!properties) return E_POINTER;
    if (size > sizeof(AM_SAMPLE2_PROPERTIES)) return E_INVALIDARG;
    AM_SAMPLE2_PROPERTIES props{};
    props.cbData = size;
    props.dwTypeSpecificFlags = m_typeSpecificFlags;
    props.dwSampleFlags = m_flags & ~kMediaTimeValid;
    props.lActual = m_actual;
    props.tStart = m_start;
    props.tStop = m_stop;
    props.dwStreamId = m_streamId;
    props.pMediaType = (m_flags & AM_SAMPLE_TYPECHANGED) ? m_mediaType : nullptr;
    props.pbBuffer = m_buffer;
    props.cbBuffer = m_bufferSize;
    if (size == sizeof props)
        std::memcpy(properties, &props, sizeof props); // the usual case, a fixed-size copy
    else
        std::memcpy(properties, &props, size);
    return S_OK;
}

HRESULT CMediaSample::SetProperties(DWORD size, const BYTE* properties)
{
    if (!properties) return E_POINTER;
    if (size < offsetof(AM_SAMPLE2_PROPERTIES, tStart) || size > sizeof(AM_SAMPLE2_PROPERTIES)) return E_INVALIDARG;
    // Fields beyond `size` keep their current values.
    AM_SAMPLE2_PROPERTIES props{};
    GetProperties(sizeof props, reinterpret_cast<BYTE*>(&props));
    std::memcpy(&props, properties, size);
    if (props.lActual < 0 || props.lActual > m_bufferSize) return VFW_E_BUFFER_OVERFLOW;

    if (props.dwSampleFlags & AM_SAMPLE_TYPECHANGED) {
        if (props.pMediaType != m_mediaType) {
            const HRESULT result = SetMediaType(props.pMediaType);
            if (FAILED(result)) return result;
        }
    } else {
        DeleteMediaType(m_mediaType);
        m_mediaType = nullptr;
    }
    const DWORD keepMediaTime = m_flags & kMediaTimeValid;
    m_flags = (props.dwSampleFlags & ~kMediaTimeValid) | keepMediaTime;
    if (!m_mediaType) m_flags &= ~AM_SAMPLE_TYPECHANGED;
    m_typeSpecificFlags = props.dwTypeSpecificFlags;
    m_actual = props.lActual;
    m_start = props.tStart;
    m_stop = props.tStop;
    m_streamId = props.dwStreamId;
    return S_OK;
}

#include "dvd/dvd_reader.h"

#include <new>

#include "dvd/shared_disc_info.h"
#include "pipeline/base_filter.h"
#include "pipeline/media_guids.h"

CDVDReader::CDVDReader(IUnknown* outer, HRESULT* phr) : CAsyncReader("CDVDReader", outer, &m_stream, phr, CLSID_DVDReader)
{
}

CDVDReader::~CDVDReader()
{
    // No read may be in flight once the stream goes.
    m_io.Shutdown();
}

HRESULT CDVDReader::Create(IBaseFilter** filter)
{
    return CreateComObjectAs(IBaseFilter::iid, reinterpret_cast<void**>(filter),
                             [](HRESULT* hr) { return new (std::nothrow) CDVDReader(nullptr, hr); });
}

HRESULT CDVDReader::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IFileSourceFilter::iid) return GetInterface(static_cast<IFileSourceFilter*>(this), ppv);
    if (riid == IMyDVDReader::iid) return GetInterface(static_cast<IMyDVDReader*>(this), ppv);
    return CAsyncReader::NonDelegatingQueryInterface(riid, ppv);
}

void CDVDReader::OfferByteStream()
{
    CMediaType type;
    type.majortype = MEDIATYPE_Stream;
    type.subtype = GUID_NULL;
    type.formattype = FORMAT_None;
    SetOfferedType(type);
}

HRESULT CDVDReader::Load(const char* fileName, const AM_MEDIA_TYPE*)
{
    if (!fileName) return E_POINTER;
    const HRESULT hr = m_stream.OpenPath(fileName);
    if (FAILED(hr)) return hr;
    {
        CAutoLock lock(&m_csFilter);
        m_fileName = fileName;
    }
    OfferByteStream();
    return S_OK;
}

HRESULT CDVDReader::GetCurFile(char** fileName, AM_MEDIA_TYPE*)
{
    if (!fileName) return E_POINTER;
    CAutoLock lock(&m_csFilter);
    return CopyTextToTaskMemory(m_fileName.c_str(), fileName);
}

HRESULT CDVDReader::SetDvdReader(DiscHandle handle)
{
    const HRESULT hr = m_stream.UseHandle(handle);
    if (FAILED(hr)) return hr;
    {
        CAutoLock lock(&m_csFilter);
        m_fileName = "DVD";
    }
    OfferByteStream();
    return S_OK;
}

HRESULT CDVDReader::SetArea(int title, int chapter)
{
    m_stream.SelectArea(title, chapter);
    return S_OK;
}

HRESULT CDVDReader::GetDuration(LONGLONG* durationMs)
{
    if (!durationMs) return E_POINTER;
    *durationMs = static_cast<LONGLONG>(SharedDiscInfo::Title(m_stream.Title()).durationMs);
    return S_OK;
}

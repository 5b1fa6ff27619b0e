#include "support/file_source.h"

#include "pipeline/media_guids.h"

namespace testing_filters {

FileSourcePin::FileSourcePin(FileSourceFilter* filter, CCritSec* lock, HRESULT* phr)
    : CBasePin("FileSourcePin", filter, lock, phr, "Output", PINDIR_OUTPUT), m_source(filter)
{
}

HRESULT FileSourcePin::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IAsyncReader::iid) return m_source->Reader()->QueryInterface(riid, ppv);
    return CBasePin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT FileSourcePin::CheckMediaType(const CMediaType* type)
{
    return type && type->majortype == MEDIATYPE_Stream ? S_OK : S_FALSE;
}

HRESULT FileSourcePin::GetMediaType(int position, CMediaType* type)
{
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    type->ResetFormatBuffer();
    type->majortype = MEDIATYPE_Stream;
    type->formattype = FORMAT_None;
    return S_OK;
}

FileSourceFilter::FileSourceFilter() : CBaseFilter("FileSourceFilter", nullptr, &m_csFilter, GUID_NULL) {}

FileSourceFilter::~FileSourceFilter() = default;

ComPtr<FileSourceFilter> FileSourceFilter::Create(const std::string& path)
{
    HRESULT hr = S_OK;
    ComPtr<CAsyncFileReader> reader(new CAsyncFileReader(path.c_str(), hr));
    if (FAILED(hr)) return nullptr;
    ComPtr<FileSourceFilter> filter(new FileSourceFilter);
    filter->m_reader = reader;
    filter->m_pin = std::make_unique<FileSourcePin>(filter.Get(), &filter->m_csFilter, &hr);
    return filter;
}

} // namespace testing_filters

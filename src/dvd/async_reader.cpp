#include "dvd/async_reader.h"

CAsyncReader::CAsyncReader(const char* objectName, IUnknown* outer, CAsyncStream* stream, HRESULT* phr, REFCLSID clsid)
    : CBaseFilter(objectName, outer, &m_csFilter, clsid), m_io(stream)
{
    m_outputPin = std::make_unique<CAsyncOutputPin>(phr, this, &m_io, &m_csFilter);
}

CAsyncReader::~CAsyncReader() = default;

CBasePin* CAsyncReader::GetPin(int index) { return index == 0 ? m_outputPin.get() : nullptr; }

CMediaType CAsyncReader::OfferedType()
{
    CAutoLock lock(&m_csFilter);
    return m_mt;
}

void CAsyncReader::SetOfferedType(const CMediaType& type)
{
    CAutoLock lock(&m_csFilter);
    m_mt = type;
}

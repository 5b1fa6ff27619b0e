#include "pipeline/enum_media_types.h"

#include <new>

#include "pipeline/base_pin.h"
#include "pipeline/media_type.h"

CEnumMediaTypes::CEnumMediaTypes(CBasePin* pin, const CEnumMediaTypes* copyFrom)
    : CUnknown("CEnumMediaTypes", nullptr), m_pin(pin)
{
    m_pin->AddRef();
    if (copyFrom) {
        m_position = copyFrom->m_position;
        m_version = copyFrom->m_version;
    } else {
        m_version = pin->GetMediaTypeVersion();
    }
}

CEnumMediaTypes::~CEnumMediaTypes() { m_pin->Release(); }

HRESULT CEnumMediaTypes::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IEnumMediaTypes::iid) return GetInterface(static_cast<IEnumMediaTypes*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

bool CEnumMediaTypes::AreWeOutOfSync() const { return m_pin->GetMediaTypeVersion() != m_version; }

HRESULT CEnumMediaTypes::Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched)
{
    if (!types) return E_POINTER;
    if (!fetched && count > 1) return E_INVALIDARG;
    if (fetched) *fetched = 0;
    if (AreWeOutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    ULONG got = 0;
    while (got < count) {
        CMediaType type;
        if (m_pin->GetMediaType(m_position, &type) != S_OK) break;
        AM_MEDIA_TYPE* copy = CreateMediaType(&type);
        if (!copy) break;
        types[got++] = copy;
        ++m_position;
    }
    if (fetched) *fetched = got;
    return got == count ? S_OK : S_FALSE;
}

HRESULT CEnumMediaTypes::Skip(ULONG count)
{
    if (AreWeOutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    while (count > 0) {
        CMediaType type;
        if (m_pin->GetMediaType(m_position, &type) != S_OK) return S_FALSE;
        ++m_position;
        --count;
    }
    return S_OK;
}

HRESULT CEnumMediaTypes::Reset()
{
    m_version = m_pin->GetMediaTypeVersion();
    m_position = 0;
    return S_OK;
}

HRESULT CEnumMediaTypes::Clone(IEnumMediaTypes** clone)
{
    if (!clone) return E_POINTER;
    *clone = nullptr;
    if (AreWeOutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    auto* copy = new (std::nothrow) CEnumMediaTypes(m_pin, this);
    if (!copy) return E_OUTOFMEMORY;
    return GetInterface(static_cast<IEnumMediaTypes*>(copy), reinterpret_cast<void**>(clone));
}

#include "pipeline/enum_pins.h"

#include <new>

#include "pipeline/base_filter.h"
#include "pipeline/base_pin.h"

CEnumPins::CEnumPins(CBaseFilter* filter, const CEnumPins* copyFrom) : CUnknown("CEnumPins", nullptr), m_filter(filter)
{
    m_filter->AddRef();
    if (copyFrom) {
        m_position = copyFrom->m_position;
        m_version = copyFrom->m_version;
    } else {
        m_version = filter->GetPinVersion();
    }
}

CEnumPins::~CEnumPins() { m_filter->Release(); }

HRESULT CEnumPins::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IEnumPins::iid) return GetInterface(static_cast<IEnumPins*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

bool CEnumPins::AreWeOutOfSync() const { return m_filter->GetPinVersion() != m_version; }

HRESULT CEnumPins::Next(ULONG count, IPin** pins, ULONG* fetched)
{
    if (!pins) return E_POINTER;
    if (!fetched && count > 1) return E_INVALIDARG;
    if (fetched) *fetched = 0;
    if (AreWeOutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    ULONG got = 0;
    const int total = m_filter->GetPinCount();
    while (got < count && m_position < total) {
        CBasePin* pin = m_filter->GetPin(m_position++);
        if (!pin) continue;
        pins[got] = pin;
        pin->AddRef();
        ++got;
    }
    if (fetched) *fetched = got;
    return got == count ? S_OK : S_FALSE;
}

HRESULT CEnumPins::Skip(ULONG count)
{
    if (AreWeOutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    const int total = m_filter->GetPinCount();
    if (static_cast<long long>(m_position) + count > total) {
        m_position = total;
        return S_FALSE;
    }
    m_position += static_cast<int>(count);
    return S_OK;
}

HRESULT CEnumPins::Reset()
{
    m_version = m_filter->GetPinVersion();
    m_position = 0;
    return S_OK;
}

HRESULT CEnumPins::Clone(IEnumPins** clone)
{
    if (!clone) return E_POINTER;
    *clone = nullptr;
    if (AreWeOutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    auto* copy = new (std::nothrow) CEnumPins(m_filter, this);
    if (!copy) return E_OUTOFMEMORY;
    return GetInterface(static_cast<IEnumPins*>(copy), reinterpret_cast<void**>(clone));
}

#include "pipeline/transform_output_pin.h"

#include <new>

#include "pipeline/pos_pass_thru.h"
#include "pipeline/transform_filter.h"
#include "pipeline/transform_input_pin.h"

CTransformOutputPin::CTransformOutputPin(const char* objectName, CTransformFilter* filter, HRESULT* phr,
                                         const char* pinName)
    : CBaseOutputPin(objectName, filter, &filter->m_csFilter, phr, pinName), m_transform(filter)
{
}

CTransformOutputPin::~CTransformOutputPin() = default;

HRESULT CTransformOutputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IMediaSeeking::iid || riid == IMediaPosition::iid) {
        CAutoLock lock(m_lock);
        if (!m_position) {
            HRESULT hr = S_OK;
            auto* passThru = new (std::nothrow)
                CPosPassThru("Transform pass-through", GetOwner(), &hr, m_transform->InputPin());
            if (!passThru) return E_OUTOFMEMORY;
            // Hold the pass-through through its own (non-delegating) identity.
            IUnknown* inner = nullptr;
            passThru->NonDelegatingQueryInterface(IUnknown::iid, reinterpret_cast<void**>(&inner));
            m_position.Attach(inner);
            if (FAILED(hr)) {
                m_position = nullptr;
                return hr;
            }
        }
        return m_position->QueryInterface(riid, ppv);
    }
    return CBaseOutputPin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CTransformOutputPin::CheckConnect(IPin* pin)
{
    CTransformInputPin* input = m_transform->InputPin();
    if (!input || !input->IsConnected()) return E_UNEXPECTED;
    const HRESULT hr = m_transform->CheckConnect(PINDIR_OUTPUT, pin);
    if (FAILED(hr)) return hr;
    return CBaseOutputPin::CheckConnect(pin);
}

HRESULT CTransformOutputPin::BreakConnect()
{
    m_transform->BreakConnect(PINDIR_OUTPUT);
    return CBaseOutputPin::BreakConnect();
}

HRESULT CTransformOutputPin::CompleteConnect(IPin* receivePin)
{
    const HRESULT hr = m_transform->CompleteConnect(PINDIR_OUTPUT, receivePin);
    if (FAILED(hr)) return hr;
    return CBaseOutputPin::CompleteConnect(receivePin);
}

HRESULT CTransformOutputPin::CheckMediaType(const CMediaType* type)
{
    CTransformInputPin* input = m_transform->InputPin();
    if (!input || !input->IsConnected()) return E_INVALIDARG;
    return m_transform->CheckTransform(&input->CurrentMediaType(), type);
}

HRESULT CTransformOutputPin::SetMediaType(const CMediaType* type)
{
    const HRESULT hr = CBaseOutputPin::SetMediaType(type);
    if (FAILED(hr)) return hr;
    return m_transform->SetMediaType(PINDIR_OUTPUT, type);
}

HRESULT CTransformOutputPin::GetMediaType(int position, CMediaType* type)
{
    CTransformInputPin* input = m_transform->InputPin();
    if (!input || !input->IsConnected()) return VFW_S_NO_MORE_ITEMS;
    if (position < 0) return E_INVALIDARG;
    return m_transform->GetMediaType(position, type);
}

HRESULT CTransformOutputPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    return m_transform->DecideBufferSize(allocator, request);
}

HRESULT CTransformOutputPin::Notify(IBaseFilter*, Quality q)
{
    // The filter may act on it; otherwise it goes upstream.
    const HRESULT hr = m_transform->AlterQuality(q);
    if (hr != S_FALSE) return hr;
    CTransformInputPin* input = m_transform->InputPin();
    IPin* upstream = input ? input->GetConnected() : nullptr;
    if (!upstream) return VFW_E_NOT_FOUND;
    ComPtr<IQualityControl> quality;
    if (FAILED(QueryInterfaceTo(upstream, quality))) return VFW_E_NOT_FOUND;
    return quality->Notify(m_transform, q);
}

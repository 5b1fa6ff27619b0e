#include "pipeline/base_input_pin.h"

#include <cstddef>

#include "pipeline/base_filter.h"
#include "pipeline/base_output_pin.h"
#include "pipeline/event_codes.h"
#include "pipeline/mem_allocator.h"

CBaseInputPin::CBaseInputPin(const char* objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* phr,
                             const char* pinName)
    : CBasePin(objectName, filter, lock, phr, pinName, PINDIR_INPUT)
{
}

CBaseInputPin::~CBaseInputPin() = default;

HRESULT CBaseInputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IMemInputPin::iid) return GetInterface(static_cast<IMemInputPin*>(this), ppv);
    return CBasePin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CBaseInputPin::GetAllocator(IMemAllocator** allocator)
{
    if (!allocator) return E_POINTER;
    CAutoLock lock(m_lock);
    if (!m_allocator) {
        const HRESULT hr = CMemAllocator::Create(m_allocator.Put());
        if (FAILED(hr)) return hr;
    }
    return m_allocator.CopyTo(allocator);
}

HRESULT CBaseInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly)
{
    if (!allocator) return E_POINTER;
    CAutoLock lock(m_lock);
    m_allocator = allocator;
    m_readOnly = readOnly != FALSE;
    return S_OK;
}

HRESULT CBaseInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) { return E_NOTIMPL; }

HRESULT CBaseInputPin::BreakConnect()
{
    if (m_allocator) {
        m_allocator->Decommit();
        m_allocator = nullptr;
    }
    return S_OK;
}

HRESULT CBaseInputPin::Inactive()
{
    m_runTimeError = false;
    m_flushing = false;
    if (m_allocator) return m_allocator->Decommit();
    return S_OK;
}

HRESULT CBaseInputPin::CheckStreaming()
{
    if (IsStopped()) return VFW_E_WRONG_STATE;
    if (m_flushing.load()) return S_FALSE;
    if (m_runTimeError.load()) return VFW_E_RUNTIME_ERROR;
    return S_OK;
}

HRESULT CBaseInputPin::Receive(IMediaSample* sample)
{
    if (!sample) return E_POINTER;
    HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;

    ComPtr<IMediaSample2> sample2;
    if (SUCCEEDED(sample->QueryInterface(IMediaSample2::iid, sample2.PutVoid()))) {
        hr = sample2->GetProperties(sizeof m_sampleProps, reinterpret_cast<BYTE*>(&m_sampleProps));
        if (FAILED(hr)) return hr;
    } else {
        // A sample without the property block: read the properties one by one.
        m_sampleProps = AM_SAMPLE2_PROPERTIES{};
        m_sampleProps.cbData = sizeof m_sampleProps;
        hr = sample->GetTime(&m_sampleProps.tStart, &m_sampleProps.tStop);
        if (SUCCEEDED(hr)) {
            m_sampleProps.dwSampleFlags |= AM_SAMPLE_TIMEVALID;
            if (hr == S_OK) m_sampleProps.dwSampleFlags |= AM_SAMPLE_STOPVALID;
        }
        AM_MEDIA_TYPE* type = nullptr;
        if (sample->GetMediaType(&type) == S_OK) {
            // Only the presence matters here; the type itself is checked below.
            m_sampleProps.dwSampleFlags |= AM_SAMPLE_TYPECHANGED;
            DeleteMediaType(type);
        }
        if (sample->IsDiscontinuity() == S_OK) m_sampleProps.dwSampleFlags |= AM_SAMPLE_DATADISCONTINUITY;
        if (sample->IsPreroll() == S_OK) m_sampleProps.dwSampleFlags |= AM_SAMPLE_PREROLL;
        if (sample->IsSyncPoint() == S_OK) m_sampleProps.dwSampleFlags |= AM_SAMPLE_SPLICEPOINT;
        m_sampleProps.lActual = sample->GetActualDataLength();
        m_sampleProps.cbBuffer = sample->GetSize();
        sample->GetPointer(&m_sampleProps.pbBuffer);
    }

    if (m_sampleProps.dwSampleFlags & AM_SAMPLE_TYPECHANGED) {
        AM_MEDIA_TYPE* attached = nullptr;
        HRESULT accepted = S_FALSE;
        if (sample->GetMediaType(&attached) == S_OK && attached) {
            const CMediaType type(*attached);
            accepted = CheckMediaType(&type);
            DeleteMediaType(attached);
        }
        if (accepted != S_OK) {
            m_runTimeError = true;
            EndOfStream();
            m_filter->NotifyEvent(EC_ERRORABORT, VFW_E_TYPE_NOT_ACCEPTED, 0);
            return VFW_E_INVALIDMEDIATYPE;
        }
    }
    return S_OK;
}

HRESULT CBaseInputPin::ReceiveMultiple(IMediaSample** samples, LONG count, LONG* processed)
{
    if (!samples || !processed) return E_POINTER;
    *processed = 0;
    HRESULT hr = S_OK;
    while (count-- > 0) {
        hr = Receive(samples[*processed]);
        if (hr != S_OK) break;
        ++*processed;
    }
    return hr;
}

HRESULT CBaseInputPin::ReceiveCanBlock()
{
    // We may block when any connected output of our filter leads to a pin that may block, or
    // when the filter has no outputs (a renderer or sink).
    int outputs = 0;
    for (int i = 0, n = m_filter->GetPinCount(); i < n; ++i) {
        CBasePin* pin = m_filter->GetPin(i);
        if (!pin || pin->Direction() != PINDIR_OUTPUT) continue;
        ++outputs;
        IPin* peer = pin->GetConnected();
        if (!peer) continue;
        ComPtr<IMemInputPin> input;
        if (FAILED(QueryInterfaceTo(peer, input))) return S_OK;
        if (input->ReceiveCanBlock() != S_FALSE) return S_OK;
    }
    return outputs == 0 ? S_OK : S_FALSE;
}

HRESULT CBaseInputPin::BeginFlush()
{
    CAutoLock lock(m_lock);
    m_flushing = true;
    m_filter->WakeStateWaiters(); // a renderer holding a sample lets it go
    return S_OK;
}

HRESULT CBaseInputPin::EndFlush()
{
    CAutoLock lock(m_lock);
    m_flushing = false;
    m_runTimeError = false;
    return S_OK;
}

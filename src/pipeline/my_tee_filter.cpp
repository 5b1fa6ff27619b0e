#include "pipeline/my_tee_filter.h"

#include <new>

#include "pipeline/format_blocks.h"
#include "pipeline/media_guids.h"
#include "pipeline/pos_pass_thru.h"

CMyTeeFilter::CMyTeeFilter(const char* objectName, IUnknown* outer, HRESULT* phr)
    : CBaseFilter(objectName, outer, &m_csFilter, CLSID_MyTeeFilter)
{
    m_input = std::make_unique<CMyTeeInputPin>(this, phr);
    m_outputs[0] = std::make_unique<CMyTeeOutputPin>(this, phr, "Output0");
    m_outputs[1] = std::make_unique<CMyTeeOutputPin>(this, phr, "Output1");
}

CMyTeeFilter::~CMyTeeFilter() = default;

HRESULT CMyTeeFilter::Create(IBaseFilter** filter)
{
    return CreateComObjectAs(IBaseFilter::iid, reinterpret_cast<void**>(filter),
                             [](HRESULT* hr) { return new (std::nothrow) CMyTeeFilter("CMyTeeFilter", nullptr, hr); });
}

HRESULT CMyTeeFilter::Stop()
{
    {
        // Decommitting the input's allocator stops the upstream thread from sending more.
        CAutoLock lock(&m_csFilter);
        if (IsStopped()) return S_OK;
        if (m_input->IsConnected()) m_input->Inactive();
    }
    // Then wait for a sample in progress (receive lock before filter lock).
    CAutoLock receiveLock(&m_csReceive);
    return CBaseFilter::Stop();
}

CBasePin* CMyTeeFilter::GetPin(int index)
{
    if (index == 0) return m_input.get();
    if (index == 1 || index == 2) return m_outputs[index - 1].get();
    return nullptr;
}

// Input pin.

CMyTeeInputPin::CMyTeeInputPin(CMyTeeFilter* filter, HRESULT* phr)
    : CBaseInputPin("Tee input pin", filter, &filter->m_csFilter, phr, "Input"), m_tee(filter)
{
}

HRESULT CMyTeeInputPin::CheckMediaType(const CMediaType* type)
{
    if (type->majortype != MEDIATYPE_Video || type->subtype != MEDIASUBTYPE_YV12) return S_FALSE;
    if (!HasFormatBlock(*type, FORMAT_VideoInfo, sizeof(VIDEOINFOHEADER))) return S_FALSE;
    const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
    return info->bmiHeader.biHeight > 0 ? S_OK : S_FALSE;
}

HRESULT CMyTeeInputPin::SetMediaType(const CMediaType* type)
{
    const HRESULT hr = CBaseInputPin::SetMediaType(type);
    if (FAILED(hr)) return hr;
    m_tee->m_inputType = *type;
    return S_OK;
}

HRESULT CMyTeeInputPin::Receive(IMediaSample* sample)
{
    CAutoLock receiveLock(&m_tee->m_csReceive);
    HRESULT hr = CBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    for (auto& output : m_tee->m_outputs) {
        if (output->IsConnected()) output->Deliver(sample);
    }
    return S_OK;
}

HRESULT CMyTeeInputPin::EndOfStream()
{
    CAutoLock receiveLock(&m_tee->m_csReceive);
    for (auto& output : m_tee->m_outputs) output->DeliverEndOfStream();
    return S_OK;
}

HRESULT CMyTeeInputPin::BeginFlush()
{
    for (auto& output : m_tee->m_outputs) output->DeliverBeginFlush();
    return CBaseInputPin::BeginFlush();
}

HRESULT CMyTeeInputPin::EndFlush()
{
    for (auto& output : m_tee->m_outputs) output->DeliverEndFlush();
    return CBaseInputPin::EndFlush();
}

HRESULT CMyTeeInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    CAutoLock receiveLock(&m_tee->m_csReceive);
    for (auto& output : m_tee->m_outputs) output->DeliverNewSegment(start, stop, rate);
    return CBaseInputPin::NewSegment(start, stop, rate);
}

// Output pins.

CMyTeeOutputPin::CMyTeeOutputPin(CMyTeeFilter* filter, HRESULT* phr, const char* pinName)
    : CBaseOutputPin("Tee output pin", filter, &filter->m_csFilter, phr, pinName), m_tee(filter)
{
}

CMyTeeOutputPin::~CMyTeeOutputPin() = default;

HRESULT CMyTeeOutputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IMediaSeeking::iid || riid == IMediaPosition::iid) {
        if (!m_seekingEnabled) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        CAutoLock lock(m_lock);
        if (!m_position) {
            HRESULT hr = S_OK;
            auto* passThru = new (std::nothrow) CPosPassThru("Tee pass-through", GetOwner(), &hr, m_tee->m_input.get());
            if (!passThru) return E_OUTOFMEMORY;
            IUnknown* inner = nullptr;
            passThru->NonDelegatingQueryInterface(IUnknown::iid, reinterpret_cast<void**>(&inner));
            m_position.Attach(inner);
        }
        return m_position->QueryInterface(riid, ppv);
    }
    return CBaseOutputPin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CMyTeeOutputPin::GetMediaType(int position, CMediaType* type)
{
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    CAutoLock lock(m_lock);
    *type = m_tee->m_inputType;
    return S_OK;
}

HRESULT CMyTeeOutputPin::CheckMediaType(const CMediaType* type)
{
    CAutoLock lock(m_lock);
    return *type == m_tee->m_inputType ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CMyTeeOutputPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    ALLOCATOR_PROPERTIES wanted = *request;
    wanted.cBuffers = 5;
    wanted.cbBuffer = static_cast<LONG>(m_mt.GetSampleSize());
    if (HasFormatBlock(m_mt, FORMAT_VideoInfo, sizeof(VIDEOINFOHEADER))) {
        const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(m_mt.pbFormat);
        if (info->bmiHeader.biSizeImage) wanted.cbBuffer = static_cast<LONG>(info->bmiHeader.biSizeImage);
    }
    if (wanted.cbAlign <= 0) wanted.cbAlign = 1;
    ALLOCATOR_PROPERTIES actual{};
    const HRESULT hr = allocator->SetProperties(&wanted, &actual);
    if (FAILED(hr)) return hr;
    return actual.cbBuffer < wanted.cbBuffer ? E_FAIL : S_OK;
}

HRESULT CMyTeeOutputPin::Active()
{
    CAutoLock lock(m_lock);
    if (!m_connected) return S_OK;
    HRESULT hr = S_OK;
    auto queue = std::unique_ptr<OutputQueue>(
        new (std::nothrow) OutputQueue(m_connected.Get(), &hr, false, true, 5, false, 5));
    if (!queue) return E_OUTOFMEMORY;
    if (FAILED(hr)) return hr;
    m_queue = std::move(queue);
    return CBaseOutputPin::Active();
}

HRESULT CMyTeeOutputPin::Inactive()
{
    CAutoLock lock(m_lock);
    m_queue.reset();
    return CBaseOutputPin::Inactive();
}

HRESULT CMyTeeOutputPin::Deliver(IMediaSample* sample)
{
    if (!sample) return E_POINTER;
    if (!m_queue) return S_OK;
    return m_queue->Receive(ComPtr<IMediaSample>(sample));
}

HRESULT CMyTeeOutputPin::DeliverEndOfStream()
{
    if (m_queue) m_queue->EOS();
    return S_OK;
}

HRESULT CMyTeeOutputPin::DeliverBeginFlush()
{
    if (m_queue) m_queue->BeginFlush();
    return S_OK;
}

HRESULT CMyTeeOutputPin::DeliverEndFlush()
{
    if (m_queue) m_queue->EndFlush();
    return S_OK;
}

HRESULT CMyTeeOutputPin::DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    if (m_queue) m_queue->NewSegment(start, stop, rate);
    return S_OK;
}

HRESULT CMyTeeOutputPin::Notify(IBaseFilter*, Quality) { return S_OK; }

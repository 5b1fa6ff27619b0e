#include "dvd/async_output_pin.h"

#include "dvd/async_reader.h"
#include <algorithm>

#include "pipeline/mem_allocator.h"

CAsyncOutputPin::CAsyncOutputPin(HRESULT* phr, CAsyncReader* reader, AsyncIo* io, CCritSec* lock)
    : CBasePin("Async output pin", reader, lock, phr, "Output", PINDIR_OUTPUT), m_reader(reader), m_io(io)
{
}

CAsyncOutputPin::~CAsyncOutputPin() = default;

HRESULT CAsyncOutputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IAsyncReader::iid) {
        m_queriedForAsyncReader = true;
        return GetInterface(static_cast<IAsyncReader*>(this), ppv);
    }
    return CBasePin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CAsyncOutputPin::GetMediaType(int position, CMediaType* type)
{
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    *type = m_reader->OfferedType();
    return S_OK;
}

HRESULT CAsyncOutputPin::CheckMediaType(const CMediaType* type)
{
    const CMediaType offered = m_reader->OfferedType();
    if (type->majortype != offered.majortype) return S_FALSE;
    if (offered.subtype != GUID_NULL && type->subtype != offered.subtype) return S_FALSE;
    return S_OK;
}

HRESULT CAsyncOutputPin::CheckConnect(IPin* pin)
{
    m_queriedForAsyncReader = false;
    return CBasePin::CheckConnect(pin);
}

HRESULT CAsyncOutputPin::CompleteConnect(IPin* receivePin)
{
    // A peer that never asked for IAsyncReader has no way to get data from us.
    if (!m_queriedForAsyncReader) return VFW_E_NO_TRANSPORT;
    return CBasePin::CompleteConnect(receivePin);
}

HRESULT CAsyncOutputPin::BreakConnect()
{
    m_queriedForAsyncReader = false;
    return CBasePin::BreakConnect();
}

HRESULT CAsyncOutputPin::RequestAllocator(IMemAllocator* preferred, ALLOCATOR_PROPERTIES* props, IMemAllocator** actual)
{
    if (!props || !actual) return E_POINTER;
    *actual = nullptr;
    if (props->cbAlign == 0) props->cbAlign = 1;
    ALLOCATOR_PROPERTIES granted{};
    if (preferred) {
        const HRESULT hr = preferred->SetProperties(props, &granted);
        if (SUCCEEDED(hr) && m_io->IsAligned(granted.cbAlign)) {
            return ComPtr<IMemAllocator>(preferred).CopyTo(actual);
        }
    }
    ComPtr<IMemAllocator> own;
    HRESULT hr = CMemAllocator::Create(own.Put());
    if (FAILED(hr)) return hr;
    hr = own->SetProperties(props, &granted);
    if (FAILED(hr)) return hr;
    if (!m_io->IsAligned(granted.cbAlign)) return VFW_E_BADALIGN;
    *actual = own.Detach();
    return S_OK;
}

HRESULT CAsyncOutputPin::RangeOf(IMediaSample* sample, LONGLONG* position, LONG* length)
{
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    HRESULT hr = sample->GetTime(&start, &stop);
    if (FAILED(hr)) return hr;
    *position = start / kUnitsPerSecond;
    LONGLONG end = stop / kUnitsPerSecond;
    LONGLONG total = 0;
    LONGLONG available = 0;
    m_io->Length(&total, &available);
    if (end > total) {
        // Past the end: shorten to the length rounded up to the alignment.
        LONG alignment = 1;
        m_io->Alignment(&alignment);
        const LONGLONG rounded = (total + alignment - 1) / alignment * alignment;
        if (end > rounded) {
            end = std::max(rounded, *position);
            REFERENCE_TIME newStop = end * kUnitsPerSecond;
            sample->SetTime(&start, &newStop);
        }
    }
    *length = static_cast<LONG>(end - *position);
    if (*length > sample->GetSize()) return E_INVALIDARG;
    return S_OK;
}

HRESULT CAsyncOutputPin::Request(IMediaSample* sample, DWORD_PTR user)
{
    if (!sample) return E_POINTER;
    LONGLONG position = 0;
    LONG length = 0;
    HRESULT hr = RangeOf(sample, &position, &length);
    if (FAILED(hr)) return hr;
    BYTE* buffer = nullptr;
    sample->GetPointer(&buffer);
    return m_io->Request(position, length, TRUE, buffer, sample, user);
}

HRESULT CAsyncOutputPin::WaitForNext(DWORD msTimeout, IMediaSample** sample, DWORD_PTR* user)
{
    if (!sample || !user) return E_POINTER;
    *sample = nullptr;
    void* context = nullptr;
    LONG actual = 0;
    const HRESULT hr = m_io->WaitForNext(msTimeout, &context, user, &actual);
    if (context) {
        auto* done = static_cast<IMediaSample*>(context);
        done->SetActualDataLength(actual);
        *sample = done;
    }
    return hr;
}

HRESULT CAsyncOutputPin::SyncReadAligned(IMediaSample* sample)
{
    if (!sample) return E_POINTER;
    LONGLONG position = 0;
    LONG length = 0;
    HRESULT hr = RangeOf(sample, &position, &length);
    if (FAILED(hr)) return hr;
    BYTE* buffer = nullptr;
    sample->GetPointer(&buffer);
    LONG actual = 0;
    hr = m_io->SyncReadAligned(position, length, buffer, &actual);
    sample->SetActualDataLength(actual);
    return hr;
}

HRESULT CAsyncOutputPin::SyncRead(LONGLONG position, LONG length, BYTE* buffer)
{
    return m_io->SyncRead(position, length, buffer);
}

HRESULT CAsyncOutputPin::Length(LONGLONG* total, LONGLONG* available) { return m_io->Length(total, available); }

HRESULT CAsyncOutputPin::BeginFlush() { return m_io->BeginFlush(); }

HRESULT CAsyncOutputPin::EndFlush() { return m_io->EndFlush(); }

#include "pipeline/base_allocator.h"

#include <unistd.h>

#include "pipeline/media_sample.h"

namespace {
// Memory allocation granularity: an alignment must divide it.
long AllocationGranularity()
{
    static const long granularity = [] {
        const long page = sysconf(_SC_PAGESIZE);
        return page > 0 ? page : 4096L;
    }();
    return granularity;
}
} // namespace

CBaseAllocator::CBaseAllocator(const char* objectName, IUnknown* outer, HRESULT*) : CUnknown(objectName, outer) {}

CBaseAllocator::~CBaseAllocator() = default;

HRESULT CBaseAllocator::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IMemAllocator::iid) return GetInterface(static_cast<IMemAllocator*>(this), ppv);
    if (riid == IMemAllocatorCallbackTemp::iid) return GetInterface(static_cast<IMemAllocatorCallbackTemp*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CBaseAllocator::SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual)
{
    if (!request || !actual) return E_POINTER;
    std::lock_guard lock(m_lock);
    if (m_committed) return VFW_E_ALREADY_COMMITTED;
    if (m_allocated != m_freeCount) return VFW_E_BUFFERS_OUTSTANDING;
    const LONG alignment = request->cbAlign;
    if (alignment <= 0 || (alignment & (alignment - 1)) != 0 || AllocationGranularity() % alignment != 0)
        return VFW_E_BADALIGN;
    if (request->cBuffers < 0 || request->cbBuffer < 0 || request->cbPrefix < 0) return E_INVALIDARG;

    // Round the size up so that prefix plus size is a multiple of the alignment.
    long long size = request->cbBuffer;
    const long long total = size + request->cbPrefix;
    if (total % alignment) size += alignment - total % alignment;
    if (size > 0x7FFFFFFF) return E_OUTOFMEMORY;

    m_count = request->cBuffers;
    m_size = static_cast<LONG>(size);
    m_alignment = alignment;
    m_prefix = request->cbPrefix;
    m_changed = true;
    *actual = ALLOCATOR_PROPERTIES{m_count, m_size, m_alignment, m_prefix};
    return S_OK;
}

HRESULT CBaseAllocator::GetProperties(ALLOCATOR_PROPERTIES* props)
{
    if (!props) return E_POINTER;
    std::lock_guard lock(m_lock);
    *props = ALLOCATOR_PROPERTIES{m_count, m_size, m_alignment, m_prefix};
    return S_OK;
}

HRESULT CBaseAllocator::Commit()
{
    std::lock_guard lock(m_lock);
    if (m_committed) return S_OK;
    if (m_decommitInProgress) {
        // Samples are still out from the last decommit: their memory is still ours.
        m_decommitInProgress = false;
        m_committed = true;
        return S_OK;
    }
    if (m_count <= 0 || m_size <= 0) return VFW_E_SIZENOTSET;
    const HRESULT hr = Alloc();
    if (FAILED(hr)) return hr;
    m_committed = true;
    return S_OK;
}

HRESULT CBaseAllocator::Decommit()
{
    std::lock_guard lock(m_lock);
    if (!m_committed) return S_OK;
    m_committed = false;
    if (m_freeCount == m_allocated) {
        Free();
    } else {
        m_decommitInProgress = true;
    }
    // Waiters wake up and fail with VFW_E_NOT_COMMITTED.
    m_freeAvailable.notify_all();
    return S_OK;
}

HRESULT CBaseAllocator::GetBuffer(IMediaSample** sample, REFERENCE_TIME*, REFERENCE_TIME*, DWORD flags)
{
    if (!sample) return E_POINTER;
    *sample = nullptr;
    CMediaSample* taken = nullptr;
    {
        std::unique_lock lock(m_lock);
        for (;;) {
            if (!m_committed) return VFW_E_NOT_COMMITTED;
            if (m_freeList) {
                taken = m_freeList;
                m_freeList = taken->m_next;
                taken->m_next = nullptr;
                --m_freeCount;
                break;
            }
            if (flags & AM_GBF_NOWAIT) return VFW_E_TIMEOUT;
            ++m_waiting;
            m_freeAvailable.wait(lock);
            --m_waiting;
        }
    }
    // The sample keeps us alive while it is out.
    NonDelegatingAddRef();
    taken->ResetProperties();
    taken->m_cRef.store(1, std::memory_order_relaxed);
    *sample = taken;
    return S_OK;
}

HRESULT CBaseAllocator::ReleaseBuffer(IMediaSample* released)
{
    auto* sample = static_cast<CMediaSample*>(released);
    ComPtr<IMemAllocatorNotifyCallbackTemp> notify;
    {
        std::lock_guard lock(m_lock);
        sample->m_next = m_freeList;
        m_freeList = sample;
        ++m_freeCount;
        notify = m_notify;
        if (m_decommitInProgress && m_freeCount == m_allocated) {
            m_decommitInProgress = false;
            Free();
        }
        m_freeAvailable.notify_one();
    }
    if (notify) notify->NotifyRelease();
    // The reference the sample held; this may delete the allocator.
    NonDelegatingRelease();
    return S_OK;
}

LONG CBaseAllocator::Waiting()
{
    std::lock_guard lock(m_lock);
    return m_waiting;
}

HRESULT CBaseAllocator::SetNotify(IMemAllocatorNotifyCallbackTemp* notify)
{
    std::lock_guard lock(m_lock);
    m_notify = notify;
    return S_OK;
}

HRESULT CBaseAllocator::GetFreeCount(LONG* freeCount)
{
    if (!freeCount) return E_POINTER;
    std::lock_guard lock(m_lock);
    *freeCount = m_committed || m_decommitInProgress ? m_freeCount : 0;
    return S_OK;
}

HRESULT CBaseAllocator::Alloc()
{
    m_changed = false;
    return S_OK;
}

void CBaseAllocator::AddFreeSample(CMediaSample* sample)
{
    sample->m_next = m_freeList;
    m_freeList = sample;
    ++m_freeCount;
    ++m_allocated;
}

CMediaSample* CBaseAllocator::TakeFreeList()
{
    CMediaSample* list = m_freeList;
    m_freeList = nullptr;
    m_allocated -= m_freeCount;
    m_freeCount = 0;
    return list;
}

#include "pipeline/mem_allocator.h"

#include <cstdlib>
#include <new>

#include "pipeline/media_sample.h"

CMemAllocator::CMemAllocator(const char* objectName, IUnknown* outer, HRESULT* phr)
    : CBaseAllocator(objectName, outer, phr)
{
}

CMemAllocator::~CMemAllocator()
{
    // No sample can be out (each holds a reference), so everything is on the free list.
    std::lock_guard lock(m_lock);
    Free();
}

HRESULT CMemAllocator::Create(IMemAllocator** allocator)
{
    if (!allocator) return E_POINTER;
    HRESULT hr = S_OK;
    auto* object = new (std::nothrow) CMemAllocator("CMemAllocator", nullptr, &hr);
    if (!object) return E_OUTOFMEMORY;
    object->NonDelegatingAddRef();
    if (FAILED(hr)) {
        object->NonDelegatingRelease();
        return hr;
    }
    *allocator = static_cast<IMemAllocator*>(object);
    return S_OK;
}

HRESULT CMemAllocator::Alloc()
{
    // Decommit freed everything, so each commit starts with fresh memory for the current
    // properties.
    Free();
    const std::size_t stride = static_cast<std::size_t>(m_prefix) + static_cast<std::size_t>(m_size);
    std::size_t total = stride * static_cast<std::size_t>(m_count);
    total = (total + m_alignment - 1) / m_alignment * m_alignment;
    m_memory = static_cast<BYTE*>(std::aligned_alloc(static_cast<std::size_t>(m_alignment), total));
    if (!m_memory) return E_OUTOFMEMORY;
    for (LONG i = 0; i < m_count; ++i) {
        HRESULT hr = S_OK;
        BYTE* buffer = m_memory + stride * static_cast<std::size_t>(i) + static_cast<std::size_t>(m_prefix);
        auto* sample = new (std::nothrow) CMediaSample("CMediaSample", this, &hr, buffer, m_size);
        if (!sample) {
            Free();
            return E_OUTOFMEMORY;
        }
        AddFreeSample(sample);
    }
    m_changed = false;
    return S_OK;
}

void CMemAllocator::Free()
{
    CMediaSample* sample = TakeFreeList();
    while (sample) {
        CMediaSample* next = sample->m_next;
        delete sample;
        sample = next;
    }
    std::free(m_memory);
    m_memory = nullptr;
}

#pragma once
// CBaseAllocator: the pool logic of an allocator (free list, commit and decommit, waiting for
// a free sample). Derived allocators supply the memory through Alloc and Free.
//
// Getting a buffer blocks while every sample is out: that is the pipeline's back-pressure.
// A sample out holds a reference on its allocator, so the allocator outlives its samples.

#include <condition_variable>
#include <mutex>

#include "pipeline/interfaces.h"
#include "pipeline/unknown_object.h"
#include "com/com_ptr.h"

class CMediaSample;

class CBaseAllocator : public CUnknown, public IMemAllocatorCallbackTemp {
public:
    CBaseAllocator(const char* objectName, IUnknown* outer, HRESULT* phr);
    ~CBaseAllocator() override;

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IMemAllocator
    HRESULT SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;
    HRESULT GetProperties(ALLOCATOR_PROPERTIES* props) override;
    HRESULT Commit() override;
    HRESULT Decommit() override;
    HRESULT GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop, DWORD flags) override;
    HRESULT ReleaseBuffer(IMediaSample* sample) override;

    // IMemAllocatorCallbackTemp
    HRESULT SetNotify(IMemAllocatorNotifyCallbackTemp* notify) override;
    HRESULT GetFreeCount(LONG* freeCount) override;

    // Threads waiting in GetBuffer for a sample to come back (tests, diagnostics).
    LONG Waiting();

protected:
    // Creates the samples and their memory for the current properties (called under m_lock).
    virtual HRESULT Alloc();
    // Deletes the samples and memory once every sample is back (called under m_lock).
    virtual void Free() = 0;

    // Puts a new sample on the free list (Alloc only).
    void AddFreeSample(CMediaSample* sample);
    // Takes every sample off the free list (Free only); the caller deletes them.
    CMediaSample* TakeFreeList();

    std::mutex m_lock;
    // The fields below are guarded by m_lock.
    LONG m_count = 0;       // samples wanted
    LONG m_size = 0;        // bytes per buffer, rounded to the alignment
    LONG m_alignment = 1;
    LONG m_prefix = 0;
    LONG m_allocated = 0;   // samples in existence
    bool m_changed = false; // properties changed since the last Alloc

private:
    std::condition_variable m_freeAvailable;
    CMediaSample* m_freeList = nullptr; // guarded by m_lock
    LONG m_freeCount = 0;               // guarded by m_lock
    bool m_committed = false;           // guarded by m_lock
    bool m_decommitInProgress = false;  // guarded by m_lock
    LONG m_waiting = 0;                 // guarded by m_lock: threads waiting in GetBuffer
    ComPtr<IMemAllocatorNotifyCallbackTemp> m_notify; // guarded by m_lock
};

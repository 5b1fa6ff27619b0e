#pragma once
// CMediaSample: one buffer of an allocator with its times, flags and optional media type.
// A sample is handed out with one reference; when its count returns to 0 it gives itself back
// to its allocator. The allocator owns the sample object and its memory.

#include <atomic>

#include "pipeline/interfaces.h"

class CBaseAllocator;

class CMediaSample : public IMediaSample2 {
public:
    // `buffer` of `size` bytes belongs to `allocator`, which outlives the sample.
    CMediaSample(const char* objectName, CBaseAllocator* allocator, HRESULT* phr, BYTE* buffer = nullptr,
                 LONG size = 0);
    virtual ~CMediaSample();
    CMediaSample(const CMediaSample&) = delete;
    CMediaSample& operator=(const CMediaSample&) = delete;

    // IUnknown
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // IMediaSample
    HRESULT GetPointer(BYTE** buffer) override;
    LONG GetSize() override;
    HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override;
    HRESULT SetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override;
    HRESULT IsSyncPoint() override;
    HRESULT SetSyncPoint(BOOL sync) override;
    HRESULT IsPreroll() override;
    HRESULT SetPreroll(BOOL preroll) override;
    LONG GetActualDataLength() override;
    HRESULT SetActualDataLength(LONG length) override;
    HRESULT GetMediaType(AM_MEDIA_TYPE** type) override;
    HRESULT SetMediaType(AM_MEDIA_TYPE* type) override;
    HRESULT IsDiscontinuity() override;
    HRESULT SetDiscontinuity(BOOL discontinuity) override;
    HRESULT GetMediaTime(LONGLONG* start, LONGLONG* stop) override;
    HRESULT SetMediaTime(LONGLONG* start, LONGLONG* stop) override;

    // IMediaSample2
    HRESULT GetProperties(DWORD size, BYTE* properties) override;
    HRESULT SetProperties(DWORD size, const BYTE* properties) override;

    // Points the sample at a buffer; used by allocators at commit.
    HRESULT SetPointer(BYTE* buffer, LONG size);
    // Clears times, flags, media type and length before the allocator hands the sample out.
    void ResetProperties();

    // Samples alive in the process; tests assert it returns to its start.
    static long SamplesAlive();

protected:
    friend class CBaseAllocator;
    friend class CMemAllocator;

    // Flags beyond the published sample flags.
    static constexpr DWORD kMediaTimeValid = 0x10000;

    const char* m_objectName;
    CBaseAllocator* m_allocator; // owner; never null while the sample is out
    CMediaSample* m_next = nullptr; // free-list link, guarded by the allocator's lock
    BYTE* m_buffer;
    LONG m_bufferSize;
    // The fields below belong to whoever holds the sample.
    LONG m_actual = 0;
    DWORD m_flags = 0;
    DWORD m_typeSpecificFlags = 0;
    DWORD m_streamId = AM_STREAM_MEDIA;
    REFERENCE_TIME m_start = 0;
    REFERENCE_TIME m_stop = 0;
    LONGLONG m_mediaStart = 0;
    LONGLONG m_mediaStop = 0;
    AM_MEDIA_TYPE* m_mediaType = nullptr; // task memory, present only with AM_SAMPLE_TYPECHANGED
    std::atomic<LONG> m_cRef{0};

private:
    static std::atomic<long> s_samplesAlive;
};

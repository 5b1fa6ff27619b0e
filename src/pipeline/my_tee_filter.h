#pragma once
// CMyTeeFilter: duplicates a stream of YV12 pictures onto "Output0" and "Output1", each
// delivered by its own queue thread, so that one decoder feeds two independent branches. Both
// outputs carry the same sample object, never a copy.

#include <memory>

#include "pipeline/base_filter.h"
#include "pipeline/base_input_pin.h"
#include "pipeline/base_output_pin.h"
#include "pipeline/media_type.h"
#include "pipeline/output_queue.h"

class CMyTeeFilter;

inline constexpr CLSID CLSID_MyTeeFilter = MakeGuid("{116A8145-0946-11CF-ACB1-444553540000}");

class CMyTeeInputPin : public CBaseInputPin {
public:
    CMyTeeInputPin(CMyTeeFilter* filter, HRESULT* phr);

    // Video, YV12, video-info block with a positive height; S_FALSE otherwise.
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT SetMediaType(const CMediaType* type) override;
    // Hands the sample to every connected output; always succeeds.
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;
    HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

private:
    CMyTeeFilter* const m_tee;
};

class CMyTeeOutputPin : public CBaseOutputPin {
public:
    CMyTeeOutputPin(CMyTeeFilter* filter, HRESULT* phr, const char* pinName);
    ~CMyTeeOutputPin() override;

    // Seeking is offered only with the seeking flag set, which it never is.
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // The stored input type at position 0, nothing else.
    HRESULT GetMediaType(int position, CMediaType* type) override;
    // Only a type equal to the input type; VFW_E_TYPE_NOT_ACCEPTED otherwise.
    HRESULT CheckMediaType(const CMediaType* type) override;
    // Five buffers of the type's image size; E_FAIL when less is granted.
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    // Creates the output queue on the connected pin.
    HRESULT Active() override;
    // Deletes the queue, then the base behaviour.
    HRESULT Inactive() override;
    // Queues the sample (adding a reference); drops it with success when there is no queue.
    HRESULT Deliver(IMediaSample* sample) override;
    HRESULT DeliverEndOfStream() override;
    HRESULT DeliverBeginFlush() override;
    HRESULT DeliverEndFlush() override;
    HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

    // Quality notifications are accepted and ignored.
    HRESULT Notify(IBaseFilter* self, Quality q) override;

private:
    CMyTeeFilter* const m_tee;
    std::unique_ptr<OutputQueue> m_queue; // created on activation (application thread)
    ComPtr<IUnknown> m_position;          // pass-through, made on demand under the pin lock
    bool m_seekingEnabled = false;
};

class CMyTeeFilter : public CBaseFilter {
public:
    CMyTeeFilter(const char* objectName, IUnknown* outer, HRESULT* phr);
    ~CMyTeeFilter() override;

    // Creates a tee with one reference for the caller.
    static HRESULT Create(IBaseFilter** filter);

    // Waits for a sample in progress before the pins are deactivated and the queues deleted.
    HRESULT Stop() override;

    int GetPinCount() override { return 3; }
    CBasePin* GetPin(int index) override;

    // The type the input was connected with.
    const CMediaType& InputType() const { return m_inputType; }

private:
    friend class CMyTeeInputPin;
    friend class CMyTeeOutputPin;

    CCritSec m_csFilter;
    CCritSec m_csReceive;   // taken for every sample and stream-end; before m_csFilter
    CMediaType m_inputType; // guarded by m_csFilter
    std::unique_ptr<CMyTeeInputPin> m_input;
    std::unique_ptr<CMyTeeOutputPin> m_outputs[2];
};

#pragma once
// CTransformFilter: one input ("XForm In"), one output ("XForm Out"), one output sample made
// from each input sample. A derived filter supplies CheckInputType, CheckTransform,
// GetMediaType, DecideBufferSize and Transform.
//
// Locks: the receive lock is taken for every sample, end of stream and state change that
// meets streaming; the filter lock for state changes and connection. Order: receive lock, then
// filter lock. Receive never takes the filter lock.

#include <memory>

#include "pipeline/base_filter.h"
#include "pipeline/media_type.h"
#include "pipeline/transform_input_pin.h"
#include "pipeline/transform_output_pin.h"

class CTransformFilter : public CBaseFilter {
public:
    CTransformFilter(const char* objectName, IUnknown* outer, REFCLSID clsid);
    ~CTransformFilter() override;

    // Pins are created on first request.
    int GetPinCount() override;
    CBasePin* GetPin(int index) override;
    HRESULT FindPin(const char* id, IPin** pin) override;

    HRESULT Stop() override;
    HRESULT Pause() override;

    // Supplied by the derived filter.
    // S_OK when `input` can be transformed at all.
    virtual HRESULT CheckInputType(const CMediaType* input) = 0;
    // S_OK when `input` can be transformed into `output`.
    virtual HRESULT CheckTransform(const CMediaType* input, const CMediaType* output) = 0;
    // Output types offered once the input is connected.
    virtual HRESULT GetMediaType(int position, CMediaType* type) = 0;
    virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
    // Fills `out` from `in`. S_OK delivers `out`; S_FALSE drops it (a skipped frame); a failure
    // stops the stream. The samples stay the caller's.
    virtual HRESULT Transform(IMediaSample* in, IMediaSample* out);

    // Hooks with default behaviour.
    virtual HRESULT StartStreaming();
    virtual HRESULT StopStreaming();
    virtual HRESULT AlterQuality(Quality q);
    virtual HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* type);
    virtual HRESULT CheckConnect(PIN_DIRECTION direction, IPin* pin);
    virtual HRESULT BreakConnect(PIN_DIRECTION direction);
    virtual HRESULT CompleteConnect(PIN_DIRECTION direction, IPin* receivePin);

    // Streaming (receive lock held by the input pin).
    virtual HRESULT Receive(IMediaSample* sample);
    virtual HRESULT EndOfStream();
    virtual HRESULT BeginFlush();
    virtual HRESULT EndFlush();
    virtual HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

    CTransformInputPin* InputPin() { return m_input.get(); }
    CTransformOutputPin* OutputPin() { return m_output.get(); }

protected:
    friend class CTransformInputPin;
    friend class CTransformOutputPin;

    // An output sample for `in`, with its times and flags copied, into `out`.
    HRESULT InitializeOutputSample(IMediaSample* in, ComPtr<IMediaSample>& out);
    void CreatePins();

    CCritSec m_csFilter;
    CCritSec m_csReceive;
    std::unique_ptr<CTransformInputPin> m_input;   // created under m_csFilter
    std::unique_ptr<CTransformOutputPin> m_output; // created under m_csFilter
    bool m_eosDelivered = false;    // guarded by m_csReceive
    bool m_sampleSkipped = false;   // guarded by m_csReceive
    bool m_qualityChanged = false;  // guarded by m_csReceive
};

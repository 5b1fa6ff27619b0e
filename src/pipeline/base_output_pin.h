#pragma once
// CBaseOutputPin: allocator negotiation and delivery downstream. A derived pin supplies
// DecideBufferSize and, usually, CheckMediaType and GetMediaType.

#include "pipeline/base_pin.h"

class CBaseOutputPin : public CBasePin {
public:
    CBaseOutputPin(const char* objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* phr, const char* pinName);
    ~CBaseOutputPin() override;

    // Sets buffer count, size, alignment and prefix on `allocator`; `request` holds the input
    // pin's wishes (zeroed when it has none).
    virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;

    // Negotiates the allocator: the input pin's first, else a new memory allocator.
    virtual HRESULT DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator);
    // A new framework memory allocator with one reference for the caller.
    virtual HRESULT InitAllocator(IMemAllocator** allocator);

    // A sample from the allocator, with one reference owned by the caller (streaming thread).
    virtual HRESULT GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                                      DWORD flags);
    // Passes `sample` to the connected input pin; the caller keeps its reference. S_FALSE or a
    // failure tells the caller to stop sending.
    virtual HRESULT Deliver(IMediaSample* sample);
    virtual HRESULT DeliverEndOfStream();
    virtual HRESULT DeliverBeginFlush();
    virtual HRESULT DeliverEndFlush();
    virtual HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT CheckConnect(IPin* pin) override;
    HRESULT BreakConnect() override;
    HRESULT Active() override;
    HRESULT Inactive() override;

    // Stream control arrives at input pins only.
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;

protected:
    ComPtr<IMemAllocator> m_allocator; // set while connected
    ComPtr<IMemInputPin> m_inputPin;   // set while connected
};

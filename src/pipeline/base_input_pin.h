#pragma once
// CBaseInputPin: receives samples (IMemInputPin), checks that streaming is allowed, and keeps
// the flushing and runtime-error state.

#include "pipeline/base_pin.h"

class CBaseInputPin : public CBasePin, public IMemInputPin {
public:
    CBaseInputPin(const char* objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* phr, const char* pinName);
    ~CBaseInputPin() override;

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    ULONG NonDelegatingAddRef() override { return CBasePin::NonDelegatingAddRef(); }
    ULONG NonDelegatingRelease() override { return CBasePin::NonDelegatingRelease(); }

    // IMemInputPin
    HRESULT GetAllocator(IMemAllocator** allocator) override;
    HRESULT NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
    HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) override;
    // Checks the streaming state and an attached media type, and remembers the sample's
    // properties. Derived pins call this first and go on only on S_OK.
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT ReceiveMultiple(IMediaSample** samples, LONG count, LONG* processed) override;
    HRESULT ReceiveCanBlock() override;

    // IPin stream control (application or streaming thread).
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;

    HRESULT BreakConnect() override;
    HRESULT Inactive() override;

    // S_OK when a sample may be processed now: VFW_E_WRONG_STATE when stopped, S_FALSE while
    // flushing, VFW_E_RUNTIME_ERROR after a runtime error.
    virtual HRESULT CheckStreaming();

    bool IsFlushing() const { return m_flushing.load(); }
    bool IsReadOnly() const { return m_readOnly; }
    // Properties of the last received sample (streaming thread).
    const AM_SAMPLE2_PROPERTIES* SampleProps() const { return &m_sampleProps; }

protected:
    ComPtr<IMemAllocator> m_allocator; // guarded by m_lock
    bool m_readOnly = false;           // guarded by m_lock
    std::atomic<bool> m_flushing{false};
    AM_SAMPLE2_PROPERTIES m_sampleProps{}; // streaming thread
};

#pragma once
// CTransformOutputPin ("XForm Out"): connects only once the input is connected; offers the
// filter's output types and hands seeking upstream through a pass-through over the input.

#include <memory>

#include "pipeline/base_output_pin.h"
#include "com/com_ptr.h"

class CTransformFilter;

class CTransformOutputPin : public CBaseOutputPin {
public:
    CTransformOutputPin(const char* objectName, CTransformFilter* filter, HRESULT* phr, const char* pinName);
    ~CTransformOutputPin() override;

    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT CheckConnect(IPin* pin) override;
    HRESULT BreakConnect() override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT SetMediaType(const CMediaType* type) override;
    HRESULT GetMediaType(int position, CMediaType* type) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

    HRESULT Notify(IBaseFilter* self, Quality q) override;

private:
    CTransformFilter* const m_transform;
    ComPtr<IUnknown> m_position; // the pass-through's inner unknown, made on first request
};

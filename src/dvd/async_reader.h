#pragma once
// CAsyncReader: a source filter with one output pin through which a CAsyncStream is pulled.

#include <memory>

#include "dvd/async_io.h"
#include "dvd/async_output_pin.h"
#include "pipeline/base_filter.h"
#include "pipeline/media_type.h"

class CAsyncReader : public CBaseFilter {
public:
    // `stream` belongs to the derived filter and outlives this base.
    CAsyncReader(const char* objectName, IUnknown* outer, CAsyncStream* stream, HRESULT* phr, REFCLSID clsid);
    ~CAsyncReader() override;

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override;

    // The type the pin offers (application thread, or the pin under the filter lock).
    CMediaType OfferedType();
    void SetOfferedType(const CMediaType& type);

protected:
    CCritSec m_csFilter;
    AsyncIo m_io;
    std::unique_ptr<CAsyncOutputPin> m_outputPin;

private:
    CMediaType m_mt; // guarded by m_csFilter
};

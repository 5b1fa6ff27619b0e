#pragma once
// CEnumPins: enumerates a filter's pins in index order; goes out of sync (VFW_E_ENUM_OUT_OF_SYNC)
// when the filter's pin list changes, until Reset. Holds a reference on the filter.

#include "pipeline/interfaces.h"
#include "pipeline/unknown_object.h"
#include "com/com_ptr.h"

class CBaseFilter;

class CEnumPins : public CUnknown, public IEnumPins {
public:
    // `copyFrom` clones another enumerator's position.
    CEnumPins(CBaseFilter* filter, const CEnumPins* copyFrom);
    ~CEnumPins() override;

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // Each returned pin carries a reference the caller releases.
    HRESULT Next(ULONG count, IPin** pins, ULONG* fetched) override;
    HRESULT Skip(ULONG count) override;
    HRESULT Reset() override;
    HRESULT Clone(IEnumPins** clone) override;

private:
    bool AreWeOutOfSync() const;

    CBaseFilter* m_filter; // holds a reference
    int m_position = 0;
    int m_version = 0;
};

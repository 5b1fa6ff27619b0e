#pragma once
// CEnumMediaTypes: enumerates the types a pin offers (GetMediaType at 0, 1, …). It remembers
// the pin's type-list version and answers VFW_E_ENUM_OUT_OF_SYNC after the list changed, until
// Reset. Holds a reference on the pin.

#include "pipeline/interfaces.h"
#include "pipeline/unknown_object.h"

class CBasePin;

class CEnumMediaTypes : public CUnknown, public IEnumMediaTypes {
public:
    CEnumMediaTypes(CBasePin* pin, const CEnumMediaTypes* copyFrom);
    ~CEnumMediaTypes() override;

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // Each returned type is a task-memory record the caller deletes with DeleteMediaType.
    HRESULT Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override;
    HRESULT Skip(ULONG count) override;
    HRESULT Reset() override;
    HRESULT Clone(IEnumMediaTypes** clone) override;

private:
    bool AreWeOutOfSync() const;

    CBasePin* m_pin; // holds a reference
    int m_position = 0;
    int m_version = 0;
};

#pragma once
// CMediaPosition: the reference-counted base of objects that answer IMediaPosition (position
// control in seconds). CPosPassThru builds on it.

#include "pipeline/interfaces.h"
#include "pipeline/unknown_object.h"

class CMediaPosition : public CUnknown, public IMediaPosition {
public:
    CMediaPosition(const char* objectName, IUnknown* outer);
    ~CMediaPosition() override;

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
};

#include "pipeline/media_position.h"

CMediaPosition::CMediaPosition(const char* objectName, IUnknown* outer) : CUnknown(objectName, outer) {}

CMediaPosition::~CMediaPosition() = default;

HRESULT CMediaPosition::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IMediaPosition::iid) return GetInterface(static_cast<IMediaPosition*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

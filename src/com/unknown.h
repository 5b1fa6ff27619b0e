#pragma once
// The root of every reference-counted interface. Interfaces are abstract structs with a
// static `iid`; objects delete themselves when their last reference goes.

#include "com/guid.h"
#include "com/hresult.h"

struct IUnknown {
    static constexpr GUID iid = MakeGuid("{00000000-0000-0000-C000-000000000046}");

    // Fills *ppv with an added reference to the interface `riid`, or null and E_NOINTERFACE.
    virtual HRESULT QueryInterface(REFIID riid, void** ppv) = 0;
    // Reference counting; the returned count is for diagnostics only.
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

// The identifier of an interface type.
template <class T>
constexpr const GUID& IidOf()
{
    return T::iid;
}

// Hands out `object` as interface `T` from a QueryInterface: adds a reference and stores it.
template <class T>
HRESULT GetInterface(T* object, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = static_cast<void*>(object);
    object->AddRef();
    return S_OK;
}

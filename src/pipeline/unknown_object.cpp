#include "pipeline/unknown_object.h"

std::atomic<long> CBaseObject::s_objectsActive{0};

CBaseObject::CBaseObject(const char* objectName) : m_objectName(objectName)
{
    s_objectsActive.fetch_add(1, std::memory_order_relaxed);
}

CBaseObject::~CBaseObject() { s_objectsActive.fetch_sub(1, std::memory_order_relaxed); }

long CBaseObject::ObjectsActive() { return s_objectsActive.load(std::memory_order_relaxed); }

CUnknown::CUnknown(const char* objectName, IUnknown* outer) : CBaseObject(objectName), m_outer(outer) {}

HRESULT CUnknown::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IUnknown::iid) return GetInterface(static_cast<IUnknown*>(&m_inner), ppv);
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CUnknown::NonDelegatingAddRef() { return static_cast<ULONG>(m_cRef.fetch_add(1, std::memory_order_relaxed) + 1); }

ULONG CUnknown::NonDelegatingRelease()
{
    const long count = m_cRef.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (count == 0) {
        // Guard against a destructor that takes and drops a reference to itself.
        m_cRef.store(1, std::memory_order_relaxed);
        delete this;
        return 0;
    }
    return static_cast<ULONG>(count);
}

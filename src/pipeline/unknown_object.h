#pragma once
// CBaseObject counts the framework's live objects; CUnknown is the reference-counted base of
// every filter, pin, allocator, enumerator and pass-through. An object may be aggregated: its
// public QueryInterface/AddRef/Release then go to the outer object.

#include <atomic>
#include <new>
#include <utility>

#include "com/com_ptr.h"
#include "com/unknown.h"

// The object's own interface handling, reached directly only by an outer object.
struct INonDelegatingUnknown {
    virtual HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG NonDelegatingAddRef() = 0;
    virtual ULONG NonDelegatingRelease() = 0;

protected:
    ~INonDelegatingUnknown() = default;
};

class CBaseObject {
public:
    explicit CBaseObject(const char* objectName);
    CBaseObject(const CBaseObject&) = delete;
    CBaseObject& operator=(const CBaseObject&) = delete;
    virtual ~CBaseObject();

    // Number of framework objects alive in the process; tests assert it returns to its start.
    static long ObjectsActive();
    const char* ObjectName() const { return m_objectName; }

private:
    const char* m_objectName;
    static std::atomic<long> s_objectsActive;
};

class CUnknown : public INonDelegatingUnknown, public CBaseObject {
public:
    // `outer` is the aggregating object, or null for a stand-alone object.
    CUnknown(const char* objectName, IUnknown* outer);

    // Answers IUnknown only; derived classes answer their own interfaces first.
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    ULONG NonDelegatingAddRef() override;
    // Deletes the object when the count reaches 0.
    ULONG NonDelegatingRelease() override;

    // The IUnknown that public calls go to: the outer object, or our own non-delegating one.
    IUnknown* GetOwner() const { return m_outer ? m_outer : const_cast<InnerUnknown*>(&m_inner); }

    // Helpers behind the public IUnknown methods (see DECLARE_IUNKNOWN).
    HRESULT OwnerQueryInterface(REFIID riid, void** ppv) { return GetOwner()->QueryInterface(riid, ppv); }
    ULONG OwnerAddRef() { return GetOwner()->AddRef(); }
    ULONG OwnerRelease() { return GetOwner()->Release(); }

protected:
    std::atomic<long> m_cRef{0};

private:
    // Our IUnknown identity: forwards to the non-delegating methods.
    struct InnerUnknown final : IUnknown {
        explicit InnerUnknown(CUnknown* self) : m_self(self) {}
        HRESULT QueryInterface(REFIID riid, void** ppv) override
        {
            return m_self->NonDelegatingQueryInterface(riid, ppv);
        }
        ULONG AddRef() override { return m_self->NonDelegatingAddRef(); }
        ULONG Release() override { return m_self->NonDelegatingRelease(); }
        CUnknown* m_self;
    };

    IUnknown* const m_outer;
    InnerUnknown m_inner{this};
};

// Public IUnknown methods of a class deriving from CUnknown and from interfaces.
#define DECLARE_IUNKNOWN                                                                         \
    HRESULT QueryInterface(REFIID riid, void** ppv) override { return OwnerQueryInterface(riid, ppv); } \
    ULONG AddRef() override { return OwnerAddRef(); }                                            \
    ULONG Release() override { return OwnerRelease(); }

// A new stand-alone object of T (a CUnknown with public IUnknown methods), its constructor given
// `args`, held with one reference; null when memory ran out. A constructor that reports failure
// through an HRESULT* is given one among `args`, which the caller checks.
template <class T, class... Args>
ComPtr<T> CreateComObject(Args&&... args)
{
    return ComPtr<T>(new (std::nothrow) T(std::forward<Args>(args)...));
}

// What a create function of the class factory does: `make(HRESULT*)` returns a new object (null
// when memory ran out) and reports its constructor's failure in the HRESULT it is given; the
// object is answered as interface `riid` into `ppv`, the caller's reference. The object's own
// reference is held meanwhile, so an aggregated object (one with an outer object) works too.
template <class Make>
HRESULT CreateComObjectAs(REFIID riid, void** ppv, Make make)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    HRESULT hr = S_OK;
    CUnknown* object = make(&hr);
    if (!object) return E_OUTOFMEMORY;
    object->NonDelegatingAddRef();
    if (SUCCEEDED(hr)) hr = object->NonDelegatingQueryInterface(riid, ppv);
    object->NonDelegatingRelease();
    return hr;
}

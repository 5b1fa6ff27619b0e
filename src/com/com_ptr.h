#pragma once
// Reference-counting smart pointer for interfaces. Copying adds a reference, destruction
// releases it. Out-parameters are filled through Put(), which releases any old value first.

#include <cstddef>
#include <utility>

#include "com/unknown.h"

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a new reference to p.
    ComPtr(T* p) : m_p(p) { if (m_p) m_p->AddRef(); }
    ComPtr(const ComPtr& other) : ComPtr(other.m_p) {}
    ComPtr(ComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    template <class U>
    ComPtr(const ComPtr<U>& other) : ComPtr(static_cast<T*>(other.Get())) {}
    ~ComPtr() { Reset(); }

    ComPtr& operator=(const ComPtr& other)
    {
        ComPtr(other).Swap(*this);
        return *this;
    }
    ComPtr& operator=(ComPtr&& other) noexcept
    {
        ComPtr(std::move(other)).Swap(*this);
        return *this;
    }
    ComPtr& operator=(T* p)
    {
        ComPtr(p).Swap(*this);
        return *this;
    }
    ComPtr& operator=(std::nullptr_t)
    {
        Reset();
        return *this;
    }

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    T& operator*() const { return *m_p; }
    explicit operator bool() const { return m_p != nullptr; }

    // Releases the held reference.
    void Reset()
    {
        if (T* p = std::exchange(m_p, nullptr)) p->Release();
    }
    // Takes over a reference the caller already owns (no AddRef).
    void Attach(T* p)
    {
        Reset();
        m_p = p;
    }
    // Gives up the reference without releasing it; the caller now owns it.
    [[nodiscard]] T* Detach() { return std::exchange(m_p, nullptr); }
    // Address for an out-parameter that returns an owned reference.
    T** Put()
    {
        Reset();
        return &m_p;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    // Copies the pointer into an out-parameter with a new reference.
    HRESULT CopyTo(T** out) const
    {
        if (!out) return E_POINTER;
        *out = m_p;
        if (m_p) m_p->AddRef();
        return S_OK;
    }
    // Queries the held object for another interface.
    template <class U>
    HRESULT As(ComPtr<U>& out) const
    {
        if (!m_p) {
            out.Reset();
            return E_POINTER;
        }
        return m_p->QueryInterface(IidOf<U>(), out.PutVoid());
    }
    void Swap(ComPtr& other) noexcept { std::swap(m_p, other.m_p); }

    friend bool operator==(const ComPtr& a, const ComPtr& b) { return a.m_p == b.m_p; }
    friend bool operator==(const ComPtr& a, std::nullptr_t) { return a.m_p == nullptr; }
    friend bool operator==(const ComPtr& a, const T* b) { return a.m_p == b; }

private:
    T* m_p = nullptr;
};

// Queries `object` (any interface or object with QueryInterface) for interface U into `out`.
template <class U, class T>
HRESULT QueryInterfaceTo(T* object, ComPtr<U>& out)
{
    if (!object) {
        out.Reset();
        return E_POINTER;
    }
    return object->QueryInterface(IidOf<U>(), out.PutVoid());
}

// Wraps a pointer whose reference the caller already owns.
template <class T>
ComPtr<T> AdoptRef(T* p)
{
    ComPtr<T> ptr;
    ptr.Attach(p);
    return ptr;
}

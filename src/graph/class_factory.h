#pragma once
// The class factory: creates registered components by class identifier, and keeps what the
// graph needs to know for intelligent connect (merit, the media types a filter's pins take and
// give, whether it renders).

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "com/guid.h"
#include "com/hresult.h"
#include "com/unknown.h"

// Creates an object aggregated by `outer` (may be null) and returns interface `riid`.
using CreateInstanceFn = std::function<HRESULT(IUnknown* outer, REFIID riid, void** ppv)>;

struct RegisteredMediaType {
    GUID majorType;
    GUID subtype; // GUID_NULL: any subtype of the major type
};

struct FilterRegistration {
    CLSID clsid;
    std::string name;
    DWORD merit = 0;
    CreateInstanceFn create;
    std::vector<RegisteredMediaType> inputTypes = {}; // empty: takes anything
    std::vector<RegisteredMediaType> outputTypes = {};
    bool isRenderer = false;
};

class CClassFactory {
public:
    // The process's one factory.
    static CClassFactory& Instance();

    // Registers or replaces a component (any thread).
    void Register(FilterRegistration registration);
    // Forgets a component; false when it was not registered.
    bool Unregister(REFCLSID clsid);
    bool IsRegistered(REFCLSID clsid);

    // Creates the component; REGDB_E_CLASSNOTREG when unknown.
    HRESULT CreateInstance(REFCLSID clsid, IUnknown* outer, REFIID riid, void** ppv);
    // Registered filters above MERIT_DO_NOT_USE, highest merit first.
    std::vector<FilterRegistration> FiltersByMerit();

private:
    CClassFactory();
    std::mutex m_lock;
    std::vector<FilterRegistration> m_registrations; // guarded by m_lock
};

// Creates a registered component, as the platform's object creation does.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid, void** ppv);

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;

#include "graph/class_factory.h"

#include <algorithm>

#include "graph/filter_graph.h"
#include "graph/graph_interfaces.h"
#include "graph/system_clock.h"

CClassFactory& CClassFactory::Instance()
{
    static CClassFactory factory;
    return factory;
}

CClassFactory::CClassFactory()
{
    // The graph's own components are always there.
    m_registrations.push_back(
        FilterRegistration{.clsid = CLSID_FilterGraph, .name = "Filter Graph", .create = &CFilterGraph::CreateInstance});
    m_registrations.push_back(
        FilterRegistration{.clsid = CLSID_SystemClock, .name = "System Clock", .create = &CSystemClock::CreateInstance});
}

void CClassFactory::Register(FilterRegistration registration)
{
    std::lock_guard lock(m_lock);
    auto it = std::find_if(m_registrations.begin(), m_registrations.end(),
                           [&](const FilterRegistration& r) { return r.clsid == registration.clsid; });
    if (it != m_registrations.end())
        *it = std::move(registration);
    else
        m_registrations.push_back(std::move(registration));
}

bool CClassFactory::Unregister(REFCLSID clsid)
{
    std::lock_guard lock(m_lock);
    auto it = std::find_if(m_registrations.begin(), m_registrations.end(),
                           [&](const FilterRegistration& r) { return r.clsid == clsid; });
    if (it == m_registrations.end()) return false;
    m_registrations.erase(it);
    return true;
}

bool CClassFactory::IsRegistered(REFCLSID clsid)
{
    std::lock_guard lock(m_lock);
    return std::any_of(m_registrations.begin(), m_registrations.end(),
                       [&](const FilterRegistration& r) { return r.clsid == clsid; });
}

HRESULT CClassFactory::CreateInstance(REFCLSID clsid, IUnknown* outer, REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    CreateInstanceFn create;
    {
        std::lock_guard lock(m_lock);
        auto it = std::find_if(m_registrations.begin(), m_registrations.end(),
                               [&](const FilterRegistration& r) { return r.clsid == clsid; });
        if (it == m_registrations.end()) return REGDB_E_CLASSNOTREG;
        create = it->create;
    }
    // Aggregation hands out the inner unknown only.
    if (outer && riid != IUnknown::iid) return CLASS_E_NOAGGREGATION;
    return create ? create(outer, riid, ppv) : CLASS_E_CLASSNOTAVAILABLE;
}

std::vector<FilterRegistration> CClassFactory::FiltersByMerit()
{
    std::vector<FilterRegistration> filters;
    {
        std::lock_guard lock(m_lock);
        for (const auto& r : m_registrations)
            if (r.merit > MERIT_DO_NOT_USE) filters.push_back(r);
    }
    std::stable_sort(filters.begin(), filters.end(),
                     [](const FilterRegistration& a, const FilterRegistration& b) { return a.merit > b.merit; });
    return filters;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD, REFIID riid, void** ppv)
{
    return CClassFactory::Instance().CreateInstance(clsid, outer, riid, ppv);
}

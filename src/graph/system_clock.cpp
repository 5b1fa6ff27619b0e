#include "graph/system_clock.h"

#include <algorithm>
#include <chrono>
#include <new>

#include "pipeline/crit_sec.h"

class CSystemClock::AdviseThread : public CAMThread {
public:
    explicit AdviseThread(CSystemClock* clock) : m_clock(clock) {}
    ~AdviseThread() override { Close(); }

protected:
    DWORD ThreadProc() override
    {
        m_clock->AdviseLoop();
        return 0;
    }

private:
    CSystemClock* m_clock;
};

CSystemClock::CSystemClock(const char* objectName, IUnknown* outer, HRESULT*) : CUnknown(objectName, outer) {}

CSystemClock::~CSystemClock()
{
    {
        std::lock_guard lock(m_lock);
        m_terminate = true;
    }
    m_changed.notify_all();
    m_thread.reset(); // joins
}

HRESULT CSystemClock::CreateInstance(IUnknown* outer, REFIID riid, void** ppv)
{
    return CreateComObjectAs(riid, ppv, [outer](HRESULT* hr) { return new (std::nothrow) CSystemClock("CSystemClock", outer, hr); });
}

HRESULT CSystemClock::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IReferenceClock::iid) return GetInterface(static_cast<IReferenceClock*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

REFERENCE_TIME CSystemClock::Now()
{
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(since).count() / 100;
}

HRESULT CSystemClock::GetTime(REFERENCE_TIME* time)
{
    if (!time) return E_POINTER;
    *time = Now();
    return S_OK;
}

HRESULT CSystemClock::AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, CAMEvent* event,
                                 DWORD_PTR* cookie)
{
    if (!event || !cookie) return E_POINTER;
    if (baseTime < 0 || streamTime < 0 || baseTime > kMaxReferenceTime - streamTime) return E_INVALIDARG;
    return AddAdvise(baseTime + streamTime, 0, event, cookie);
}

HRESULT CSystemClock::AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME period, CAMEvent* event,
                                     DWORD_PTR* cookie)
{
    if (!event || !cookie) return E_POINTER;
    if (startTime < 0 || period <= 0) return E_INVALIDARG;
    return AddAdvise(startTime, period, event, cookie);
}

HRESULT CSystemClock::AddAdvise(REFERENCE_TIME due, REFERENCE_TIME period, CAMEvent* event, DWORD_PTR* cookie)
{
    {
        std::lock_guard lock(m_lock);
        if (!m_thread) {
            m_thread = std::make_unique<AdviseThread>(this);
            if (!m_thread->Create()) {
                m_thread.reset();
                return E_OUTOFMEMORY;
            }
        }
        *cookie = m_nextCookie++;
        m_advises.push_back(Advise{*cookie, due, period, event});
    }
    m_changed.notify_all();
    return S_OK;
}

HRESULT CSystemClock::Unadvise(DWORD_PTR cookie)
{
    std::lock_guard lock(m_lock);
    auto it = std::find_if(m_advises.begin(), m_advises.end(), [&](const Advise& a) { return a.cookie == cookie; });
    if (it == m_advises.end()) return S_FALSE;
    m_advises.erase(it);
    m_changed.notify_all();
    return S_OK;
}

void CSystemClock::AdviseLoop()
{
    std::unique_lock lock(m_lock);
    while (!m_terminate) {
        const REFERENCE_TIME now = Now();
        REFERENCE_TIME next = kMaxReferenceTime;
        for (auto it = m_advises.begin(); it != m_advises.end();) {
            if (it->due <= now) {
                it->event->Set();
                if (it->period > 0) {
                    // Skip periods that already passed rather than firing a burst.
                    const REFERENCE_TIME missed = (now - it->due) / it->period + 1;
                    it->due += missed * it->period;
                } else {
                    it = m_advises.erase(it);
                    continue;
                }
            }
            next = std::min(next, it->due);
            ++it;
        }
        if (next == kMaxReferenceTime) {
            m_changed.wait(lock);
        } else {
            m_changed.wait_for(lock, std::chrono::nanoseconds((next - now) * 100));
        }
    }
}

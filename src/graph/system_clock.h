#pragma once
// CSystemClock: a monotonic reference clock over the system's steady clock, counting
// REFERENCE_TIME from an arbitrary origin. Advise requests are served by a thread the clock
// starts on the first request and joins when it dies.

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "pipeline/am_thread.h"
#include "pipeline/interfaces.h"
#include "pipeline/unknown_object.h"

class CSystemClock : public CUnknown, public IReferenceClock {
public:
    CSystemClock(const char* objectName, IUnknown* outer, HRESULT* phr);
    ~CSystemClock() override;

    // Class-factory entry point.
    static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IReferenceClock (any thread).
    HRESULT GetTime(REFERENCE_TIME* time) override;
    HRESULT AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, CAMEvent* event,
                       DWORD_PTR* cookie) override;
    HRESULT AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME period, CAMEvent* event,
                           DWORD_PTR* cookie) override;
    HRESULT Unadvise(DWORD_PTR cookie) override;

    // The time GetTime gives: the steady clock in 100 ns units.
    static REFERENCE_TIME Now();

private:
    struct Advise {
        DWORD_PTR cookie;
        REFERENCE_TIME due;
        REFERENCE_TIME period; // 0 for a one-shot advise
        CAMEvent* event;       // the caller's; alive until Unadvise or the one-shot fires
    };
    class AdviseThread;
    friend class AdviseThread;

    HRESULT AddAdvise(REFERENCE_TIME due, REFERENCE_TIME period, CAMEvent* event, DWORD_PTR* cookie);
    void AdviseLoop();

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<Advise> m_advises;   // guarded by m_lock
    DWORD_PTR m_nextCookie = 1;      // guarded by m_lock
    bool m_terminate = false;        // guarded by m_lock
    std::unique_ptr<AdviseThread> m_thread; // created under m_lock
};

#include "pipeline/presentation.h"

#include "pipeline/base_filter.h"
#include "pipeline/base_input_pin.h"
#include "pipeline/crit_sec.h"

namespace {

bool Abandoned(const CBaseFilter& filter, const CBaseInputPin& pin)
{
    return filter.State() == State_Stopped || pin.IsFlushing();
}

// An event registered with the filter while it is waited on: the filter sets it when its state
// changes or a flush begins, the clock when the time comes.
class StateWaiter {
public:
    explicit StateWaiter(CBaseFilter& filter) : m_filter(filter) { m_filter.AddStateWaiter(&m_wake); }
    ~StateWaiter() { m_filter.RemoveStateWaiter(&m_wake); }
    StateWaiter(const StateWaiter&) = delete;
    StateWaiter& operator=(const StateWaiter&) = delete;
    CAMEvent& Event() { return m_wake; }

private:
    CBaseFilter& m_filter;
    CAMEvent m_wake{true};
};

} // namespace

Presentation WaitForPresentation(CBaseFilter& filter, CBaseInputPin& pin, REFERENCE_TIME streamTime,
                                 REFERENCE_TIME allowedLateness)
{
    for (;;) {
        // Registered before the state is looked at, so that a change cannot slip in between.
        StateWaiter waiter(filter);
        if (Abandoned(filter, pin)) return Presentation::kAbandoned;
        if (filter.State() != State_Running) {
            waiter.Event().Wait(); // paused: held until the graph runs, stops or flushes
            continue;
        }
        ComPtr<IReferenceClock> clock;
        REFERENCE_TIME base = 0;
        filter.ClockAndStart(clock, base);
        if (!clock) return Presentation::kOnTime;
        REFERENCE_TIME now = 0;
        if (FAILED(clock->GetTime(&now))) return Presentation::kOnTime;
        if (now - base - streamTime > allowedLateness) return Presentation::kLate;
        if (now - base >= streamTime) return Presentation::kOnTime;
        DWORD_PTR cookie = 0;
        if (FAILED(clock->AdviseTime(base, streamTime, &waiter.Event(), &cookie))) return Presentation::kOnTime;
        // The clock wakes the renderer, or a flush, a stop or a pause comes first.
        waiter.Event().Wait();
        clock->Unadvise(cookie);
        // Woken: the loop reads the clock again (a clock that follows the sound may wake its
        // waiters a little early).
    }
}

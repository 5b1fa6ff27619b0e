#include "pipeline/presentation.h"

#include "pipeline/base_filter.h"
#include "pipeline/base_input_pin.h"
#include "pipeline/crit_sec.h"

namespace {

// How often a held sample looks at the filter's state: a pause has no event of its own.
constexpr DWORD kStatePollMs = 5;

bool Abandoned(const CBaseFilter& filter, const CBaseInputPin& pin)
{
    return filter.State() == State_Stopped || pin.IsFlushing();
}

} // namespace

Presentation WaitForPresentation(CBaseFilter& filter, CBaseInputPin& pin, REFERENCE_TIME streamTime,
                                 REFERENCE_TIME allowedLateness)
{
    for (;;) {
        if (Abandoned(filter, pin)) return Presentation::kAbandoned;
        if (filter.State() != State_Running) {
            CAMEvent never;
            never.Wait(kStatePollMs); // paused: held until the graph runs
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
        CAMEvent due;
        DWORD_PTR cookie = 0;
        if (FAILED(clock->AdviseTime(base, streamTime, &due, &cookie))) return Presentation::kOnTime;
        // The clock wakes the renderer, or a flush, a stop or a pause comes first.
        bool fired = false;
        while (!(fired = due.Wait(kStatePollMs))) {
            if (filter.State() != State_Running || pin.IsFlushing()) break;
        }
        if (!fired) clock->Unadvise(cookie);
        // Woken: the loop reads the clock again (a clock that follows the sound may wake its
        // waiters a little early).
    }
}

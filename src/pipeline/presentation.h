#pragma once
// Waiting for a sample's presentation time: what every renderer does before it shows or plays a
// sample. A paused filter holds the sample until it runs; a running one waits until its clock
// reaches the sample's start. A flush or a stop ends the wait at once.

#include "pipeline/interfaces.h"

class CBaseFilter;
class CBaseInputPin;

enum class Presentation {
    kOnTime,    // the sample's time has come (or the filter has no clock)
    kLate,      // the clock was already past the sample's start by more than the allowed lateness
    kAbandoned, // a flush or a stop came first: drop the sample
};

// Waits until `streamTime` comes on `filter`'s clock. A sample later than `allowedLateness`
// when the wait begins is kLate at once (renderers drop such pictures).
Presentation WaitForPresentation(CBaseFilter& filter, CBaseInputPin& pin, REFERENCE_TIME streamTime,
                                 REFERENCE_TIME allowedLateness);

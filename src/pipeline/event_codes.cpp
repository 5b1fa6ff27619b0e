#include "pipeline/event_codes.h"

const char* EventCodeName(LONG code)
{
    switch (code) {
    case EC_COMPLETE: return "EC_COMPLETE";
    case EC_USERABORT: return "EC_USERABORT";
    case EC_ERRORABORT: return "EC_ERRORABORT";
    case EC_TIME: return "EC_TIME";
    case EC_REPAINT: return "EC_REPAINT";
    case EC_STREAM_ERROR_STOPPED: return "EC_STREAM_ERROR_STOPPED";
    case EC_STREAM_ERROR_STILLPLAYING: return "EC_STREAM_ERROR_STILLPLAYING";
    case EC_ERROR_STILLPLAYING: return "EC_ERROR_STILLPLAYING";
    case EC_VIDEO_SIZE_CHANGED: return "EC_VIDEO_SIZE_CHANGED";
    case EC_QUALITY_CHANGE: return "EC_QUALITY_CHANGE";
    case EC_SHUTTING_DOWN: return "EC_SHUTTING_DOWN";
    case EC_CLOCK_CHANGED: return "EC_CLOCK_CHANGED";
    case EC_PAUSED: return "EC_PAUSED";
    case EC_LENGTH_CHANGED: return "EC_LENGTH_CHANGED";
    case EC_ERRORABORTEX: return "EC_ERRORABORTEX";
    default: return "EC_UNKNOWN";
    }
}

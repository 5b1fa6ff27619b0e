#include <mutex>

#include "com/debug_log.h"
#include "ffmpeg/ffmpeg_handles.h"

namespace {

// Called on whatever thread FFmpeg logs from (its codec threads too).
void ToDebugLog(void* context, int level, const char* format, va_list args)
{
    if (level > AV_LOG_VERBOSE || !DebugLogEnabled()) return;
    char line[1024];
    int prefix = 1; // FFmpeg's own state for the "[component @ address]" prefix; per call is enough here
    av_log_format_line2(context, level, format, args, line, sizeof line, &prefix);
    DebugLog("ffmpeg: %s", line);
}

} // namespace

void ffmpeg::RouteLogsToDebugLog()
{
    static std::once_flag once;
    std::call_once(once, [] {
        av_log_set_level(AV_LOG_VERBOSE);
        av_log_set_callback(ToDebugLog);
    });
}

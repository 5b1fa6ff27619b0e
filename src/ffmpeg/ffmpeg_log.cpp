#include "com/debug_log.h"
#include "ffmpeg/ffmpeg_errors.h"
#include "ffmpeg/ffmpeg_handles.h"

void ffmpeg::LogToDebugLog(void* context, int level, const char* format, va_list args)
{
    if (level > AV_LOG_VERBOSE || !DebugLogEnabled()) return;
    char line[1024];
    int prefix = 1; // FFmpeg's own state for the "[component @ address]" prefix; per call is enough here
    av_log_format_line2(context, level, format, args, line, sizeof line, &prefix);
    DebugLog("ffmpeg: %s", line);
}

namespace {

bool WorthLogging(int count) { return count <= 20 || count % 1000 == 0; }

} // namespace

bool ffmpeg::ErrorTally::Note(const char* call, int result)
{
    if (StatusOf(result) != Status::Error) return false;
    const int count = m_count.fetch_add(1, std::memory_order_relaxed) + 1;
    if (WorthLogging(count)) DebugLog("%s: %s failed (%s), error %d\n", m_component, call, ErrorText(result).c_str(), count);
    return true;
}

void ffmpeg::ErrorTally::NoteFailure(const char* what)
{
    const int count = m_count.fetch_add(1, std::memory_order_relaxed) + 1;
    if (WorthLogging(count)) DebugLog("%s: %s, error %d\n", m_component, what, count);
}

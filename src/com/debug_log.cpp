#include "com/debug_log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {
std::mutex g_sinkLock;
DebugLogSink g_sink;                // guarded by g_sinkLock
std::atomic<bool> g_hasSink{false};

bool StderrEnabled()
{
    static const bool enabled = [] {
        const char* value = std::getenv("ZUZIDERO_DEBUG");
        return value && *value && *value != '0';
    }();
    return enabled;
}
} // namespace

bool DebugLogEnabled() { return StderrEnabled() || g_hasSink.load(std::memory_order_relaxed); }

void DebugLog(const char* format, ...)
{
    if (!DebugLogEnabled()) return;
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (StderrEnabled()) std::fputs(text, stderr);
    std::lock_guard lock(g_sinkLock);
    if (g_sink) g_sink(text);
}

DebugLogSink SetDebugLogSink(DebugLogSink sink)
{
    std::lock_guard lock(g_sinkLock);
    DebugLogSink previous = std::move(g_sink);
    g_sink = std::move(sink);
    g_hasSink = static_cast<bool>(g_sink);
    return previous;
}

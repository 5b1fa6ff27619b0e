#pragma once
// The engine's debug log: low-level events and failures that are no business of the user
// ("MyDVDRead error\n", "EC_COMPLETE\r\n"). Off by default; ZUZIDERO_DEBUG=1 in the environment
// sends it to stderr, and a sink installed by a test or the GUI receives every line.

#include <functional>
#include <string>

// Writes a formatted text (printf-style) when the log is on. Any thread.
void DebugLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// True when someone listens; lets callers skip building expensive texts.
bool DebugLogEnabled();

// Installs (or, with an empty function, removes) a sink that receives every text, whether or
// not stderr output is on. Returns the previous sink.
using DebugLogSink = std::function<void(const std::string&)>;
DebugLogSink SetDebugLogSink(DebugLogSink sink);

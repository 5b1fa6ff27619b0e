#pragma once
// Reading libav's results: "again" and "the end" are how its send/receive calls talk, not
// failures; anything else below zero is a real error, which is counted and logged under the name
// of the part of the program that met it.

#include <atomic>

extern "C" {
#include <libavutil/error.h>
}

namespace ffmpeg {

enum class Status {
    Ok,    // a result of zero or more
    Again, // EAGAIN: give more input, or take output first
    End,   // EOF: drained
    Error, // anything else
};

constexpr Status StatusOf(int result)
{
    if (result >= 0) return Status::Ok;
    if (result == AVERROR(EAGAIN)) return Status::Again;
    if (result == AVERROR_EOF) return Status::End;
    return Status::Error;
}

// The real errors one component met. Any thread.
class ErrorTally {
public:
    explicit ErrorTally(const char* component) : m_component(component) {}
    ErrorTally(const ErrorTally&) = delete;
    ErrorTally& operator=(const ErrorTally&) = delete;

    // Notes what `call` returned: true, counted and logged, when it is a real error. The first
    // twenty errors are logged, then every thousandth, so a stream of garbage cannot flood the log.
    bool Note(const char* call, int result);
    // A failure that is no libav result (a short read, a refused size).
    void NoteFailure(const char* what);
    int Count() const { return m_count.load(std::memory_order_relaxed); }
    void Reset() { m_count.store(0, std::memory_order_relaxed); }
    const char* Component() const { return m_component; }

private:
    const char* const m_component;
    std::atomic<int> m_count{0};
};

} // namespace ffmpeg

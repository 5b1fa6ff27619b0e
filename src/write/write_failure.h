#pragma once
// The first failure of a file being written, shared by its muxer, encoders and copied streams:
// once set, nothing more is written and the file is incomplete. It keeps what failed and why
// ("Permission denied", "No space left on device"), and counts libav's errors for the log.

#include <string>

#include "ffmpeg/ffmpeg_errors.h"
#include "ffmpeg/ffmpeg_handles.h"

class WriteFailure {
public:
    bool Failed() const { return m_failed; }
    const std::string& Error() const { return m_error; }
    const std::string& Reason() const { return m_reason; }
    ffmpeg::ErrorTally& Tally() { return m_tally; }
    void Clear()
    {
        m_failed = false;
        m_error.clear();
        m_reason.clear();
    }
    // Fails with `what`, and the reason libav's `error` gives (0: none). Always false.
    bool Fail(const std::string& what, int error = 0)
    {
        m_reason = error ? ffmpeg::ErrorText(error) : what;
        m_error = error ? what + ": " + m_reason : what;
        m_failed = true;
        return false;
    }
    // Counts what a libav call returned: true (failed with `what`) when it is an error, which
    // includes "again" and "the end" from calls that never answer so.
    bool Refused(const char* call, int result, const std::string& what)
    {
        if (!m_tally.Note(call, result) && result >= 0) return false;
        Fail(what, result);
        return true;
    }
    // A call that must give `wanted`: false (failed with `what`) otherwise.
    bool Whole(const char* call, int result, int wanted, const std::string& what)
    {
        if (Refused(call, result, what)) return false;
        if (result == wanted) return true;
        m_tally.NoteFailure(call);
        return Fail(what);
    }

private:
    bool m_failed = false;
    std::string m_error;
    std::string m_reason;
    ffmpeg::ErrorTally m_tally{"output writer"};
};

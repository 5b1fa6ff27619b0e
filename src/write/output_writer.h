#pragma once
// OutputWriter: turns the pictures and sound that reach the encoding sink into a media file with
// FFmpeg: the container guessed from the file name, the profile's encoders and settings. One
// writer lives through a whole conversion, so that several titles can be merged into one file.
//
// Pictures are numbered in the codec's time base and sound by its sample count, so every
// container gets time stamps it can index. At Close the encoders' delayed frames are drained and
// the sound short of a whole encoder frame is written.
//
// Threads: Open and Close on the application thread while the graph is stopped; WriteVideo and
// WriteAudio on the sink's streaming threads, serialised by the sink's lock.

#include <cstdint>
#include <string>
#include <vector>

#include "write/display_ratio.h"
#include "ffmpeg/ffmpeg_errors.h"
#include "ffmpeg/ffmpeg_handles.h"
#include "profiles/profile_record.h"

extern "C" {
#include <libavutil/audio_fifo.h>
}

// A chapter mark of a file: its name and where it starts on the file's time line (100 ns).
struct OutputChapter {
    std::string name;
    std::int64_t start = 0;
};

// What a sound or subtitle stream is labelled with where the container can hold it: its
// language (ISO 639-2, "eng"; empty: undetermined) and a title ("English AC-3 2.0").
struct StreamLabel {
    std::string language;
    std::string title;
};

// What a file carries beside its pictures and sound.
struct FileMarks {
    std::vector<OutputChapter> chapters;
    // One label per sound stream: the file gets as many, each encoded alike, the first the default
    // track. None: one sound stream without a label.
    std::vector<StreamLabel> audio;
};

class OutputWriter {
public:
    OutputWriter();
    ~OutputWriter();
    OutputWriter(const OutputWriter&) = delete;
    OutputWriter& operator=(const OutputWriter&) = delete;

    // Writes the container header; false (and no file of its own left behind) when an encoder
    // is unknown or cannot be opened, the name has no known container, a stream cannot be
    // added, or the file cannot be written. The pictures are shown at `displayAspect` (unknown:
    // square pixels). The container is guessed from `path`; the bytes go to `descriptor` when one
    // is given (the caller keeps it open until Close has returned), else to `path`, created here.
    // A container that holds chapters (MP4, M4V, MOV, 3GP, Matroska, WebM) gets every mark of
    // `marks`, and the streams their labels where the container keeps them.
    bool Open(const std::string& path, const WriterSettings& settings, AspectRatio displayAspect = {},
              int descriptor = -1, FileMarks marks = {});
    // The chapter marks' starts may be moved until Close (a merged file's later titles begin
    // where the earlier ones ended); a mark moved before 0 is left out, and so is one that starts
    // at or after the file's end. Each ends where the next begins.
    void MoveChapter(std::size_t index, std::int64_t start);
    const std::vector<OutputChapter>& Chapters() const { return m_marks.chapters; }
    // Whether files of this container keep chapter marks.
    static bool HoldsChapters(const AVOutputFormat* container);

    // One YV12 picture of Width × Height: 0 when the encoder took it, −1 on a failure.
    int WriteVideo(const std::uint8_t* picture);
    // 16-bit interleaved PCM of Channel channels for a sound stream (0: the first): 0, or −1 on a
    // failure.
    int WriteAudio(const std::uint8_t* data, std::size_t bytes) { return WriteAudio(0, data, bytes); }
    int WriteAudio(std::size_t track, const std::uint8_t* data, std::size_t bytes);
    // Drains the encoders, writes the trailer and closes the file; false when anything failed
    // to be written. Harmless when not open.
    bool Close();

    bool IsOpen() const { return m_format != nullptr; }
    bool HasVideo() const { return m_video != nullptr; }
    bool HasAudio() const { return !m_audioTracks.empty() && m_audioTracks.front().stream; }
    // The sound streams of the open file (or of the last one).
    std::size_t AudioTracks() const { return m_audioTracks.size(); }
    // Set by the first failure; nothing more is written then and the file is incomplete.
    bool Failed() const { return m_failed; }
    const std::string& LastError() const { return m_error; }
    // Why the last failure happened, as the system or FFmpeg says it ("Permission denied",
    // "No space left on device"), or the failure itself when neither said anything.
    const std::string& LastReason() const { return m_reason; }
    // What was handed to the encoders so far (tests, progress).
    std::int64_t VideoFrames() const { return m_videoFrames; }
    std::int64_t AudioSamples(std::size_t track = 0) const
    {
        return track < m_audioTracks.size() ? m_audioTracks[track].samples : 0;
    }
    // Sound packets written to the file so far (tests).
    std::int64_t AudioPackets(std::size_t track = 0) const
    {
        return track < m_audioTracks.size() ? m_audioTracks[track].packets : 0;
    }
    // The codec time base a frame rate gives (frames per 1000 s; 23976 and 29970 are NTSC's).
    static AVRational TimeBase(std::int32_t frameRate);

private:
    bool Fail(const std::string& what, int error = 0);
    // Counts what a libav call returned: true (and the writer failed with `what`) when it is an
    // error, which includes "again" and "the end" from calls that never answer so.
    bool Refused(const char* call, int result, const std::string& what);
    // A call that must give `wanted` samples: false (and failed with `what`) otherwise.
    bool Whole(const char* call, int result, int wanted, const std::string& what);
    bool AddVideoStream(const AVCodec* encoder);
    // Opens a stream's encoder and hands its parameters and time base to the stream; false (and
    // failed, naming the `kind` of stream) when either is refused.
    bool OpenEncoder(AVCodecContext* codec, const AVCodec* encoder, AVStream* stream, const char* kind);
    // One sound stream of the file: its encoder, the FIFO that gathers whole encoder frames, and
    // what was written of it.
    struct AudioTrack {
        ffmpeg::CodecContextPtr codec;
        AVStream* stream = nullptr;
        ffmpeg::FramePtr frame;
        ffmpeg::SwrPtr converter;           // 16-bit interleaved to the encoder's sample format
        ffmpeg::AudioFifoPtr fifo;          // 16-bit interleaved samples
        std::vector<std::uint8_t> staging;  // one frame of 16-bit samples on their way to the converter
        std::int64_t samples = 0;
        std::int64_t packets = 0;
    };
    bool AddAudioStream(const AVCodec* encoder, const StreamLabel& label, bool first);
    // Sends a frame (null: the end) and writes every packet that comes out, counting them.
    bool Encode(AVCodecContext* codec, AVStream* stream, const AVFrame* frame, std::int64_t& packets);
    // Encodes whole encoder frames from a track's FIFO; with `flush`, the remainder too.
    bool EncodeAudioFifo(AudioTrack& track, bool flush);
    // The chapters as AVChapters of the output, and their final times, before the trailer;
    // `length` is the file's (100 ns).
    bool AddChapters();
    void PlaceChapters(std::int64_t length);
    // Where the file ends on its time line: its pictures', or else its sound's (100 ns).
    std::int64_t Length() const;
    // Frees the encoders, the converters and the output context, and closes a file of its own.
    void FreeState();

    WriterSettings m_settings{};
    AspectRatio m_displayAspect;
    FileMarks m_marks;
    ffmpeg::OutputContextPtr m_formatOwner;
    ffmpeg::IoContextPtr m_io; // writes to m_fd
    int m_fd = -1;             // where the bytes go while open
    int m_ownedFd = -1;        // m_fd, when the writer created the file itself
    AVFormatContext* m_format = nullptr;
    ffmpeg::CodecContextPtr m_videoCodec;
    AVStream* m_video = nullptr;
    ffmpeg::FramePtr m_videoFrame;     // a view of the caller's picture
    ffmpeg::FramePtr m_convertedFrame; // in the encoder's pixel format, when it is not 4:2:0
    ffmpeg::SwsPtr m_converter;
    std::vector<AudioTrack> m_audioTracks;
    ffmpeg::PacketPtr m_packet;
    std::int64_t m_videoFrames = 0;
    std::int64_t m_videoPackets = 0;
    ffmpeg::ErrorTally m_errors{"output writer"};
    bool m_headerWritten = false;
    bool m_failed = false;
    std::string m_error;
    std::string m_reason;
    std::string m_path;
};

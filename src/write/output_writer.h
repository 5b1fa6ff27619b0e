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

#include "write/aspect_ratio.h"
#include "ffmpeg/ffmpeg_errors.h"
#include "ffmpeg/ffmpeg_handles.h"
#include "profiles/profile_record.h"

extern "C" {
#include <libavutil/audio_fifo.h>
}

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
    bool Open(const std::string& path, const WriterSettings& settings, AspectRatio displayAspect = {},
              int descriptor = -1);
    // One YV12 picture of Width × Height: 0 when the encoder took it, −1 on a failure.
    int WriteVideo(const std::uint8_t* picture);
    // 16-bit interleaved PCM of Channel channels: 0, or −1 on a failure.
    int WriteAudio(const std::uint8_t* data, std::size_t bytes);
    // Drains the encoders, writes the trailer and closes the file; false when anything failed
    // to be written. Harmless when not open.
    bool Close();

    bool IsOpen() const { return m_format != nullptr; }
    bool HasVideo() const { return m_video != nullptr; }
    bool HasAudio() const { return m_audio != nullptr; }
    // Set by the first failure; nothing more is written then and the file is incomplete.
    bool Failed() const { return m_failed; }
    const std::string& LastError() const { return m_error; }
    // Why the last failure happened, as the system or FFmpeg says it ("Permission denied",
    // "No space left on device"), or the failure itself when neither said anything.
    const std::string& LastReason() const { return m_reason; }
    // What was handed to the encoders so far (tests, progress).
    std::int64_t VideoFrames() const { return m_videoFrames; }
    std::int64_t AudioSamples() const { return m_audioSamples; }
    // Sound packets written to the file so far (tests).
    std::int64_t AudioPackets() const { return m_audioPackets; }
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
    bool AddAudioStream(const AVCodec* encoder);
    // Sends a frame (null: the end) and writes every packet that comes out.
    bool Encode(AVCodecContext* codec, AVStream* stream, const AVFrame* frame);
    // Encodes whole encoder frames from the FIFO; with `flush`, the remainder too.
    bool EncodeAudioFifo(bool flush);
    // Frees the encoders, the converters and the output context, and closes a file of its own.
    void FreeState();

    WriterSettings m_settings{};
    AspectRatio m_displayAspect;
    ffmpeg::OutputContextPtr m_formatOwner;
    ffmpeg::IoContextPtr m_io; // writes to m_fd
    int m_fd = -1;             // where the bytes go while open
    int m_ownedFd = -1;        // m_fd, when the writer created the file itself
    AVFormatContext* m_format = nullptr;
    ffmpeg::CodecContextPtr m_videoCodec;
    ffmpeg::CodecContextPtr m_audioCodec;
    AVStream* m_video = nullptr;
    AVStream* m_audio = nullptr;
    ffmpeg::FramePtr m_videoFrame;     // a view of the caller's picture
    ffmpeg::FramePtr m_convertedFrame; // in the encoder's pixel format, when it is not 4:2:0
    ffmpeg::SwsPtr m_converter;
    ffmpeg::FramePtr m_audioFrame;
    ffmpeg::SwrPtr m_sampleConverter; // 16-bit interleaved to the encoder's sample format
    ffmpeg::AudioFifoPtr m_fifo;      // 16-bit interleaved samples
    std::vector<std::uint8_t> m_staging; // one frame of 16-bit samples on their way to the converter
    ffmpeg::PacketPtr m_packet;
    std::int64_t m_videoFrames = 0;
    std::int64_t m_audioSamples = 0;
    std::int64_t m_videoPackets = 0;
    std::int64_t m_audioPackets = 0;
    ffmpeg::ErrorTally m_errors{"output writer"};
    bool m_headerWritten = false;
    bool m_failed = false;
    std::string m_error;
    std::string m_reason;
    std::string m_path;
};

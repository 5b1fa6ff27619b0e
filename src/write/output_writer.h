#pragma once
// OutputWriter: turns the pictures and sound that reach the encoding sink into a media file with
// FFmpeg: the container guessed from the file name, the profile's encoders and settings. One
// writer lives through a whole conversion, so that several titles can be merged into one file.
//
// Pictures are numbered in the codec's time base and sound by its sample count, so every
// container gets time stamps it can index. At Close the encoders' delayed frames are drained and
// the sound short of a whole encoder frame is written.
//
// Streams may also be copied as the source codes them (the profile's codec "copy", a sound track
// copied, subtitles): their packets come whole, with their times. A file with copied streams has
// its header written once each copied picture and sound stream has shown its first frame (which
// says its exact format, and each subtitle stream has been described); until then what comes is
// kept in order.
//
// Threads: Open and Close on the application thread while the graph is stopped; WriteVideo,
// WriteAudio, DescribeCopied and WriteCopied on the sink's streaming threads (DescribeCopied also
// while the graph connects), serialised by the sink's lock.

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "write/display_ratio.h"
#include "write/encoder_options.h"
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

// A sound or subtitle stream of a file: what it is labelled with where the container can hold it
// (its language, ISO 639-2 "eng", empty for undetermined; a title, "English AC-3 2.0"), and how
// it is made.
struct StreamLabel {
    std::string language;
    std::string title;
    // Copied as the source codes it (its format told by DescribeCopied); subtitle streams always
    // are. Otherwise encoded: with `encoder` at `sampleRate` and `channels` where they are given,
    // else with the profile's.
    bool copy = false;
    // Subtitles shown only where the source forces them.
    bool forced = false;
    std::string encoder{};
    int sampleRate = 0;
    int channels = 0;
};

// What a file's streams are.
enum class StreamKind { kVideo, kAudio, kSubtitle };

// The coded format of a copied stream.
struct CopiedFormat {
    AVCodecID codec = AV_CODEC_ID_NONE;
    int sampleRate = 0; // sound
    int channels = 0;
    int bitsPerSample = 0; // PCM
    int width = 0;      // pictures and subtitles
    int height = 0;
    AVRational sampleAspect{0, 1};
    AVRational frameRate{0, 1};
    AVFieldOrder fieldOrder = AV_FIELD_UNKNOWN;
    std::vector<std::uint8_t> extradata; // what the container keeps of the codec's set-up
};

// One coded frame of a copied stream, on the file's time line (100 ns).
struct CopiedPacket {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::int64_t pts = 0;
    std::int64_t dts = 0;
    std::int64_t duration = 0;
    bool key = true;
};

// What a file carries beside its pictures and sound.
struct FileMarks {
    std::vector<OutputChapter> chapters;
    // One label per sound stream: the file gets as many, in this order, the first the default
    // track. None: one sound stream without a label (copied when the profile's audio codec is
    // "copy").
    std::vector<StreamLabel> audio;
    // One per subtitle stream, each copied.
    std::vector<StreamLabel> subtitles;
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
    // The pass the next Open encodes its video in (two-pass rate control); one pass by default.
    void SetPass(EncoderPass pass) { m_pass = std::move(pass); }
    bool Open(const std::string& path, const WriterSettings& settings, AspectRatio displayAspect = {},
              int descriptor = -1, FileMarks marks = {});
    // The chapter marks' starts may be moved until Close (a merged file's later titles begin
    // where the earlier ones ended); a mark moved before 0 is left out, and so is one that starts
    // at or after the file's end. Each ends where the next begins.
    void MoveChapter(std::size_t index, std::int64_t start);
    const std::vector<OutputChapter>& Chapters() const { return m_marks.chapters; }
    // Whether a profile's codec name asks for the stream to be copied as the source codes it
    // ("copy", shown as "Same as source").
    static bool IsCopy(const char* codecName);
    // Whether files of this container keep chapter marks.
    static bool HoldsChapters(const AVOutputFormat* container);

    // One YV12 picture of Width × Height: 0 when the encoder took it, −1 on a failure.
    int WriteVideo(const std::uint8_t* picture);
    // 16-bit interleaved PCM of Channel channels for a sound stream (0: the first): 0, or −1 on a
    // failure.
    int WriteAudio(const std::uint8_t* data, std::size_t bytes) { return WriteAudio(0, data, bytes); }
    int WriteAudio(std::size_t track, const std::uint8_t* data, std::size_t bytes);
    // The sound a stream's encoder takes (16-bit samples at this rate and channel count); the
    // profile's for a copied or unknown stream.
    struct SoundFormat {
        int sampleRate = 0;
        int channels = 0;
    };
    SoundFormat AudioFormat(std::size_t track) const;
    // Whether a stream is copied, and how many subtitle streams the file has.
    bool Copies(StreamKind kind, std::size_t index = 0) const;
    std::size_t SubtitleStreams() const { return m_subtitles.size(); }
    // The format of a copied stream; once more with the format its first frame shows (`confirmed`),
    // until the header is written. False when there is no such copied stream.
    bool DescribeCopied(StreamKind kind, std::size_t index, const CopiedFormat& format, bool confirmed);
    // A frame of a copied stream: 0, or −1 on a failure. Packets of a stream must come in
    // decoding order with rising `dts`.
    int WriteCopied(StreamKind kind, std::size_t index, const CopiedPacket& packet);
    // Where a copied stream's last packet ends on the file's time line (100 ns; 0 before any).
    std::int64_t CopiedEnd(StreamKind kind, std::size_t index = 0) const;
    std::int64_t CopiedPackets(StreamKind kind, std::size_t index = 0) const;
    // Where the file ends on its time line so far (100 ns): its pictures', or else its sound's.
    std::int64_t Length() const;

    // Drains the encoders, writes the trailer and closes the file; false when anything failed
    // to be written. Harmless when not open.
    bool Close();

    bool IsOpen() const { return m_format != nullptr; }
    bool HasVideo() const { return m_video != nullptr || m_copiedVideo.stream != nullptr; }
    bool HasAudio() const { return !m_audioTracks.empty() && m_audioTracks.front().Stream(); }
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
    // The steps of Open: the state of the file before, the encoders named (false: one is
    // unknown), the streams added, and the bytes' way to the file (`created`: the file was made
    // here).
    struct Encoders {
        const AVCodec* video = nullptr;
        bool copyVideo = false;
        std::vector<StreamLabel> sounds;
        std::vector<const AVCodec*> audio; // null: the sound is copied
    };
    void Reset(const std::string& path, const WriterSettings& settings, AspectRatio displayAspect, FileMarks marks);
    bool FindEncoders(const WriterSettings& settings, Encoders& found);
    bool AddStreams(Encoders& found);
    bool OpenBytes(const std::string& path, int descriptor, bool& created);
    // Counts what a libav call returned: true (and the writer failed with `what`) when it is an
    // error, which includes "again" and "the end" from calls that never answer so.
    bool Refused(const char* call, int result, const std::string& what);
    // A call that must give `wanted` samples: false (and failed with `what`) otherwise.
    bool Whole(const char* call, int result, int wanted, const std::string& what);
    bool AddVideoStream(const AVCodec* encoder);
    // Opens a stream's encoder and hands its parameters and time base to the stream; false (and
    // failed, naming the `kind` of stream) when either is refused.
    bool OpenEncoder(AVCodecContext* codec, const AVCodec* encoder, AVStream* stream, const char* kind,
                     AVDictionary** options = nullptr);
    // A stream of the file copied as the source codes it.
    struct CopiedStream {
        AVStream* stream = nullptr;
        bool confirmed = false;  // its first frame said its format
        std::int64_t end = 0;    // 100 ns
        std::int64_t packets = 0;
        std::int64_t lastDts = INT64_MIN; // in the stream's time base
        // DVD LPCM in a container that holds plain PCM only (Matroska): its packets are unpacked
        // into the same samples, at the same rate and depth.
        ffmpeg::CodecContextPtr unpacker;
        ffmpeg::FramePtr unpacked;
    };
    // Sets up the unpacking of a copied DVD LPCM stream; false when it cannot be.
    bool UnpackLpcm(CopiedStream& copy, const CopiedFormat& format);
    // One copied DVD LPCM packet written as plain PCM; false on a failure.
    bool WriteUnpacked(CopiedStream& copy, const CopiedPacket& packet);
    // One sound stream of the file: its encoder, the FIFO that gathers whole encoder frames, and
    // what was written of it; or, copied, its copy.
    struct AudioTrack {
        CopiedStream copy;
        AVStream* Stream() const { return stream ? stream : copy.stream; }
        ffmpeg::CodecContextPtr codec;
        AVStream* stream = nullptr;
        ffmpeg::FramePtr frame;
        ffmpeg::SwrPtr converter;           // 16-bit interleaved to the encoder's sample format
        ffmpeg::AudioFifoPtr fifo;          // 16-bit interleaved samples
        std::vector<std::uint8_t> staging;  // one frame of 16-bit samples on their way to the converter
        int sampleRate = 0;
        std::int64_t samples = 0;
        std::int64_t packets = 0;
    };
    bool AddAudioStream(const AVCodec* encoder, const StreamLabel& label, bool first);
    // A stream to be copied, its format told later; `label` for sound and subtitles.
    bool AddCopiedStream(CopiedStream& copy, AVMediaType type, const StreamLabel* label, bool first);
    CopiedStream* CopiedOf(StreamKind kind, std::size_t index);
    const CopiedStream* CopiedOf(StreamKind kind, std::size_t index) const;
    // Every packet goes out through here: to the file, or kept while the header waits.
    bool WritePacket(AVPacket* packet, AVStream* stream, AVRational from);
    void LabelStream(AVStream* stream, const StreamLabel& label);
    // Writes the header once every copied picture and sound stream has confirmed its format (or
    // `now`), then what was kept. False on a failure.
    bool WriteHeaderWhenDue(bool now);
    // Sends a frame (null: the end) and writes every packet that comes out, counting them.
    bool Encode(AVCodecContext* codec, AVStream* stream, const AVFrame* frame, std::int64_t& packets);
    // Encodes whole encoder frames from a track's FIFO; with `flush`, the remainder too.
    bool EncodeAudioFifo(AudioTrack& track, bool flush);
    // The chapters as AVChapters of the output, and their final times, before the trailer;
    // `length` is the file's (100 ns).
    bool AddChapters();
    void PlaceChapters(std::int64_t length);
    // Frees the encoders, the converters and the output context, and closes a file of its own.
    void FreeState();
    // Ends an encoder that cannot be freed without its end (SVT-AV1), dropping what it makes.
    void EndEncoderQuietly();

    WriterSettings m_settings{};
    EncoderPass m_pass; // one pass unless told (SetPass)
    std::string m_statsOut; // the first pass's statistics, as libavcodec hands them over
    std::string m_statsIn;  // the second pass's, read back
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
    CopiedStream m_copiedVideo;
    std::vector<CopiedStream> m_subtitles;
    // Packets that came before the header, in order; their time stamps in 100 ns.
    std::deque<std::pair<ffmpeg::PacketPtr, AVStream*>> m_waiting;
    bool m_headerDue = false; // the header waits for the copied streams' first frames
    ffmpeg::PacketPtr m_packet;
    std::int64_t m_videoFrames = 0;
    std::int64_t m_videoPackets = 0;
    bool m_videoEnded = false; // the video encoder was told its end
    ffmpeg::ErrorTally m_errors{"output writer"};
    bool m_headerWritten = false;
    bool m_failed = false;
    std::string m_error;
    std::string m_reason;
    std::string m_path;
};

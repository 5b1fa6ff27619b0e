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
// It is the face of the file's parts: the Muxer (the container), the VideoEncoder, a
// SoundEncoder per encoded sound stream, and a CopiedOutput per copied stream, which share one
// WriteFailure.
//
// Threads: Open and Close on the application thread while the graph is stopped; WriteVideo,
// WriteAudio, DescribeCopied and WriteCopied on the sink's streaming threads (DescribeCopied also
// while the graph connects), serialised by the sink's lock.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "profiles/profile_record.h"
#include "write/copied_output.h"
#include "write/display_ratio.h"
#include "write/encoder_options.h"
#include "write/muxer.h"
#include "write/sound_encoder.h"
#include "write/text_stream.h"
#include "write/text_track.h"
#include "write/video_encoder.h"
#include "write/write_failure.h"

// What a file carries beside its pictures and sound.
struct FileMarks {
    std::vector<OutputChapter> chapters;
    // One label per sound stream: the file gets as many, in this order, the first the default
    // track. None: one sound stream without a label (copied when the profile's audio codec is
    // "copy").
    std::vector<StreamLabel> audio;
    // One per subtitle stream, each copied, or read into text (the label says).
    std::vector<StreamLabel> subtitles;
};

// A subtitle stream read into text, once its file is closed: its label, its cues (every one,
// those read too poorly too), and what the reader said.
struct TextResult {
    StreamLabel label;
    std::vector<TextCue> cues;
    std::string language; // the language data read with
    std::string fallback; // the language asked for whose data are missing
    std::string problem;  // why nothing could be read
    int decodeErrors = 0;
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
    const std::vector<OutputChapter>& Chapters() const { return m_muxer.Chapters(); }
    // Whether a profile's codec name asks for the stream to be copied as the source codes it
    // ("copy", shown as "Same as source").
    static bool IsCopy(const char* codecName);
    // Whether files of this container keep chapter marks.
    static bool HoldsChapters(const AVOutputFormat* container) { return Muxer::HoldsChapters(container); }

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
    // Whether a stream is copied (a subtitle stream read into text is fed as a copied one), and
    // how many subtitle streams the file has.
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

    // Subtitle cues read into text in the open file so far; −1 when it reads none.
    int TextCuesRead() const;
    // The subtitle streams read into text by the last file, after Close.
    const std::vector<TextResult>& TextResults() const { return m_textResults; }

    bool IsOpen() const { return m_muxer.Format() != nullptr; }
    bool HasVideo() const { return m_video.Active() || (m_copiedVideo && m_copiedVideo->Stream()); }
    bool HasAudio() const { return !m_audioTracks.empty() && m_audioTracks.front().Stream(); }
    // The sound streams of the open file (or of the last one).
    std::size_t AudioTracks() const { return m_audioTracks.size(); }
    // Set by the first failure; nothing more is written then and the file is incomplete.
    bool Failed() const { return m_failure.Failed(); }
    const std::string& LastError() const { return m_failure.Error(); }
    // Why the last failure happened, as the system or FFmpeg says it ("Permission denied",
    // "No space left on device"), or the failure itself when neither said anything.
    const std::string& LastReason() const { return m_failure.Reason(); }
    // What was handed to the encoders so far (tests, progress).
    std::int64_t VideoFrames() const { return m_video.Frames(); }
    std::int64_t AudioSamples(std::size_t track = 0) const
    {
        return track < m_audioTracks.size() && m_audioTracks[track].encoder ? m_audioTracks[track].encoder->Samples() : 0;
    }
    // Sound packets written to the file so far (tests).
    std::int64_t AudioPackets(std::size_t track = 0) const
    {
        return track < m_audioTracks.size() && m_audioTracks[track].encoder ? m_audioTracks[track].encoder->Packets() : 0;
    }
    // The codec time base a frame rate gives (frames per 1000 s; 23976 and 29970 are NTSC's).
    static AVRational TimeBase(std::int32_t frameRate) { return VideoEncoder::TimeBase(frameRate); }

private:
    // The steps of Open: the state of the file before, the encoders named (false: one is
    // unknown), and the streams added.
    struct Encoders {
        const AVCodec* video = nullptr;
        bool copyVideo = false;
        std::vector<StreamLabel> sounds;
        std::vector<const AVCodec*> audio; // null: the sound is copied
    };
    void Reset(const WriterSettings& settings, AspectRatio displayAspect, FileMarks marks);
    bool FindEncoders(const WriterSettings& settings, Encoders& found);
    bool AddStreams(Encoders& found);
    // Whether every copied picture and sound stream has shown its format (the header waits).
    bool CopiesConfirmed() const;
    CopiedOutput* CopiedOf(StreamKind kind, std::size_t index);
    const CopiedOutput* CopiedOf(StreamKind kind, std::size_t index) const;
    TextTrack* ReaderOf(StreamKind kind, std::size_t index);
    // Frees the encoders and the container, and closes a file of its own.
    void FreeState();

    // One sound stream of the file: encoded, or copied.
    struct AudioTrack {
        std::unique_ptr<SoundEncoder> encoder;
        std::unique_ptr<CopiedOutput> copy;
        AVStream* Stream() const { return encoder ? encoder->Stream() : copy ? copy->Stream() : nullptr; }
    };

    WriteFailure m_failure; // first: the parts below tell it of their failures
    Muxer m_muxer{m_failure};
    VideoEncoder m_video{m_muxer, m_failure};
    WriterSettings m_settings{};
    EncoderPass m_pass; // one pass unless told (SetPass)
    AspectRatio m_displayAspect;
    FileMarks m_marks;
    std::vector<AudioTrack> m_audioTracks;
    std::unique_ptr<CopiedOutput> m_copiedVideo;
    // One subtitle stream: its pictures copied, or their text; read into text when it has a reader.
    struct SubtitleTrack {
        std::unique_ptr<CopiedOutput> copy;
        std::unique_ptr<TextStream> text;
        std::unique_ptr<TextTrack> reader;
        StreamLabel label;
    };
    bool AddSubtitles();
    // Writes the text cues due by `time` (100 ns) before a packet of that time; false on a failure.
    bool WriteDueText(std::int64_t time);
    // Closes the readers: their last cues into their streams, their results kept.
    void FinishText();
    std::vector<SubtitleTrack> m_subtitles;
    std::vector<TextResult> m_textResults;
    std::string m_path;
};

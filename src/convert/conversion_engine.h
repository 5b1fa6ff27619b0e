#pragma once
// ConversionEngine: builds the filter graph of one conversion task (DVD source, splitter,
// decoders, conversion filters, sink), runs it, reports its position, and tears it down. It
// owns the OutputWriter that outlives the task graphs, so that merged tasks share one file.
//
// Failures are reported through the message callback with the program's fixed texts (the end
// message's list in the desktop program, a line on stderr in zuzidero-cli).
//
// The thread that owns it only (the workspace's run thread, or zuzidero-cli's main thread):
// never a window's.

#include <functional>
#include <string>
#include <vector>

#include "write/conv_filter.h"
#include "convert/conversion_task.h"
#include "convert/graph_parts.h"
#include "convert/framing.h"
#include "write/output_writer.h"
#include "convert/source_disc.h"
#include "graph/graph_interfaces.h"

class CMpegSplitterFilter;
class CMyVideoConveFilter;
class CMyAudioConveFilter;


class ConversionEngine {
public:
    using MessageFn = std::function<void(const std::string&)>;

    explicit ConversionEngine(MessageFn message = {});
    ~ConversionEngine();
    ConversionEngine(const ConversionEngine&) = delete;
    ConversionEngine& operator=(const ConversionEngine&) = delete;

    struct BuildOptions {
        // The graph's events also reach this callback (the desktop program's window).
        GraphNotifyCallback notify = nullptr;
        // Subpictures into the video decoder (burned in); false leaves them out.
        bool subpictures = true;
        // The streams to convert, by identifier (BD80, C000, BD20). Audio 0 is the title's first
        // listed track; subtitle 0 keeps the splitter's choice. They are chosen before the graph
        // pauses: a paused graph already carries the first track's sound downstream, and a later
        // switch would leave its opening in the file.
        std::uint16_t audioStreamId = 0;
        std::uint16_t subtitleId = 0;
        // More sound tracks for the file's further sound streams, in order (each decoded and
        // converted like the first, or copied where the file copies that stream); a track the
        // title lacks, or the first again, is passed over.
        std::vector<std::uint16_t> moreAudio;
        // The subpicture streams kept as the file's subtitle streams, in order (a stream may be
        // burned in as well).
        std::vector<std::uint16_t> subtitleTracks;
        // How pictures are deinterlaced: kDeinterlaceAuto, kDeinterlaceOn or kDeinterlaceOff.
        std::int32_t deinterlace = 0;
        // A renderer for "Video Pre", connected before the graph pauses (the desktop program's
        // preview); none converts without.
        IBaseFilter* preview = nullptr;
    };
    // Builds, connects and pauses the graph of a task; false (with a message) on failure.
    // The engine holds the disc while the graph reads it.
    bool Build(std::shared_ptr<SourceDisc> disc, int titleIndex, int chapterIndex, const ClipSettings& clip,
               const BuildOptions& options);
    bool Build(std::shared_ptr<SourceDisc> disc, int titleIndex, int chapterIndex, const ClipSettings& clip)
    {
        return Build(std::move(disc), titleIndex, chapterIndex, clip, BuildOptions{});
    }
    // Opens the output file; its pictures are shown at `displayAspect` (unknown: square pixels),
    // and the graphs built for it frame their pictures so.
    // `descriptor`, when given, is where the bytes go (the container still follows `path`'s
    // name); it stays open until CloseOutput has returned. `marks`: the file's chapters and
    // stream labels.
    bool OpenOutput(const std::string& path, const WriterSettings& settings, AspectRatio displayAspect = {},
                    int descriptor = -1, FileMarks marks = {});
    bool CloseOutput();
    // A renderer for the pictures of "Video Pre"; false when there is none (a conversion runs
    // without).
    bool ConnectPreview(IBaseFilter* renderer);
    void ShowPreview(bool on);
    bool GetStreams(std::vector<EngineStream>& streams);
    bool EnableStream(int index, bool on);

    HRESULT Run();
    HRESULT Pause();
    HRESULT Stop();
    // The next graph event without waiting longer than `ms`; false when none came.
    bool NextEvent(LONG& code, LONG_PTR& param1, LONG_PTR& param2, LONG ms);
    // Position and duration of the current task, 100 ns (position 0 and duration 1 when unknown).
    void Progress(REFERENCE_TIME& position, REFERENCE_TIME& duration);
    void Teardown();

    // "Title 1 is encrypted; libdvdcss is needed to read it" for a DVD, or that only unencrypted
    // Blu-ray folders and files are read.
    static std::string EncryptedText(int titleIndex, DiscKind kind);
    // After a failed Build: true when the title's data showed no stream at all (zeros, a cut
    // file), so that the title cannot be used.
    bool NothingReadable() const { return m_nothingReadable; }
    // The further sound tracks of the last Build that the title's data does not hold: their
    // streams in the file stay without sound.
    const std::vector<std::uint16_t>& SoundNotFound() const { return m_soundNotFound; }
    // The same for the chosen subtitle streams: their streams in the file stay empty.
    const std::vector<std::uint16_t>& SubtitlesNotFound() const { return m_subtitlesNotFound; }
    // How much earlier than asked the current task begins in its file (100 ns): a copy begins at
    // the key picture before its range's start. After completion.
    REFERENCE_TIME StartShift() const;
    // "Title 1 holds nothing that can be read".
    static std::string NothingReadableText(int titleIndex);

    OutputWriter& Writer() { return m_writer; }
    // The settings of the output opened last (with the rate and frame the run worked out).
    const WriterSettings& Profile() const { return m_profile; }
    CConvFilter* Sink() { return m_sink.Get(); }
    // The current task's graph (tests and diagnostics), or null.
    IGraphBuilder* Graph() { return m_graph.Get(); }
    LONGLONG TitleLength() const { return m_titleLength; }
    // What the current task's graph could not read, from its range's start (100 ns), merged and
    // in order: stretches without pictures or sound, and around packets passed over as
    // scrambled. After completion.
    std::vector<LostStretch> Lost();

private:
    void ChooseStreams(std::uint16_t subtitleId, std::uint16_t audioStreamId);
    // Connects "Video Pre" to the renderer; the graph is stopped.
    bool AttachPreview(IBaseFilter* renderer);
    void Message(const char* text);
    bool CreateFilters(int titleIndex, int chapterIndex);
    // Points the reader at the title (or chapter) and learns its cells and length.
    bool OpenArea(int titleIndex, int chapterIndex);
    // The trimmed range and the picture and sound settings, onto the filters.
    void ApplyClip(int titleIndex);
    bool ConnectFilters(bool subpictures);
    // The further sound tracks' branches, from pins of their own on the splitter to the sink's
    // further inputs; false (with a message) when one cannot be connected.
    bool ConnectMoreSound(const std::vector<std::uint16_t>& tracks, std::uint16_t first);
    // The subtitle streams' pins, from pins of their own on the splitter to the sink's subtitle
    // inputs, with each stream's format told to the writer.
    bool ConnectSubtitleTracks(const std::vector<std::uint16_t>& tracks);
    // Copied streams that no pin feeds (a title without sound, a track not in the data) are
    // described from the title's record, so that the header need not wait for them.
    void DescribeUnfedCopies();
    // What a subtitle stream of the file is: DVD subpictures with the title's palette and picture
    // size, or Blu-ray graphics.
    CopiedFormat SubtitleFormat(const EngineStream& stream) const;

    MessageFn m_message;
    OutputWriter m_writer;
    WriterSettings m_profile{};
    AspectRatio m_outputAspect; // the open file's
    ClipSettings m_clip{};
    ComPtr<IGraphBuilder> m_graph;
    ComPtr<IMediaControl> m_control;
    ComPtr<IMediaEventEx> m_events;
    ComPtr<IMediaSeeking> m_seeking;
    ComPtr<CConvFilter> m_sink;
    ComPtr<IBaseFilter> m_source;
    ComPtr<CMpegSplitterFilter> m_splitter;
    ComPtr<IBaseFilter> m_videoDecoder;
    ComPtr<IBaseFilter> m_audioDecoder;
    ComPtr<CMyVideoConveFilter> m_videoConver;
    ComPtr<CMyAudioConveFilter> m_audioConver;
    // The branches of the further sound tracks: decoder and conversion each.
    struct SoundBranch {
        ComPtr<IBaseFilter> decoder;
        ComPtr<CMyAudioConveFilter> conver;
    };
    std::vector<SoundBranch> m_moreSound;
    ComPtr<IBaseFilter> m_preview;
    LONGLONG m_titleLength = 0;
    int m_titleIndex = 0;
    std::shared_ptr<SourceDisc> m_disc; // the current task's
    std::int32_t m_firstAudioStreamId = 0; // the title's first listed track, 0 when it has none
    std::vector<std::uint16_t> m_soundNotFound;
    std::vector<std::uint16_t> m_soundTracks; // the last Build's, by the file's sound stream
    std::vector<std::uint16_t> m_subtitlesNotFound;
    bool m_nothingReadable = false;
};

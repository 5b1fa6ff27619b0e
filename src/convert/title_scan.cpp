#include "convert/title_scan.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <stop_token>

#include "com/debug_log.h"
#include "convert/graph_parts.h"
#include "decode/media_codec.h"
#include "decode/video_decoder_filter.h"
#include "demux/mpeg_splitter_filter.h"
#include "dvd/dvd_reader.h"
#include "ffmpeg/ffmpeg_handles.h"
#include "graph/class_factory.h"
#include "pipeline/base_filter.h"
#include "pipeline/base_input_pin.h"
#include "pipeline/event_codes.h"
#include "pipeline/format_blocks.h"
#include "pipeline/media_guids.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/dict.h>
}

namespace {

constexpr int kStretches = 10;           // places sampled over a title
constexpr int kPicturesPerStretch = 15;  // three telecine cycles
constexpr int kBlackMean = 24;           // a row or column at black level: its mean at most this,
constexpr int kBlackPeak = 48;           // and no sample above this
constexpr int kSmallestKept = 32;        // pixels the bars leave at least, each way

// ---- PictureGrabber: the end of a scan's graph ----

class PictureGrabber;

class PictureGrabberPin : public CBaseInputPin {
public:
    PictureGrabberPin(PictureGrabber* grabber, CCritSec* lock, HRESULT* phr);
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;

private:
    PictureGrabber* const m_grabber;
};

// Takes decoded YV12 pictures and hands each to a function, on the streaming thread, until the
// function says it has enough or the stream ends.
class PictureGrabber : public CBaseFilter {
public:
    // A picture: planes Y, Cb, Cr at their strides, its size, and the stream's marks for it.
    struct Picture {
        const std::uint8_t* planes[3];
        int strides[3];
        int width, height;
        bool progressive, repeatFirstField;
    };
    // Returns whether more pictures are wanted.
    using Take = std::function<bool(const Picture&)>;

    explicit PictureGrabber(Take take)
        : CBaseFilter("Picture Grabber", nullptr, &m_lock, GUID_NULL), m_take(std::move(take))
    {
        HRESULT hr = S_OK;
        m_pin = std::make_unique<PictureGrabberPin>(this, &m_lock, &hr);
    }
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override { return index == 0 ? m_pin.get() : nullptr; }

    // Waits until the function had enough or the stream ended (true), or until Wake or the
    // deadline (false). Any thread but the streaming one.
    bool WaitDone(std::chrono::steady_clock::time_point deadline)
    {
        std::unique_lock lock(m_doneLock);
        m_doneChanged.wait_until(lock, deadline, [this] { return m_done || m_woken; });
        m_woken = false;
        return m_done;
    }
    // Ends a WaitDone early (the graph has an event to look at). Any thread.
    void Wake()
    {
        {
            std::lock_guard lock(m_doneLock);
            m_woken = true;
        }
        m_doneChanged.notify_all();
    }

private:
    friend class PictureGrabberPin;

    HRESULT Receive(IMediaSample* sample)
    {
        if (Done()) return S_FALSE;
        const CMediaType& type = m_pin->CurrentMediaType();
        const BITMAPINFOHEADER* header = VideoBitmapHeaderOf(type);
        BYTE* data = nullptr;
        if (!header || FAILED(sample->GetPointer(&data)) || !data) return S_OK;
        const int stride = header->biWidth, height = std::abs(header->biHeight);
        int width = stride;
        if (type.formattype == FORMAT_VideoInfo2 && type.cbFormat >= sizeof(VIDEOINFOHEADER2)) {
            const RECT& source = reinterpret_cast<const VIDEOINFOHEADER2*>(type.pbFormat)->rcSource;
            if (source.right > source.left && source.right <= stride) width = source.right - source.left;
        }
        if (sample->GetActualDataLength() < static_cast<long>(stride) * height * 3 / 2 || height < 2) return S_OK;
        // YV12: Y, then Cr, then Cb.
        const std::ptrdiff_t luma = static_cast<std::ptrdiff_t>(stride) * height;
        const DWORD marks = m_pin->SampleProps()->dwTypeSpecificFlags;
        const Picture picture{{data, data + luma + (stride / 2) * (height / 2), data + luma},
                              {stride, stride / 2, stride / 2},
                              width & ~1,
                              height & ~1,
                              (marks & AM_VIDEO_FLAG_WEAVE) != 0,
                              (marks & AM_VIDEO_FLAG_REPEAT_FIELD) != 0};
        if (!m_take(picture)) {
            SetDone();
            return S_FALSE;
        }
        return S_OK;
    }
    bool Done()
    {
        std::lock_guard lock(m_doneLock);
        return m_done;
    }
    void SetDone()
    {
        {
            std::lock_guard lock(m_doneLock);
            m_done = true;
        }
        m_doneChanged.notify_all();
    }

    CCritSec m_lock;
    std::unique_ptr<PictureGrabberPin> m_pin;
    Take m_take;
    std::mutex m_doneLock;
    std::condition_variable m_doneChanged;
    bool m_done = false;  // guarded by m_doneLock
    bool m_woken = false; // guarded by m_doneLock
};

PictureGrabberPin::PictureGrabberPin(PictureGrabber* grabber, CCritSec* lock, HRESULT* phr)
    : CBaseInputPin("Picture Grabber pin", grabber, lock, phr, "In"), m_grabber(grabber)
{
}

HRESULT PictureGrabberPin::CheckMediaType(const CMediaType* type)
{
    if (!type) return E_POINTER;
    return type->majortype == MEDIATYPE_Video && type->subtype == MEDIASUBTYPE_YV12 && VideoBitmapHeaderOf(*type)
               ? S_OK
               : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT PictureGrabberPin::Receive(IMediaSample* sample)
{
    const HRESULT hr = CBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    return m_grabber->Receive(sample);
}

HRESULT PictureGrabberPin::EndOfStream()
{
    m_grabber->SetDone();
    return S_OK;
}

bool BlackLine(const std::uint8_t* first, std::ptrdiff_t step, int count)
{
    int sum = 0;
    for (int i = 0; i < count; ++i) {
        const int v = first[i * step];
        if (v > kBlackPeak) return false;
        sum += v;
    }
    return sum <= kBlackMean * count;
}

} // namespace

const char* FieldsName(PictureFields fields)
{
    switch (fields) {
    case PictureFields::kProgressive: return "progressive";
    case PictureFields::kInterlaced: return "interlaced";
    case PictureFields::kTelecined: return "telecined";
    case PictureFields::kUnknown: break;
    }
    return "unknown";
}

std::optional<BlackBars> FindBlackBars(const std::uint8_t* luma, int stride, int width, int height)
{
    BlackBars bars;
    if (!luma || width <= 0 || height <= 0) return std::nullopt;
    const auto row = [&](int y) { return BlackLine(luma + static_cast<std::ptrdiff_t>(y) * stride, 1, width); };
    while (bars.top < height && row(bars.top)) ++bars.top;
    if (bars.top == height) return std::nullopt; // black all over
    while (row(height - 1 - bars.bottom)) ++bars.bottom;
    // Columns over the rows between the bars only.
    const int rows = height - bars.top - bars.bottom;
    const std::uint8_t* first = luma + static_cast<std::ptrdiff_t>(bars.top) * stride;
    const auto column = [&](int x) { return BlackLine(first + x, stride, rows); };
    while (bars.left < width && column(bars.left)) ++bars.left;
    while (bars.right < width - bars.left && column(width - 1 - bars.right)) ++bars.right;
    return bars;
}

// ---- Field detection: libavfilter's idet over each stretch ----

class PictureSurvey::FieldDetector {
public:
    FieldDetector(int width, int height) : m_width(width), m_height(height), m_frame(ffmpeg::MakeFrame()), m_out(ffmpeg::MakeFrame()) {}

    // Starts again (the next stretch is not the continuation of the last).
    void Restart() { m_graph.reset(); }

    // One picture; the detector's verdicts for the picture it lets out, if any.
    void Push(const std::uint8_t* const planes[3], const int strides[3], int& combed, int& clean, int& repeated, int& seen)
    {
        if (!m_graph && !Build()) return;
        AVFrame* frame = m_frame.get();
        frame->width = m_width;
        frame->height = m_height;
        frame->format = AV_PIX_FMT_YUV420P;
        frame->pts = m_next++;
        if (av_frame_get_buffer(frame, 0) < 0) return;
        for (int p = 0; p < 3; ++p) {
            const int rows = p == 0 ? m_height : m_height / 2, bytes = p == 0 ? m_width : m_width / 2;
            for (int y = 0; y < rows; ++y)
                std::memcpy(frame->data[p] + static_cast<std::ptrdiff_t>(y) * frame->linesize[p],
                            planes[p] + static_cast<std::ptrdiff_t>(y) * strides[p], static_cast<std::size_t>(bytes));
        }
        if (av_buffersrc_add_frame(m_source, frame) < 0) {
            av_frame_unref(frame);
            return;
        }
        while (av_buffersink_get_frame(m_sink, m_out.get()) >= 0) {
            const AVDictionaryEntry* single = av_dict_get(m_out->metadata, "lavfi.idet.single.current_frame", nullptr, 0);
            const AVDictionaryEntry* repeat = av_dict_get(m_out->metadata, "lavfi.idet.repeated.current_frame", nullptr, 0);
            if (single) {
                if (!std::strcmp(single->value, "tff") || !std::strcmp(single->value, "bff")) ++combed;
                else if (!std::strcmp(single->value, "progressive")) ++clean;
            }
            if (repeat && std::strcmp(repeat->value, "neither") != 0) ++repeated;
            ++seen;
            av_frame_unref(m_out.get());
        }
    }

private:
    bool Build()
    {
        const AVFilter* idet = avfilter_get_by_name("idet");
        const AVFilter* buffer = avfilter_get_by_name("buffer");
        const AVFilter* sink = avfilter_get_by_name("buffersink");
        if (!idet || !buffer || !sink || !m_frame || !m_out) return false;
        m_graph.reset(avfilter_graph_alloc());
        if (!m_graph) return false;
        char args[128];
        std::snprintf(args, sizeof args, "video_size=%dx%d:pix_fmt=%d:time_base=1/25:pixel_aspect=1/1", m_width, m_height,
                      static_cast<int>(AV_PIX_FMT_YUV420P));
        AVFilterContext* detector = nullptr;
        int result = avfilter_graph_create_filter(&m_source, buffer, "in", args, nullptr, m_graph.get());
        if (result >= 0) result = avfilter_graph_create_filter(&detector, idet, "idet", nullptr, nullptr, m_graph.get());
        if (result >= 0) result = avfilter_graph_create_filter(&m_sink, sink, "out", nullptr, nullptr, m_graph.get());
        if (result >= 0) result = avfilter_link(m_source, 0, detector, 0);
        if (result >= 0) result = avfilter_link(detector, 0, m_sink, 0);
        if (result >= 0) result = avfilter_graph_config(m_graph.get(), nullptr);
        if (result < 0) {
            DebugLog("title scan: cannot set up idet\n");
            m_graph.reset();
            return false;
        }
        m_next = 0;
        return true;
    }

    int m_width, m_height;
    ffmpeg::FilterGraphPtr m_graph;
    AVFilterContext* m_source = nullptr;
    AVFilterContext* m_sink = nullptr;
    ffmpeg::FramePtr m_frame;
    ffmpeg::FramePtr m_out;
    std::int64_t m_next = 0;
};

PictureSurvey::PictureSurvey(int width, int height)
    : m_width(width), m_height(height), m_detector(std::make_unique<FieldDetector>(width, height))
{
}

PictureSurvey::~PictureSurvey() = default;

void PictureSurvey::BeginStretch() { m_detector->Restart(); }

void PictureSurvey::Add(const std::uint8_t* const planes[3], const int strides[3], bool progressiveMark, bool repeatFirstField)
{
    ++m_pictures;
    if (progressiveMark) ++m_progressiveMarks;
    if (repeatFirstField) ++m_repeatMarks;
    // A picture black all over (a fade) tells nothing of the bars.
    if (const std::optional<BlackBars> bars = FindBlackBars(planes[0], strides[0], m_width, m_height)) {
        m_bars = !m_barsSeen ? *bars
                             : BlackBars{std::min(m_bars.left, bars->left), std::min(m_bars.top, bars->top),
                                         std::min(m_bars.right, bars->right), std::min(m_bars.bottom, bars->bottom)};
        m_barsSeen = true;
    }
    m_detector->Push(planes, strides, m_combed, m_clean, m_repeatedFields, m_fieldPictures);
}

TitleScanResult PictureSurvey::Result() const
{
    TitleScanResult result;
    result.pictures = m_pictures;
    result.width = m_width;
    result.height = m_height;
    if (m_pictures == 0) return result;
    if (m_barsSeen) {
        // Even sizes, rounded down (a bar's last row may be a blend of black and picture: it
        // stays), and never more than leaves 32 pixels of picture.
        BlackBars b{m_bars.left & ~1, m_bars.top & ~1, m_bars.right & ~1, m_bars.bottom & ~1};
        while (b.left + b.right > m_width - kSmallestKept) (b.left > b.right ? b.left : b.right) -= 2;
        while (b.top + b.bottom > m_height - kSmallestKept) (b.top > b.bottom ? b.top : b.bottom) -= 2;
        result.bars = {std::max(b.left, 0), std::max(b.top, 0), std::max(b.right, 0), std::max(b.bottom, 0)};
    }
    char reason[200];
    const double repeats = static_cast<double>(m_repeatMarks) / m_pictures;
    const double marked = static_cast<double>(m_progressiveMarks) / m_pictures;
    const int decided = m_combed + m_clean;
    const double combed = decided ? static_cast<double>(m_combed) / decided : 0;
    const double repeatedFields = m_fieldPictures ? static_cast<double>(m_repeatedFields) / m_fieldPictures : 0;
    if (repeats >= 0.2 && marked >= 0.8) {
        // Film pictures the stream spreads over two and three fields (two of every four flagged).
        result.fields = PictureFields::kTelecined;
        result.softTelecine = true;
        std::snprintf(reason, sizeof reason, "%d of %d pictures are progressive frames with repeat-first-field set", m_repeatMarks,
                      m_pictures);
    } else if (decided == 0 || combed < 0.1) {
        result.fields = PictureFields::kProgressive;
        std::snprintf(reason, sizeof reason, "%d of %d pictures look combed", m_combed, decided);
    } else if (repeatedFields >= 0.2 && repeatedFields <= 0.6) {
        // 3:2 pulldown in the fields: one field in five is a repeat of the one two fields before.
        result.fields = PictureFields::kTelecined;
        std::snprintf(reason, sizeof reason, "%d of %d pictures repeat a field, %d of %d look combed", m_repeatedFields,
                      m_fieldPictures, m_combed, decided);
    } else {
        result.fields = PictureFields::kInterlaced;
        std::snprintf(reason, sizeof reason, "%d of %d pictures look combed, %d of %d repeat a field", m_combed, decided,
                      m_repeatedFields, m_fieldPictures);
    }
    result.reason = reason;
    return result;
}

// ---- The scan ----

namespace {

// Decodes the pictures of one stretch of a title into `take`; false when its graph could not be
// made or run.
bool ScanStretch(const std::shared_ptr<SourceDisc>& disc, int titleIndex, LONGLONG startMs, LONGLONG lengthMs,
                 const PictureGrabber::Take& take, const std::stop_token& stop)
{
    ComPtr<IGraphBuilder> graph;
    if (CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IGraphBuilder::iid, graph.PutVoid()) != S_OK)
        return false;
    ComPtr<IMediaControl> control;
    if (FAILED(graph.As(control))) return false;
    ComPtr<IMediaFilter> timing;
    if (SUCCEEDED(graph.As(timing))) timing->SetSyncSource(nullptr); // as fast as it decodes
    const auto message = [](const char* text) { DebugLog("title scan: %s\n", text); };
    ComPtr<IBaseFilter> reader;
    ComPtr<CMpegSplitterFilter> splitter;
    if (!AddDiscFront(graph.Get(), reader, splitter, message)) return false;
    ComPtr<IMyDVDReader> area;
    if (FAILED(QueryInterfaceTo(reader.Get(), area)) || FAILED(area->SetDvdReader(disc->Handle())) ||
        FAILED(area->SetArea(titleIndex, -1)))
        return false;
    LONGLONG titleLength = 0;
    area->GetDuration(&titleLength);
    splitter->SetTitleInfo(&disc->Info().titles[titleIndex]);
    SetCellTimes(splitter.Get(), disc->Kind(), disc->CellMarks(titleIndex, -1));
    if (titleLength > 0) splitter->SetPlayRange(startMs, lengthMs, titleLength);
    ComPtr<IBaseFilter> decoder;
    if (!AddRegisteredFilter(graph.Get(), CLSID_MpegVideoDecoder, decoder, "VideoDecoder", "no video decoder", message))
        return false;
    ComPtr<PictureGrabber> grabber = CreateComObject<PictureGrabber>(take);
    if (!grabber) return false;
    graph->AddFilter(grabber.Get(), "Grabber");
    const LinkResult linked = ConnectLinks(graph.Get(),
                                           {{reader.Get(), 0, splitter.Get(), 0, "no reader output", "no splitter input"},
                                            {splitter.Get(), 0, decoder.Get(), 0, "no video", "no decoder input", "no video"},
                                            {decoder.Get(), 0, grabber.Get(), 0, "no decoder output", "no grabber input", "no pictures"}},
                                           message);
    // The graph's events wake the wait: a stretch whose decoding or reading gives up ends at once.
    ComPtr<IMediaEventEx> events;
    if (SUCCEEDED(graph.As(events))) events->SetNotifyCallback([raw = grabber.Get()] { raw->Wake(); });
    // So does a cancel.
    const std::stop_callback cancelled(stop, [raw = grabber.Get()] { raw->Wake(); });
    bool done = false;
    if (linked.Ok() && !stop.stop_requested() && SUCCEEDED(control->Run())) {
        // Decoding a stretch takes a fraction of a second. The time limit is for a drive that stops
        // answering: its reads wait on the device, where nothing would wake this wait.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!(done = grabber->WaitDone(deadline)) && !stop.stop_requested() && std::chrono::steady_clock::now() < deadline) {
            LONG code = 0;
            LONG_PTR param1 = 0, param2 = 0;
            bool aborted = false;
            while (events && events->GetEvent(&code, &param1, &param2, 0) == S_OK) {
                events->FreeEventParams(code, param1, param2);
                aborted = aborted || code == EC_ERRORABORT || code == EC_USERABORT;
            }
            if (aborted) {
                DebugLog("title scan: the stretch at %lld ms gave up\n", static_cast<long long>(startMs));
                break;
            }
        }
    }
    if (events) events->SetNotifyCallback(nullptr);
    control->Stop();
    return done;
}

} // namespace

TitleScanResult ScanTitle(const std::shared_ptr<SourceDisc>& disc, int titleIndex, std::stop_token stop)
{
    if (!disc || titleIndex < 0 || titleIndex >= disc->Info().titleCount || !disc->TitleReadable(titleIndex)) return {};
    const TitleInfo& title = disc->Info().titles[titleIndex];
    const auto length = static_cast<LONGLONG>(title.durationMs);
    std::unique_ptr<PictureSurvey> survey;
    int taken = 0;
    bool stretchBegun = false;
    const PictureGrabber::Take take = [&](const PictureGrabber::Picture& picture) {
        // The survey takes the size of the first picture; pictures of another size are passed over.
        if (!survey) survey = std::make_unique<PictureSurvey>(picture.width, picture.height);
        if (picture.width != survey->Width() || picture.height != survey->Height()) return ++taken < kPicturesPerStretch;
        if (!stretchBegun) survey->BeginStretch();
        stretchBegun = true;
        survey->Add(picture.planes, picture.strides, picture.progressive, picture.repeatFirstField);
        return ++taken < kPicturesPerStretch;
    };
    // The stretches begin at 5 %, 14 %, …, 86 % of the title (none ends past 95 %).
    for (int i = 0; i < kStretches && !stop.stop_requested(); ++i) {
        const LONGLONG start = length > 0 ? length * 5 / 100 + length * 90 / 100 * i / kStretches : 0;
        taken = 0;
        stretchBegun = false;
        // A stretch needs half a second of pictures; five seconds leave room for a group of
        // pictures to begin, and bound what a damaged stretch costs.
        if (!ScanStretch(disc, titleIndex, start, std::clamp<LONGLONG>(length - start, 1, 5000), take, stop))
            DebugLog("title scan: Title_%02d at %lld ms gave no pictures\n", titleIndex + 1, static_cast<long long>(start));
        if (length <= 0) break;
    }
    // A cancelled scan tells nothing: what it saw may be a corner of the title.
    if (stop.stop_requested()) {
        DebugLog("title scan: Title_%02d cancelled\n", titleIndex + 1);
        return {};
    }
    TitleScanResult result = survey ? survey->Result() : TitleScanResult{};
    DebugLog("title scan: Title_%02d: %d pictures, black bars %d/%d/%d/%d, %s (%s)\n", titleIndex + 1, result.pictures,
             result.bars.left, result.bars.top, result.bars.right, result.bars.bottom, FieldsName(result.fields),
             result.reason.c_str());
    return result;
}

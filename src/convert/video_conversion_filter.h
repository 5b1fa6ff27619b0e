#pragma once
// CMyVideoConveFilter: between the video decoder and the encoding sink (or the editor's
// renderer). It crops the decoded YV12 picture, fits it into the profile's frame with black bars
// by an aspect mode, scales it with libswscale (bicubic), applies luma gain, hue rotation and
// chroma gain, and blends an optional text overlay.

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "convert/deinterlacer.h"
#include "convert/framing.h"
#include "convert/text_renderer.h"
#include "pipeline/transform_filter.h"
#include "ffmpeg/ffmpeg_errors.h"
#include "ffmpeg/ffmpeg_handles.h"

inline constexpr CLSID CLSID_MyVideoConveFilter = MakeGuid("{4BB8A01A-CC73-4F1B-AB7B-18E7209C3E9D}");

// The editor's overlay: a text drawn into every picture, or a picture already drawn.
struct OverlaySettings {
    std::int32_t kind = 0;          // 0: draw `text` anew; otherwise keep the picture, take position and opacity
    char16_t text[64] = {};         // zero-terminated
    OverlayFont font;
    std::uint32_t textColour = 0;   // 0x00BBGGRR
    char16_t secondText[260] = {};  // kept by the editor, not used here
    std::int32_t x = 0;
    std::int32_t y = 0;
    float opacity = 0.5f;           // 0..1
};

// How pictures are deinterlaced.
inline constexpr std::int32_t kDeinterlaceAuto = 0; // the pictures marked as interlaced
inline constexpr std::int32_t kDeinterlaceOn = 1;   // every picture
inline constexpr std::int32_t kDeinterlaceOff = 2;  // none
// Film telecined in the fields (3:2 pulldown woven into interlaced frames): the film's pictures
// are put together again from their fields, and the repeated ones dropped (23.976 a second).
inline constexpr std::int32_t kDeinterlaceInverseTelecine = 3;
// Film telecined by the stream's flags (progressive pictures shown over two and three fields):
// each coded picture is taken once, at 24000/1001 a second, and the flags are ignored.
inline constexpr std::int32_t kDeinterlaceFilmFrames = 4;
// A film picture's length, 100 ns: 1001/24000 s is 417083⅓.
inline constexpr REFERENCE_TIME FilmPictureStart(std::int64_t n) { return n * 10010000000LL / 24000; }

struct IMyVideoConvFilter : IUnknown {
    static constexpr GUID iid = MakeGuid("{A264C372-A83D-42E1-9D93-D6F10B3D95CD}");
    // Aspect mode (0 keep the crop's ratio, 1 full screen, 2 16:9, 3 4:3), crop and output
    // rectangles (left, top, right, bottom). They take effect at the next output connection;
    // while the output is connected, the mode and the crop take effect at the next picture and
    // the output rectangle stays.
    virtual HRESULT SetRects(std::int32_t zoomMode, std::int32_t cropLeft, std::int32_t cropTop, std::int32_t cropRight,
                             std::int32_t cropBottom, std::int32_t outLeft, std::int32_t outTop, std::int32_t outRight,
                             std::int32_t outBottom) = 0;
    virtual HRESULT SetSaturation(std::int32_t saturation) = 0; // 0..128, 64 neutral
    virtual HRESULT SetHue(std::int32_t hue) = 0;               // −180..180 degrees
    virtual HRESULT SetBrightness(std::int32_t brightness) = 0; // 0..256, 128 neutral
    // E_FAIL when no overlay picture exists afterwards.
    virtual HRESULT SetOverlay(const OverlaySettings* overlay) = 0;
    // The shapes the source and the output are shown at (x:y; 0:0 unknown). An unknown source
    // takes the input type's picture aspect, an unknown output square pixels. They take effect at
    // the next output connection.
    virtual HRESULT SetDisplayAspects(std::int32_t sourceX, std::int32_t sourceY, std::int32_t outputX,
                                      std::int32_t outputY) = 0;
    // kDeinterlaceAuto: the pictures the decoder marks as interlaced are deinterlaced (before the
    // crop and the scaling), others pass untouched; kDeinterlaceOn: every picture;
    // kDeinterlaceOff: none; kDeinterlaceInverseTelecine and kDeinterlaceFilmFrames: film
    // pictures again at 23.976 a second. E_INVALIDARG for another value. Before streaming.
    virtual HRESULT SetDeinterlace(std::int32_t mode) = 0;
};

class CMyVideoConveFilter : public CTransformFilter, public IMyVideoConvFilter {
public:
    explicit CMyVideoConveFilter(IUnknown* outer);
    ~CMyVideoConveFilter() override;
    // A new filter with one reference for the caller.
    static HRESULT Create(CMyVideoConveFilter** filter);

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT Transform(IMediaSample* in, IMediaSample* out) override;
    HRESULT CheckInputType(const CMediaType* input) override;
    HRESULT CheckTransform(const CMediaType* input, const CMediaType* output) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT GetMediaType(int position, CMediaType* type) override;

    // IMyVideoConvFilter
    HRESULT SetRects(std::int32_t zoomMode, std::int32_t cropLeft, std::int32_t cropTop, std::int32_t cropRight,
                     std::int32_t cropBottom, std::int32_t outLeft, std::int32_t outTop, std::int32_t outRight,
                     std::int32_t outBottom) override;
    HRESULT SetSaturation(std::int32_t saturation) override;
    HRESULT SetHue(std::int32_t hue) override;
    HRESULT SetBrightness(std::int32_t brightness) override;
    HRESULT SetOverlay(const OverlaySettings* overlay) override;
    HRESULT SetDisplayAspects(std::int32_t sourceX, std::int32_t sourceY, std::int32_t outputX,
                              std::int32_t outputY) override;
    HRESULT SetDeinterlace(std::int32_t mode) override;

    // Streaming: deinterlaced pictures come out one picture late, with their own times; the end
    // of the stream lets the last one out.
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT EndFlush() override;
    HRESULT StartStreaming() override;
    // The deinterlacing filter in use once a picture was deinterlaced (tests), or null.
    const char* DeinterlacerName() const { return m_deinterlacer.IsOpen() ? m_deinterlacer.FilterName() : nullptr; }

    // The geometry worked out at the last output connection (tests, the editor).
    struct Geometry {
        bool crop = false, pad = false, scale = false;
        int cropLeft = 0, cropTop = 0, cropRight = 0, cropBottom = 0;
        int cropWidth = 0, cropHeight = 0; // what is kept of the source
        int padLeft = 0, padTop = 0, padRight = 0, padBottom = 0;
        int outputWidth = 0, outputHeight = 0, stride = 0;
    };
    const Geometry& CurrentGeometry() const { return m_geometry; }
    std::int32_t Saturation() const { return m_saturation; }
    std::int32_t Hue() const { return m_hue; }
    std::int32_t Brightness() const { return m_brightness; }
    // The rendered overlay's size (0 × 0 when none).
    int OverlayWidth() const { return m_overlayWidth; }
    int OverlayHeight() const { return m_overlayHeight; }

    // The effects and the overlay on one 4:2:0 picture laid out as YV12 (Y, Cr, Cb), in place.
    void ApplyEffects(std::uint8_t* picture, int width, int height);

    // sin and cos × 128 of −180..180 degrees, truncated.
    static const std::int16_t* SineTable();
    static const std::int16_t* CosineTable();

private:
    struct Rect {
        std::int32_t left = 0, top = 0, right = 0, bottom = 0;
        // Saturated at the int range (the rectangles come from users and profiles).
        int Width() const { return Span(left, right); }
        int Height() const { return Span(top, bottom); }
        static int Span(std::int32_t from, std::int32_t to)
        {
            const std::int64_t span = std::int64_t{to} - from;
            return static_cast<int>(std::clamp<std::int64_t>(span, INT32_MIN, INT32_MAX));
        }
    };
    void BlendOverlay(std::uint8_t* picture, int width, int height);
    // Works out the crop, bars and scaling for an output of `stride` (filter lock held).
    HRESULT MakeGeometry(int stride);
    // Crops, frames, scales and adjusts a source-sized YV12 picture into `out`.
    HRESULT ConvertPicture(const BYTE* source, IMediaSample* out);
    // Delivers every picture the deinterlacer has ready (receive lock held).
    HRESULT DeliverDeinterlaced();
    // Converts a source-sized picture and delivers it with these times and marks.
    HRESULT DeliverConverted(const BYTE* picture, const REFERENCE_TIME* start, const REFERENCE_TIME* stop, bool syncPoint,
                             bool discontinuity);
    // The film modes' pictures (receive lock held).
    HRESULT ReceiveFilmFrame(IMediaSample* sample, const AM_SAMPLE2_PROPERTIES& props);
    HRESULT ReceiveTelecined(IMediaSample* sample, const AM_SAMPLE2_PROPERTIES& props);
    HRESULT DeliverTelecined();
    // Forgets the pictures held for deinterlacing and the film's time line.
    void ResetStreaming();
    bool IsInterlaced(DWORD typeFlags) const;
    // The source's display aspect: the one set, else the input type's, else unknown.
    AspectRatio SourceAspect() const;

    // Settings (application thread, before streaming).
    std::int32_t m_zoomMode = 1;
    Rect m_cropRect;
    Rect m_outputRect;
    std::atomic<std::int32_t> m_brightness{128};
    std::atomic<std::int32_t> m_hue{0};
    std::atomic<std::int32_t> m_saturation{64};
    AspectRatio m_sourceAspect; // as set (filter lock, before connection)
    AspectRatio m_outputAspect;
    std::int32_t m_deinterlaceMode = kDeinterlaceAuto;
    // (Cb, Cr) → (Cb', Cr') for the hue and chroma gain it was made for (receive lock).
    std::vector<std::uint16_t> m_chromaTable;
    std::int32_t m_chromaHue = 0;
    std::int32_t m_chromaSaturation = 64;
    OverlaySettings m_overlay;
    std::vector<std::uint8_t> m_overlayPicture; // YV12 layout, overlay width × height
    int m_overlayWidth = 0;
    int m_overlayHeight = 0;

    // Input and geometry (connection).
    int m_sourceWidth = 0;
    int m_sourceHeight = 0;
    AspectRatio m_inputAspect; // the input type's picture aspect, when it has one
    bool m_inputInterlaced = false; // the input type says its pictures carry interlace marks

    // Deinterlacing (receive lock; reset while stopped or after a flush).
    struct HeldPicture {
        REFERENCE_TIME start = 0, stop = 0;
        DWORD flags = 0; // sample flags
    };
    Deinterlacer m_deinterlacer;
    bool m_deinterlacing = false;             // pictures go through the deinterlacer
    std::array<HeldPicture, 8> m_held;        // by picture number, modulo
    std::int64_t m_pushed = 0, m_pulled = 0;  // picture numbers
    std::vector<std::uint8_t> m_deinterlaced; // the picture last pulled
    // Film pictures: where the current run of them began (100 ns) and how many came since.
    bool m_filmAnchored = false;
    REFERENCE_TIME m_filmAnchor = 0;
    std::int64_t m_filmCount = 0;
    std::atomic<bool> m_resetPending{false};
    CMediaType m_inputType;
    Geometry m_geometry;
    std::atomic<bool> m_rectsChanged{false}; // the crop or mode changed while connected
    ffmpeg::SwsPtr m_scaler;
    ffmpeg::ErrorTally m_errors{"video conversion"};
    std::vector<std::uint8_t> m_picture; // the output picture, YV12 layout, output width × height
};

#include "convert/video_conversion_filter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "convert/framing.h"
#include "pipeline/format_blocks.h"
#include "pipeline/media_guids.h"
#include "com/debug_log.h"

namespace {

constexpr double kPi = 3.1415926;

struct AngleTables {
    std::int16_t sine[361];
    std::int16_t cosine[361];
    AngleTables()
    {
        for (int i = 0; i <= 360; ++i) {
            const double radians = (i - 180) * kPi / 180;
            sine[i] = static_cast<std::int16_t>(std::trunc(std::sin(radians) * 128));
            cosine[i] = static_cast<std::int16_t>(std::trunc(std::cos(radians) * 128));
        }
    }
};

const AngleTables& Tables()
{
    static const AngleTables tables;
    return tables;
}

BITMAPINFOHEADER* BitmapHeaderOf(const CMediaType& type)
{
    if (!type.pbFormat) return nullptr;
    if ((type.formattype == FORMAT_VideoInfo || type.formattype == FORMAT_MPEGVideo) && type.cbFormat >= 88)
        return reinterpret_cast<BITMAPINFOHEADER*>(type.pbFormat + 48);
    if ((type.formattype == FORMAT_VideoInfo2 || type.formattype == FORMAT_MPEG2_VIDEO) && type.cbFormat >= 112)
        return reinterpret_cast<BITMAPINFOHEADER*>(type.pbFormat + 72);
    return nullptr;
}

std::uint8_t Clamp255(int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); }

void CopyPlane(std::uint8_t* to, int toStride, const std::uint8_t* from, int fromStride, int width, int height)
{
    for (int row = 0; row < height; ++row)
        std::memcpy(to + static_cast<std::ptrdiff_t>(row) * toStride, from + static_cast<std::ptrdiff_t>(row) * fromStride,
                    static_cast<std::size_t>(width));
}

void FillRect(std::uint8_t* plane, int stride, int left, int top, int width, int height, std::uint8_t value)
{
    if (width <= 0 || height <= 0) return;
    for (int row = top; row < top + height; ++row)
        std::memset(plane + static_cast<std::ptrdiff_t>(row) * stride + left, value, static_cast<std::size_t>(width));
}

// A YV12 picture of width × height in one buffer: Y, then Cr, then Cb.
struct Planes {
    std::uint8_t* y;
    std::uint8_t* cr;
    std::uint8_t* cb;
};
Planes PlanesOf(std::uint8_t* picture, int width, int height)
{
    const std::size_t luma = static_cast<std::size_t>(width) * height;
    return {picture, picture + luma, picture + luma + luma / 4};
}

} // namespace

const std::int16_t* CMyVideoConveFilter::SineTable() { return Tables().sine; }
const std::int16_t* CMyVideoConveFilter::CosineTable() { return Tables().cosine; }

CMyVideoConveFilter::CMyVideoConveFilter(IUnknown* outer)
    : CTransformFilter("CMyVideoConveFilter", outer, CLSID_MyVideoConveFilter)
{
    Tables();
}

CMyVideoConveFilter::~CMyVideoConveFilter() = default;

HRESULT CMyVideoConveFilter::Create(CMyVideoConveFilter** filter)
{
    if (!filter) return E_POINTER;
    *filter = CreateComObject<CMyVideoConveFilter>(nullptr).Detach();
    return *filter ? S_OK : E_OUTOFMEMORY;
}

HRESULT CMyVideoConveFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IMyVideoConvFilter::iid) return GetInterface(static_cast<IMyVideoConvFilter*>(this), ppv);
    return CTransformFilter::NonDelegatingQueryInterface(riid, ppv);
}

// ---- Settings ----

HRESULT CMyVideoConveFilter::SetRects(std::int32_t zoomMode, std::int32_t cropLeft, std::int32_t cropTop,
                                      std::int32_t cropRight, std::int32_t cropBottom, std::int32_t outLeft,
                                      std::int32_t outTop, std::int32_t outRight, std::int32_t outBottom)
{
    CAutoLock lock(&m_csFilter);
    m_zoomMode = zoomMode;
    m_cropRect = {cropLeft, cropTop, cropRight, cropBottom};
    // While pictures flow, the output keeps the size it was connected with (the editor changes
    // the crop and the zoom of a playing picture).
    if (m_output && m_output->IsConnected()) {
        m_rectsChanged = true;
        return S_OK;
    }
    m_outputRect = {outLeft, outTop, outRight, outBottom};
    return S_OK;
}

HRESULT CMyVideoConveFilter::SetSaturation(std::int32_t saturation)
{
    // No lock: the editor changes it while pictures flow (a renderer may hold the streaming
    // thread for a long while); each picture reads it once.
    m_saturation = std::clamp(saturation, 0, 128);
    return S_OK;
}

HRESULT CMyVideoConveFilter::SetHue(std::int32_t hue)
{
    m_hue = std::clamp(hue, -180, 180);
    return S_OK;
}

HRESULT CMyVideoConveFilter::SetBrightness(std::int32_t brightness)
{
    m_brightness = std::clamp(brightness, 0, 256);
    return S_OK;
}

HRESULT CMyVideoConveFilter::SetOverlay(const OverlaySettings* overlay)
{
    if (!overlay) return E_POINTER;
    if (overlay->kind == 0) {
        std::u16string text;
        for (std::size_t i = 0; i < std::size(overlay->text) && overlay->text[i]; ++i) text.push_back(overlay->text[i]);
        if (text.empty()) return S_OK;
        // Drawn outside the receive lock: the pictures go on meanwhile.
        RgbPicture rgb;
        std::vector<std::uint8_t> yv12;
        int width = 0, height = 0;
        if (RenderText(text, overlay->font, overlay->textColour, rgb)) {
            width = rgb.width;
            height = rgb.height;
            const int chromaWidth = (width + 1) / 2, chromaHeight = (height + 1) / 2;
            yv12.assign(static_cast<std::size_t>(width) * height + 2 * static_cast<std::size_t>(chromaWidth) * chromaHeight, 0);
            ffmpeg::SwsPtr converter(sws_getContext(width, height, AV_PIX_FMT_RGB24, width, height, AV_PIX_FMT_YUV420P,
                                                    SWS_BICUBIC, nullptr, nullptr, nullptr));
            if (converter) {
                const std::uint8_t* source[1] = {rgb.rgb.data()};
                const int sourceStride[1] = {width * 3};
                std::uint8_t* luma = yv12.data();
                std::uint8_t* cr = luma + static_cast<std::size_t>(width) * height;
                std::uint8_t* cb = cr + static_cast<std::size_t>(chromaWidth) * chromaHeight;
                std::uint8_t* target[3] = {luma, cb, cr};
                const int targetStride[3] = {width, chromaWidth, chromaWidth};
                if (sws_scale(converter.get(), source, sourceStride, 0, height, target, targetStride) <= 0) yv12.clear();
            } else {
                yv12.clear();
            }
        }
        CAutoLock lock(&m_csReceive);
        m_overlayPicture = std::move(yv12);
        m_overlayWidth = m_overlayPicture.empty() ? 0 : width;
        m_overlayHeight = m_overlayPicture.empty() ? 0 : height;
    }
    CAutoLock lock(&m_csReceive);
    if (m_overlayPicture.empty()) return E_FAIL;
    m_overlay = *overlay;
    return S_OK;
}

HRESULT CMyVideoConveFilter::SetDisplayAspects(std::int32_t sourceX, std::int32_t sourceY, std::int32_t outputX,
                                               std::int32_t outputY)
{
    CAutoLock lock(&m_csFilter);
    m_sourceAspect = sourceX > 0 && sourceY > 0 ? AspectRatio{sourceX, sourceY} : AspectRatio{};
    m_outputAspect = outputX > 0 && outputY > 0 ? AspectRatio{outputX, outputY} : AspectRatio{};
    return S_OK;
}

AspectRatio CMyVideoConveFilter::SourceAspect() const
{
    return m_sourceAspect.Known() ? m_sourceAspect : m_inputAspect;
}

// ---- Media types ----

HRESULT CMyVideoConveFilter::CheckInputType(const CMediaType* input)
{
    if (!input) return E_POINTER;
    const BITMAPINFOHEADER* header = BitmapHeaderOf(*input);
    if (!header || input->majortype != MEDIATYPE_Video || input->subtype != MEDIASUBTYPE_YV12 ||
        (input->formattype != FORMAT_VideoInfo && input->formattype != FORMAT_VideoInfo2) || header->biHeight <= 0 ||
        header->biWidth <= 0)
        return VFW_E_TYPE_NOT_ACCEPTED;
    m_sourceWidth = header->biWidth;
    m_sourceHeight = header->biHeight;
    m_inputAspect = {};
    m_inputInterlaced = false;
    if (input->formattype == FORMAT_VideoInfo2 && input->cbFormat >= sizeof(VIDEOINFOHEADER2)) {
        const auto* info = reinterpret_cast<const VIDEOINFOHEADER2*>(input->pbFormat);
        m_inputInterlaced = (info->dwInterlaceFlags & AMINTERLACE_IsInterlaced) != 0;
        if (info->dwPictAspectRatioX > 0 && info->dwPictAspectRatioY > 0 && info->dwPictAspectRatioX <= 0xFFFF &&
            info->dwPictAspectRatioY <= 0xFFFF)
            m_inputAspect = {static_cast<std::int32_t>(info->dwPictAspectRatioX),
                             static_cast<std::int32_t>(info->dwPictAspectRatioY)};
    }
    m_inputType = *input;
    if (m_cropRect.Width() == 0) {
        m_cropRect = {0, 0, m_sourceWidth, m_sourceHeight};
        m_outputRect = m_cropRect;
        m_zoomMode = 1;
    }
    return S_OK;
}

HRESULT CMyVideoConveFilter::GetMediaType(int position, CMediaType* type)
{
    if (position < 0) return E_INVALIDARG;
    if (position > 0 || !m_input || !m_input->IsConnected()) return VFW_S_NO_MORE_ITEMS;
    *type = m_input->CurrentMediaType();
    BITMAPINFOHEADER* header = BitmapHeaderOf(*type);
    if (!header) return VFW_S_NO_MORE_ITEMS;
    header->biWidth = m_outputRect.Width();
    header->biHeight = m_outputRect.Height();
    header->biSizeImage = static_cast<DWORD>(header->biWidth * header->biHeight * 3 / 2);
    type->SetSampleSize(header->biSizeImage);
    if (type->formattype == FORMAT_VideoInfo2) {
        // The shape the output is shown at: square pixels unless told otherwise.
        auto* info = reinterpret_cast<VIDEOINFOHEADER2*>(type->pbFormat);
        const AspectRatio shown =
            m_outputAspect.Known() ? m_outputAspect : ReducedAspect(header->biWidth, header->biHeight);
        info->dwPictAspectRatioX = static_cast<DWORD>(shown.x);
        info->dwPictAspectRatioY = static_cast<DWORD>(shown.y);
        // Deinterlaced pictures leave as progressive ones; film pictures at the film's rate.
        if (m_deinterlaceMode != kDeinterlaceOff) info->dwInterlaceFlags = 0;
        if (m_deinterlaceMode == kDeinterlaceInverseTelecine || m_deinterlaceMode == kDeinterlaceFilmFrames)
            info->AvgTimePerFrame = FilmPictureStart(1);
    }
    return S_OK;
}

HRESULT CMyVideoConveFilter::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    if (!m_input || !m_input->IsConnected()) return E_UNEXPECTED;
    const BITMAPINFOHEADER* header = BitmapHeaderOf(m_output->CurrentMediaType());
    if (!header) return E_UNEXPECTED;
    LONG size = static_cast<LONG>(header->biSizeImage);
    if (size == 0) size = header->biWidth * std::abs(header->biHeight) * 4;
    ALLOCATOR_PROPERTIES wanted{1, size, 1, 0};
    (void)request;
    ALLOCATOR_PROPERTIES actual{};
    const HRESULT hr = allocator->SetProperties(&wanted, &actual);
    if (FAILED(hr)) return hr;
    return actual.cBuffers < 1 || actual.cbBuffer < size ? E_FAIL : S_OK;
}

HRESULT CMyVideoConveFilter::CheckTransform(const CMediaType* input, const CMediaType* output)
{
    const BITMAPINFOHEADER* header = output ? BitmapHeaderOf(*output) : nullptr;
    if (!input || !header) return VFW_E_TYPE_NOT_ACCEPTED;
    return MakeGeometry(header->biWidth);
}

HRESULT CMyVideoConveFilter::MakeGeometry(int stride)
{
    Geometry g;
    g.stride = stride;
    constexpr std::int64_t kLargest = 16384;
    const std::int64_t outputWidth = static_cast<std::int64_t>(m_outputRect.right) - m_outputRect.left;
    const std::int64_t outputHeight = static_cast<std::int64_t>(m_outputRect.bottom) - m_outputRect.top;
    if (outputWidth <= 0 || outputHeight <= 0 || outputWidth > kLargest || outputHeight > kLargest) return E_FAIL;
    const int W = static_cast<int>(outputWidth), H = static_cast<int>(outputHeight);
    if (g.stride < W) return E_FAIL;
    g.outputWidth = W;
    g.outputHeight = H;

    // Crop: the rectangle as given, clipped to the picture (one of less than 2 × 2 pixels left
    // takes the whole picture).
    auto clip = [](std::int32_t value, int limit) { return static_cast<int>(std::clamp<std::int64_t>(value, 0, limit)); };
    const int left = clip(m_cropRect.left, m_sourceWidth), right = clip(m_cropRect.right, m_sourceWidth);
    const int top = clip(m_cropRect.top, m_sourceHeight), bottom = clip(m_cropRect.bottom, m_sourceHeight);
    if (right - left >= 2 && bottom - top >= 2) {
        g.cropLeft = left;
        g.cropTop = top;
        g.cropRight = m_sourceWidth - right;
        g.cropBottom = m_sourceHeight - bottom;
    }
    g.cropWidth = m_sourceWidth - g.cropLeft - g.cropRight;
    g.cropHeight = m_sourceHeight - g.cropTop - g.cropBottom;
    g.crop = g.cropWidth != m_sourceWidth || g.cropHeight != m_sourceHeight;
    const int w = g.cropWidth, h = g.cropHeight;
    // Fit the picture, by the shapes source and output are shown at, into the output frame.
    const AspectRatio outputAspect = m_outputAspect.Known() ? m_outputAspect : AspectRatio{};
    const FrameRect fitted = FitPicture(m_zoomMode, m_sourceWidth, m_sourceHeight, SourceAspect(), w, h, W, H, outputAspect);
    Rect target{m_outputRect.left + fitted.left, m_outputRect.top + fitted.top, m_outputRect.left + fitted.right,
                m_outputRect.top + fitted.bottom};
    // Pad, each bar rounded up to an even size.
    if (target.Width() != W || target.Height() != H) {
        g.pad = true;
        auto even = [](int amount) { return ((amount + 1) / 2) * 2; };
        g.padLeft = even(target.left);
        g.padTop = even(target.top);
        g.padRight = even(W - target.right);
        g.padBottom = even(H - target.bottom);
    }
    const int innerWidth = W - g.padLeft - g.padRight, innerHeight = H - g.padTop - g.padBottom;
    if (innerWidth <= 0 || innerHeight <= 0) return E_FAIL;
    // Scale.
    m_scaler.reset();
    if (w + g.padLeft + g.padRight != W || h + g.padTop + g.padBottom != H) {
        g.scale = true;
        m_scaler.reset(sws_getContext(w, h, AV_PIX_FMT_YUV420P, innerWidth, innerHeight, AV_PIX_FMT_YUV420P, SWS_BICUBIC,
                                      nullptr, nullptr, nullptr));
        if (!m_scaler) return E_FAIL;
    }
    try {
        m_picture.assign(static_cast<std::size_t>(W) * H * 3 / 2, 0);
    } catch (const std::bad_alloc&) {
        return E_FAIL;
    }
    m_geometry = g;
    return S_OK;
}

// ---- Pictures ----

HRESULT CMyVideoConveFilter::Transform(IMediaSample* in, IMediaSample* out)
{
    BYTE* source = nullptr;
    if (FAILED(in->GetPointer(&source)) || !source) return E_FAIL;
    if (in->GetActualDataLength() < m_sourceWidth * m_sourceHeight * 3 / 2) return E_FAIL;
    return ConvertPicture(source, out);
}

HRESULT CMyVideoConveFilter::ConvertPicture(const BYTE* source, IMediaSample* out)
{
    BYTE* target = nullptr;
    if (FAILED(out->GetPointer(&target)) || !target) return E_FAIL;
    if (m_rectsChanged.exchange(false)) {
        // The receive lock is held; the filter lock comes after it.
        CAutoLock lock(&m_csFilter);
        const Geometry before = m_geometry;
        if (FAILED(MakeGeometry(before.stride))) m_geometry = before;
    }
    const Geometry& g = m_geometry;
    const int W = g.outputWidth, H = g.outputHeight;
    if (W <= 0 || m_picture.empty()) return E_FAIL;
    const int sw = m_sourceWidth, sh = m_sourceHeight;
    if (out->GetSize() < g.stride * H * 3 / 2) return E_FAIL;

    const Planes to = PlanesOf(m_picture.data(), W, H);
    if (!g.crop && !g.pad && !g.scale) {
        std::memcpy(m_picture.data(), source, m_picture.size());
    } else {
        // The source picture, narrowed to the crop rectangle.
        const Planes from = PlanesOf(const_cast<BYTE*>(source), sw, sh);
        const std::uint8_t* y = from.y + static_cast<std::ptrdiff_t>(g.cropTop) * sw + g.cropLeft;
        const std::ptrdiff_t chromaOffset = static_cast<std::ptrdiff_t>(g.cropTop / 2) * (sw / 2) + g.cropLeft / 2;
        const std::uint8_t* cb = from.cb + chromaOffset;
        const std::uint8_t* cr = from.cr + chromaOffset;
        const int w = g.cropWidth, h = g.cropHeight;
        // The inner rectangle of the output picture.
        std::uint8_t* innerY = to.y + static_cast<std::ptrdiff_t>(g.padTop) * W + g.padLeft;
        const std::ptrdiff_t innerChroma = static_cast<std::ptrdiff_t>(g.padTop / 2) * (W / 2) + g.padLeft / 2;
        std::uint8_t* innerCb = to.cb + innerChroma;
        std::uint8_t* innerCr = to.cr + innerChroma;
        if (g.scale) {
            const std::uint8_t* const sourcePlanes[3] = {y, cb, cr};
            const int sourceStrides[3] = {sw, sw / 2, sw / 2};
            std::uint8_t* const targetPlanes[3] = {innerY, innerCb, innerCr};
            const int targetStrides[3] = {W, W / 2, W / 2};
            if (sws_scale(m_scaler.get(), sourcePlanes, sourceStrides, 0, h, targetPlanes, targetStrides) <= 0)
                m_errors.NoteFailure("a picture could not be scaled");
        } else {
            CopyPlane(innerY, W, y, sw, w, h);
            CopyPlane(innerCb, W / 2, cb, sw / 2, w / 2, h / 2);
            CopyPlane(innerCr, W / 2, cr, sw / 2, w / 2, h / 2);
        }
        if (g.pad) {
            FillRect(to.y, W, 0, 0, W, g.padTop, 16);
            FillRect(to.y, W, 0, H - g.padBottom, W, g.padBottom, 16);
            FillRect(to.y, W, 0, g.padTop, g.padLeft, H - g.padTop - g.padBottom, 16);
            FillRect(to.y, W, W - g.padRight, g.padTop, g.padRight, H - g.padTop - g.padBottom, 16);
            const int cw = W / 2, ch = H / 2;
            const int l = g.padLeft / 2, t = g.padTop / 2, r = g.padRight / 2, b = g.padBottom / 2;
            for (std::uint8_t* plane : {to.cb, to.cr}) {
                FillRect(plane, cw, 0, 0, cw, t, 128);
                FillRect(plane, cw, 0, ch - b, cw, b, 128);
                FillRect(plane, cw, 0, t, l, ch - t - b, 128);
                FillRect(plane, cw, cw - r, t, r, ch - t - b, 128);
            }
        }
    }
    ApplyEffects(m_picture.data(), W, H);

    // Into the sample at its row stride, planes in their YV12 order.
    const int stride = g.stride;
    CopyPlane(target, stride, to.y, W, W, H);
    BYTE* chroma = target + static_cast<std::ptrdiff_t>(stride) * H;
    CopyPlane(chroma, stride / 2, to.cr, W / 2, W / 2, H / 2);
    CopyPlane(chroma + static_cast<std::ptrdiff_t>(stride / 2) * (H / 2), stride / 2, to.cb, W / 2, W / 2, H / 2);
    out->SetActualDataLength(stride * H * 3 / 2);
    return S_OK;
}

// ---- Deinterlacing ----

HRESULT CMyVideoConveFilter::SetDeinterlace(std::int32_t mode)
{
    CAutoLock lock(&m_csFilter);
    if (mode < kDeinterlaceAuto || mode > kDeinterlaceFilmFrames) return E_INVALIDARG;
    m_deinterlaceMode = mode;
    return S_OK;
}

bool CMyVideoConveFilter::IsInterlaced(DWORD typeFlags) const
{
    return m_inputInterlaced && !(typeFlags & AM_VIDEO_FLAG_WEAVE);
}

void CMyVideoConveFilter::ResetStreaming()
{
    m_deinterlacing = false;
    m_pushed = m_pulled = 0;
    m_filmAnchored = false;
    if (m_deinterlacer.IsOpen()) m_deinterlacer.Reset();
}

HRESULT CMyVideoConveFilter::StartStreaming()
{
    // Stopped: no picture is on its way, so the state is ours to reset.
    m_resetPending = false;
    ResetStreaming();
    return CTransformFilter::StartStreaming();
}

HRESULT CMyVideoConveFilter::EndFlush()
{
    // The streaming thread forgets the held pictures before its next one (it may still hold the
    // receive lock here).
    m_resetPending = true;
    return CTransformFilter::EndFlush();
}

HRESULT CMyVideoConveFilter::Receive(IMediaSample* sample)
{
    if (m_resetPending.exchange(false)) ResetStreaming();
    const AM_SAMPLE2_PROPERTIES* props = m_input->SampleProps();
    const bool interlaced = IsInterlaced(props->dwTypeSpecificFlags);
    if (props->dwStreamId != AM_STREAM_MEDIA || m_deinterlaceMode == kDeinterlaceOff) return CTransformFilter::Receive(sample);
    if (m_deinterlaceMode == kDeinterlaceFilmFrames) return ReceiveFilmFrame(sample, *props);
    if (m_deinterlaceMode == kDeinterlaceInverseTelecine) return ReceiveTelecined(sample, *props);
    if (!m_deinterlacing) {
        // Progressive pictures pass untouched (and at once) until the first interlaced one.
        if (m_deinterlaceMode == kDeinterlaceAuto && !interlaced) return CTransformFilter::Receive(sample);
        if (!m_deinterlacer.IsOpen() &&
            !m_deinterlacer.Open(m_sourceWidth, m_sourceHeight, m_deinterlaceMode == kDeinterlaceOn)) {
            DebugLog("video conversion: pictures cannot be deinterlaced; they pass as they are\n");
            m_deinterlaceMode = kDeinterlaceOff;
            return CTransformFilter::Receive(sample);
        }
        m_deinterlaced.resize(static_cast<std::size_t>(m_sourceWidth) * m_sourceHeight * 3 / 2);
        m_deinterlacing = true;
    }
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || !data ||
        sample->GetActualDataLength() < m_sourceWidth * m_sourceHeight * 3 / 2)
        return E_FAIL;
    if (m_pushed - m_pulled >= static_cast<std::int64_t>(m_held.size())) return E_UNEXPECTED; // the filter holds ≤ 3
    HeldPicture& held = m_held[static_cast<std::size_t>(m_pushed % static_cast<std::int64_t>(m_held.size()))];
    held.start = props->tStart;
    held.stop = props->tStop;
    held.flags = props->dwSampleFlags;
    if (!m_deinterlacer.Push(data, interlaced, (props->dwTypeSpecificFlags & AM_VIDEO_FLAG_FIELD1FIRST) != 0, m_pushed))
        return E_FAIL;
    ++m_pushed;
    return DeliverDeinterlaced();
}

HRESULT CMyVideoConveFilter::DeliverDeinterlaced()
{
    std::int64_t number = 0;
    while (m_deinterlacer.Pull(m_deinterlaced.data(), number)) {
        if (number < m_pulled || number >= m_pushed) continue; // not one of this run's
        m_pulled = number + 1;
        const HeldPicture& held = m_held[static_cast<std::size_t>(number % static_cast<std::int64_t>(m_held.size()))];
        const bool timed = held.flags & AM_SAMPLE_TIMEVALID;
        const bool stopped = held.flags & AM_SAMPLE_STOPVALID;
        const HRESULT hr = DeliverConverted(m_deinterlaced.data(), timed ? &held.start : nullptr, timed && stopped ? &held.stop : nullptr,
                                            held.flags & AM_SAMPLE_SPLICEPOINT, held.flags & AM_SAMPLE_DATADISCONTINUITY);
        if (hr != S_OK) return hr;
    }
    return S_OK;
}

HRESULT CMyVideoConveFilter::DeliverConverted(const BYTE* picture, const REFERENCE_TIME* start, const REFERENCE_TIME* stop,
                                              bool syncPoint, bool discontinuity)
{
    REFERENCE_TIME from = start ? *start : 0, to = stop ? *stop : 0;
    ComPtr<IMediaSample> out;
    HRESULT hr = m_output->GetDeliveryBuffer(out.Put(), start ? &from : nullptr, stop ? &to : nullptr, 0);
    if (FAILED(hr)) return hr;
    out->SetTime(start ? &from : nullptr, start && stop ? &to : nullptr);
    out->SetSyncPoint(syncPoint ? TRUE : FALSE);
    out->SetDiscontinuity(discontinuity ? TRUE : FALSE);
    out->SetPreroll(FALSE);
    hr = ConvertPicture(picture, out.Get());
    return SUCCEEDED(hr) ? m_output->Deliver(out.Get()) : hr;
}

HRESULT CMyVideoConveFilter::ReceiveFilmFrame(IMediaSample* sample, const AM_SAMPLE2_PROPERTIES& props)
{
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || !data || sample->GetActualDataLength() < m_sourceWidth * m_sourceHeight * 3 / 2)
        return E_FAIL;
    if (!(props.dwSampleFlags & AM_SAMPLE_TIMEVALID)) return DeliverConverted(data, nullptr, nullptr, true, false);
    // Each coded picture is one film picture: their times run on from where the run of them began,
    // 1001/24000 s apart, whatever fields the flags would repeat. A picture far from that line (a
    // jump in the stream, a stretch that is not film) begins a new run.
    const REFERENCE_TIME start = props.tStart;
    const bool discontinuity = props.dwSampleFlags & AM_SAMPLE_DATADISCONTINUITY;
    if (!m_filmAnchored || discontinuity ||
        std::llabs(start - (m_filmAnchor + FilmPictureStart(m_filmCount))) > 2 * FilmPictureStart(1)) {
        m_filmAnchor = start;
        m_filmCount = 0;
        m_filmAnchored = true;
    }
    const REFERENCE_TIME from = m_filmAnchor + FilmPictureStart(m_filmCount);
    const REFERENCE_TIME to = m_filmAnchor + FilmPictureStart(m_filmCount + 1);
    ++m_filmCount;
    return DeliverConverted(data, &from, &to, props.dwSampleFlags & AM_SAMPLE_SPLICEPOINT, discontinuity);
}

HRESULT CMyVideoConveFilter::ReceiveTelecined(IMediaSample* sample, const AM_SAMPLE2_PROPERTIES& props)
{
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || !data || sample->GetActualDataLength() < m_sourceWidth * m_sourceHeight * 3 / 2)
        return E_FAIL;
    if (!(props.dwSampleFlags & AM_SAMPLE_TIMEVALID)) return E_FAIL;
    if (!m_deinterlacing) {
        REFERENCE_TIME period = props.tStop - props.tStart;
        if (period <= 0 || period > 10000000) period = 333667;
        if (!m_deinterlacer.IsOpen() && !m_deinterlacer.OpenInverseTelecine(m_sourceWidth, m_sourceHeight, period)) {
            DebugLog("video conversion: the film's pictures cannot be matched; they are deinterlaced\n");
            m_deinterlaceMode = kDeinterlaceOn;
            return Receive(sample);
        }
        m_deinterlaced.resize(static_cast<std::size_t>(m_sourceWidth) * m_sourceHeight * 3 / 2);
        m_deinterlacing = true;
        m_filmAnchored = false;
    }
    const bool interlaced = IsInterlaced(props.dwTypeSpecificFlags);
    if (!m_deinterlacer.Push(data, interlaced, (props.dwTypeSpecificFlags & AM_VIDEO_FLAG_FIELD1FIRST) != 0, props.tStart))
        return E_FAIL;
    return DeliverTelecined();
}

HRESULT CMyVideoConveFilter::DeliverTelecined()
{
    std::int64_t time = 0;
    while (m_deinterlacer.Pull(m_deinterlaced.data(), time)) {
        const REFERENCE_TIME start = time, stop = time + FilmPictureStart(1);
        const bool first = !m_filmAnchored;
        m_filmAnchored = true;
        const HRESULT hr = DeliverConverted(m_deinterlaced.data(), &start, &stop, true, first);
        if (hr != S_OK) return hr;
    }
    return S_OK;
}

HRESULT CMyVideoConveFilter::EndOfStream()
{
    if (m_deinterlacing && !m_resetPending.load()) {
        // The last pictures are still inside the deinterlacer.
        m_deinterlacer.End();
        if (m_deinterlaceMode == kDeinterlaceInverseTelecine)
            DeliverTelecined();
        else
            DeliverDeinterlaced();
    }
    return CTransformFilter::EndOfStream();
}

void CMyVideoConveFilter::ApplyEffects(std::uint8_t* picture, int width, int height)
{
    const Planes p = PlanesOf(picture, width, height);
    // Read once: the settings may change while this picture is worked on.
    const int brightness = m_brightness.load(), hue = m_hue.load(), saturation = m_saturation.load();
    if (brightness != 128) {
        // Y' = (Y × gain) >> 7, at most 255.
        const unsigned gain = static_cast<unsigned>(brightness);
        const std::size_t n = static_cast<std::size_t>(width) * height;
        std::uint8_t* y = p.y;
        std::size_t i = 0;
#if defined(__SSE2__)
        // 16 samples at a time: the products fit 16 bits (at most 255 × 256), and packing back
        // to bytes saturates at 255.
        const __m128i factor = _mm_set1_epi16(static_cast<short>(gain));
        const __m128i zero = _mm_setzero_si128();
        for (; i + 16 <= n; i += 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + i));
            const __m128i low = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(bytes, zero), factor), 7);
            const __m128i high = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(bytes, zero), factor), 7);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(y + i), _mm_packus_epi16(low, high));
        }
#endif
        for (; i < n; ++i) {
            const unsigned v = (y[i] * gain) >> 7;
            y[i] = static_cast<std::uint8_t>(v > 255 ? 255 : v);
        }
    }
    if (hue != 0 || saturation != 64) {
        // Every (Cb, Cr) pair maps to one result: the table is made once per setting.
        if (m_chromaHue != hue || m_chromaSaturation != saturation) {
            const int c = CosineTable()[hue + 180], s = SineTable()[hue + 180], gain = saturation;
            m_chromaTable.resize(65536);
            for (int cb = 0; cb < 256; ++cb) {
                for (int cr = 0; cr < 256; ++cr) {
                    const int u = cb - 128, v = cr - 128;
                    const int rv = ((v * c) >> 7) + ((u * s) >> 7);
                    const int ru = ((u * c) >> 7) - ((v * s) >> 7);
                    const int newCr = Clamp255(((rv * gain) >> 6) + 128);
                    const int newCb = Clamp255(((ru * gain) >> 6) + 128);
                    m_chromaTable[static_cast<std::size_t>(cb) << 8 | static_cast<std::size_t>(cr)] =
                        static_cast<std::uint16_t>(newCb | newCr << 8);
                }
            }
            m_chromaHue = hue;
            m_chromaSaturation = saturation;
        }
        const std::uint16_t* table = m_chromaTable.data();
        const std::size_t n = static_cast<std::size_t>(width / 2) * (height / 2);
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint16_t pair = table[static_cast<std::size_t>(p.cb[i]) << 8 | p.cr[i]];
            p.cb[i] = static_cast<std::uint8_t>(pair);
            p.cr[i] = static_cast<std::uint8_t>(pair >> 8);
        }
    }
    if (!m_overlayPicture.empty()) BlendOverlay(picture, width, height);
}

void CMyVideoConveFilter::BlendOverlay(std::uint8_t* picture, int width, int height)
{
    const int ow = m_overlayWidth, oh = m_overlayHeight;
    const int ocw = (ow + 1) / 2, och = (oh + 1) / 2;
    const std::uint8_t* oy = m_overlayPicture.data();
    const std::uint8_t* ocr = oy + static_cast<std::size_t>(ow) * oh;
    const std::uint8_t* ocb = ocr + static_cast<std::size_t>(ocw) * och;
    const float opacity = std::clamp(m_overlay.opacity, 0.0f, 1.0f);
    // A position left of or above the frame is clipped too, not only the right and bottom.
    const int x = m_overlay.x, y = m_overlay.y;
    const int left = std::max(0, -x), top = std::max(0, -y);
    const int right = std::min(ow, width - x), bottom = std::min(oh, height - y);
    if (right <= left || bottom <= top) return;
    const Planes p = PlanesOf(picture, width, height);
    auto blend = [opacity](std::uint8_t frame, std::uint8_t overlay) {
        return Clamp255(static_cast<int>(frame * (1 - opacity) + overlay * opacity));
    };
    for (int row = top; row < bottom; ++row) {
        std::uint8_t* line = p.y + static_cast<std::ptrdiff_t>(y + row) * width + x;
        const std::uint8_t* over = oy + static_cast<std::ptrdiff_t>(row) * ow;
        for (int col = left; col < right; ++col) line[col] = blend(line[col], over[col]);
    }
    const int cx = x / 2, cy = y / 2;
    const int cwidth = width / 2, cheight = height / 2;
    const int cleft = (left + 1) / 2, ctop = (top + 1) / 2;
    const int cright = std::min(right / 2, cwidth - cx), cbottom = std::min(bottom / 2, cheight - cy);
    for (int row = ctop; row < cbottom; ++row) {
        std::uint8_t* lineCb = p.cb + static_cast<std::ptrdiff_t>(cy + row) * cwidth + cx;
        std::uint8_t* lineCr = p.cr + static_cast<std::ptrdiff_t>(cy + row) * cwidth + cx;
        const std::uint8_t* overCb = ocb + static_cast<std::ptrdiff_t>(row) * ocw;
        const std::uint8_t* overCr = ocr + static_cast<std::ptrdiff_t>(row) * ocw;
        for (int col = cleft; col < cright; ++col) {
            lineCb[col] = blend(lineCb[col], overCb[col]);
            lineCr[col] = blend(lineCr[col], overCr[col]);
        }
    }
}

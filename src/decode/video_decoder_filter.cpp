#include "decode/video_decoder_filter.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "decode/media_codec.h"
#include "pipeline/format_blocks.h"
#include "pipeline/media_guids.h"
#include "pipeline/transform_input_pin.h"
#include "com/debug_log.h"

extern "C" {
#include <libavutil/imgutils.h>
}

namespace {

constexpr AVRational kReferenceTimeBase{1, 10000000};

void ReduceRatio(DWORD& x, DWORD& y)
{
    DWORD a = x, b = y;
    while (b) {
        const DWORD t = a % b;
        a = b;
        b = t;
    }
    if (a > 1) {
        x /= a;
        y /= a;
    }
}

} // namespace

// ---- Pins ----

CVideoDecoderInputPin::CVideoDecoderInputPin(CVideoDecoderFilter* filter, HRESULT* phr)
    : CBaseInputPin("Video decoder input", filter, &filter->m_csFilter, phr, "Video In"), m_decoder(filter)
{
}

HRESULT CVideoDecoderInputPin::CheckMediaType(const CMediaType* type)
{
    return type && CVideoDecoderFilter::IsVideoInput(*type) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CVideoDecoderInputPin::SetMediaType(const CMediaType* type)
{
    HRESULT hr = CBaseInputPin::SetMediaType(type);
    if (FAILED(hr)) return hr;
    // Connections are made while stopped: no sample is on its way, so no receive lock (which
    // comes before the filter lock held here).
    return m_decoder->OpenDecoder(*type) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CVideoDecoderInputPin::BreakConnect()
{
    m_decoder->CloseDecoder(); // stopped, as for SetMediaType
    return CBaseInputPin::BreakConnect();
}

HRESULT CVideoDecoderInputPin::Receive(IMediaSample* sample)
{
    return ReceiveUnderLock(m_decoder->m_csReceive, *this, sample, [this](IMediaSample* s) { return m_decoder->ReceiveVideo(s); });
}

HRESULT CVideoDecoderInputPin::EndOfStream()
{
    return EndOfStreamUnderLock(m_decoder->m_csReceive, *this, [this] {
        m_decoder->ApplyPendingFlush();
        m_decoder->Drain();
        return m_decoder->m_output->IsConnected() ? m_decoder->m_output->DeliverEndOfStream() : S_OK;
    });
}

HRESULT CVideoDecoderInputPin::BeginFlush()
{
    const HRESULT hr = CBaseInputPin::BeginFlush();
    if (FAILED(hr)) return hr;
    return m_decoder->m_output->IsConnected() ? m_decoder->m_output->DeliverBeginFlush() : S_OK;
}

HRESULT CVideoDecoderInputPin::EndFlush()
{
    // The decoder is reset by the streaming thread before its next sample: the receive lock
    // may be held by a thread that a flush just released.
    m_decoder->m_flushPending = true;
    const HRESULT hr = CBaseInputPin::EndFlush();
    if (FAILED(hr)) return hr;
    return m_decoder->m_output->IsConnected() ? m_decoder->m_output->DeliverEndFlush() : S_OK;
}

HRESULT CVideoDecoderInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    CBasePin::NewSegment(start, stop, rate);
    return m_decoder->m_output->IsConnected() ? m_decoder->m_output->DeliverNewSegment(start, stop, rate) : S_OK;
}

CSubpictureInputPin::CSubpictureInputPin(CVideoDecoderFilter* filter, HRESULT* phr)
    : CBaseInputPin("Subpicture input", filter, &filter->m_csFilter, phr, "Subpicture In"), m_decoder(filter)
{
}

namespace {

bool IsPresentationGraphics(const CMediaType& type)
{
    return type.majortype == MEDIATYPE_Subtitle && type.subtype == MEDIASUBTYPE_HDMVSUB;
}

} // namespace

HRESULT CSubpictureInputPin::CheckMediaType(const CMediaType* type)
{
    if (!type) return VFW_E_TYPE_NOT_ACCEPTED;
    return (type->majortype == MEDIATYPE_Video && type->subtype == MEDIASUBTYPE_DVD_SUBPICTURE) || IsPresentationGraphics(*type)
               ? S_OK
               : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CSubpictureInputPin::SetMediaType(const CMediaType* type)
{
    const HRESULT hr = CBaseInputPin::SetMediaType(type);
    if (SUCCEEDED(hr) && !m_decoder->m_subpictures.Open(IsPresentationGraphics(*type) ? SubpictureDecoder::kPresentationGraphics
                                                                                     : SubpictureDecoder::kDvd))
        return E_FAIL;
    return hr;
}

HRESULT CSubpictureInputPin::Receive(IMediaSample* sample)
{
    HRESULT hr = CBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    REFERENCE_TIME start = 0, stop = 0;
    const bool timed = SUCCEEDED(sample->GetTime(&start, &stop));
    m_decoder->m_subpictures.Decode(data, sample->GetActualDataLength(), timed, start);
    return S_OK;
}

HRESULT CSubpictureInputPin::EndOfStream() { return CheckStreaming() == S_OK ? S_OK : VFW_E_WRONG_STATE; }

HRESULT CSubpictureInputPin::BeginFlush() { return CBaseInputPin::BeginFlush(); }

HRESULT CSubpictureInputPin::EndFlush()
{
    m_decoder->m_subpictures.Flush();
    return CBaseInputPin::EndFlush();
}

HRESULT CSubpictureInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    return CBasePin::NewSegment(start, stop, rate);
}

CVideoDecoderOutputPin::CVideoDecoderOutputPin(CVideoDecoderFilter* filter, HRESULT* phr)
    : CBaseOutputPin("Video decoder output", filter, &filter->m_csFilter, phr, "Out"), m_decoder(filter)
{
}

HRESULT CVideoDecoderOutputPin::CheckConnect(IPin* pin)
{
    if (!m_decoder->m_videoIn->IsConnected()) return VFW_E_NOT_CONNECTED;
    return CBaseOutputPin::CheckConnect(pin);
}

HRESULT CVideoDecoderOutputPin::CheckMediaType(const CMediaType* type)
{
    if (!type || type->majortype != MEDIATYPE_Video || type->subtype != MEDIASUBTYPE_YV12) return VFW_E_TYPE_NOT_ACCEPTED;
    const BITMAPINFOHEADER* header = VideoBitmapHeaderOf(*type);
    if (!header || (type->formattype != FORMAT_VideoInfo && type->formattype != FORMAT_VideoInfo2))
        return VFW_E_TYPE_NOT_ACCEPTED;
    const auto geometry = m_decoder->InputGeometry();
    // Rows may be longer than the picture (a stride), never shorter.
    if (header->biWidth < geometry.width || std::abs(header->biHeight) != geometry.height) return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT CVideoDecoderOutputPin::GetMediaType(int position, CMediaType* type)
{
    if (position < 0) return E_INVALIDARG;
    if (position > 1) return VFW_S_NO_MORE_ITEMS;
    if (!m_decoder->m_videoIn->IsConnected()) return VFW_S_NO_MORE_ITEMS;
    const auto g = m_decoder->InputGeometry();
    const DWORD imageSize = static_cast<DWORD>(g.width * g.height * 3 / 2);
    type->ResetFormatBuffer();
    type->majortype = MEDIATYPE_Video;
    type->subtype = MEDIASUBTYPE_YV12;
    type->SetSampleSize(imageSize);
    type->SetTemporalCompression(false);
    BITMAPINFOHEADER* header = nullptr;
    if (position == 0) {
        type->formattype = FORMAT_VideoInfo2;
        auto* info = reinterpret_cast<VIDEOINFOHEADER2*>(type->AllocFormatBuffer(sizeof(VIDEOINFOHEADER2)));
        if (!info) return E_OUTOFMEMORY;
        info->AvgTimePerFrame = g.timePerFrame;
        info->dwPictAspectRatioX = g.aspectX;
        info->dwPictAspectRatioY = g.aspectY;
        // MPEG-2, H.264 and VC-1 pictures may be coded as fields: each sample says whether it is
        // (no AM_VIDEO_FLAG_WEAVE) and which field comes first.
        if (VideoCodecOf(m_decoder->m_videoIn->CurrentMediaType().subtype) != AV_CODEC_ID_MPEG1VIDEO)
            info->dwInterlaceFlags = AMINTERLACE_IsInterlaced | AMINTERLACE_DisplayModeBobOrWeave;
        header = &info->bmiHeader;
    } else {
        type->formattype = FORMAT_VideoInfo;
        auto* info = reinterpret_cast<VIDEOINFOHEADER*>(type->AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
        if (!info) return E_OUTOFMEMORY;
        info->AvgTimePerFrame = g.timePerFrame;
        header = &info->bmiHeader;
    }
    header->biSize = sizeof(BITMAPINFOHEADER);
    header->biWidth = g.width;
    header->biHeight = g.height;
    header->biPlanes = 1;
    header->biBitCount = 12;
    header->biCompression = MakeFourCC('Y', 'V', '1', '2');
    header->biSizeImage = imageSize;
    return S_OK;
}

HRESULT CVideoDecoderOutputPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    const BITMAPINFOHEADER* header = VideoBitmapHeaderOf(m_mt);
    if (!header) return E_UNEXPECTED;
    ALLOCATOR_PROPERTIES wanted = *request;
    wanted.cBuffers = std::max<LONG>(request->cBuffers, 3);
    wanted.cbBuffer = std::max<LONG>(request->cbBuffer, header->biWidth * std::abs(header->biHeight) * 3 / 2);
    wanted.cbAlign = std::max<LONG>(request->cbAlign, 1);
    ALLOCATOR_PROPERTIES actual{};
    const HRESULT hr = allocator->SetProperties(&wanted, &actual);
    if (FAILED(hr)) return hr;
    return actual.cbBuffer < header->biWidth * std::abs(header->biHeight) * 3 / 2 ? E_FAIL : S_OK;
}

// ---- Filter ----

CVideoDecoderFilter::CVideoDecoderFilter(IUnknown* outer)
    : CBaseFilter("CVideoDecoderFilter", outer, &m_csFilter, CLSID_MpegVideoDecoder),
      m_feeder(256 * 1024, m_errors), m_frame(ffmpeg::MakeFrame())
{
    HRESULT hr = S_OK;
    m_videoIn = std::make_unique<CVideoDecoderInputPin>(this, &hr);
    m_subpictureIn = std::make_unique<CSubpictureInputPin>(this, &hr);
    m_output = std::make_unique<CVideoDecoderOutputPin>(this, &hr);
}

CVideoDecoderFilter::~CVideoDecoderFilter() { CloseDecoder(); }

HRESULT CVideoDecoderFilter::CreateInstance(IUnknown* outer, REFIID riid, void** ppv)
{
    return CreateDecoder<CVideoDecoderFilter>(outer, riid, ppv);
}

HRESULT CVideoDecoderFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IDecoderDamage::iid) return GetInterface(static_cast<IDecoderDamage*>(this), ppv);
    return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

std::vector<std::pair<REFERENCE_TIME, REFERENCE_TIME>> CVideoDecoderFilter::DamagedStretches()
{
    return m_damaged.Stretches();
}

CBasePin* CVideoDecoderFilter::GetPin(int index)
{
    switch (index) {
    case 0: return m_videoIn.get();
    case 1: return m_subpictureIn.get();
    case 2: return m_output.get();
    default: return nullptr;
    }
}

HRESULT CVideoDecoderFilter::Pause()
{
    CAutoLock lock(&m_csFilter);
    if (IsStopped()) {
        // A new run starts clean.
        m_flushPending = true;
        m_subpictures.Flush();
        m_damaged.Clear();
        m_errors.Reset();
        m_subpictures.ResetErrors();
    }
    return CBaseFilter::Pause();
}

HRESULT CVideoDecoderFilter::Stop()
{
    CAutoLock lock(&m_csFilter);
    return CBaseFilter::Stop();
}

bool CVideoDecoderFilter::IsVideoInput(const CMediaType& type)
{
    if (type.majortype != MEDIATYPE_Video || VideoCodecOf(type.subtype) == AV_CODEC_ID_NONE) return false;
    const BITMAPINFOHEADER* header = VideoBitmapHeaderOf(type);
    return header && header->biWidth > 0 && header->biHeight != 0 && header->biWidth <= 8192 &&
           std::abs(header->biHeight) <= 8192;
}

CVideoDecoderFilter::Geometry CVideoDecoderFilter::InputGeometry()
{
    Geometry g;
    const CMediaType& type = m_videoIn->CurrentMediaType();
    const BITMAPINFOHEADER* header = VideoBitmapHeaderOf(type);
    if (!header) return g;
    g.width = header->biWidth;
    g.height = std::abs(header->biHeight);
    if (type.formattype == FORMAT_VideoInfo2 || type.formattype == FORMAT_MPEG2_VIDEO) {
        const auto* info = reinterpret_cast<const VIDEOINFOHEADER2*>(type.pbFormat);
        g.aspectX = info->dwPictAspectRatioX;
        g.aspectY = info->dwPictAspectRatioY;
        g.timePerFrame = info->AvgTimePerFrame;
    } else {
        const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
        g.timePerFrame = info->AvgTimePerFrame;
        // MPEG-1: the pels-per-metre fields carry the picture aspect (x = width × aspect y).
        if (header->biXPelsPerMeter > 0 && header->biYPelsPerMeter > 0) {
            g.aspectX = static_cast<DWORD>(header->biYPelsPerMeter / g.height);
            g.aspectY = static_cast<DWORD>(header->biXPelsPerMeter / g.width);
        }
    }
    if (!g.aspectX || !g.aspectY) {
        g.aspectX = static_cast<DWORD>(g.width);
        g.aspectY = static_cast<DWORD>(g.height);
    }
    ReduceRatio(g.aspectX, g.aspectY);
    return g;
}

bool CVideoDecoderFilter::OpenDecoder(const CMediaType& type)
{
    CloseDecoder();
    const AVCodecID id = VideoCodecOf(type.subtype);
    const AVCodec* codec = avcodec_find_decoder(id);
    if (!codec) return false;
    ffmpeg::CodecContextPtr context(avcodec_alloc_context3(codec));
    if (!context) return false;
    const std::vector<std::uint8_t> extradata = VideoExtradataOf(type);
    if (!extradata.empty()) {
        context->extradata = static_cast<std::uint8_t*>(av_mallocz(extradata.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!context->extradata) return false;
        std::memcpy(context->extradata, extradata.data(), extradata.size());
        context->extradata_size = static_cast<int>(extradata.size());
    }
    if (const BITMAPINFOHEADER* header = VideoBitmapHeaderOf(type)) {
        context->width = header->biWidth;
        context->height = std::abs(header->biHeight);
    }
    context->pkt_timebase = kReferenceTimeBase;
    context->thread_count = 0;
    context->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (avcodec_open2(context.get(), codec, nullptr) < 0) return false;
    // MPEG-1 and MPEG-2 arrive in PES-sized pieces: the parser cuts them into pictures.
    if (id == AV_CODEC_ID_MPEG1VIDEO || id == AV_CODEC_ID_MPEG2VIDEO) {
        m_parser = ffmpeg::MakeParser(id);
        if (!m_parser) return false;
    }
    m_codec = std::move(context);
    m_inputType = type;
    m_nextStart = 0;
    m_discontinuity = true;
    m_waitForEntry = true;
    m_waitForKeyFrame = true;
    m_picturesWithoutKey = 0;
    m_entryCarry = 0;
    return true;
}

void CVideoDecoderFilter::CloseDecoder()
{
    m_parser.reset();
    m_codec.reset();
    m_scaler.reset();
}

void CVideoDecoderFilter::ApplyPendingFlush()
{
    if (!m_flushPending.exchange(false) || !m_codec) return;
    avcodec_flush_buffers(m_codec.get());
    if (m_parser) m_parser = ffmpeg::MakeParser(m_codec->codec_id);
    m_discontinuity = true;
    m_waitForEntry = true;
    m_waitForKeyFrame = true;
    m_picturesWithoutKey = 0;
    m_entryCarry = 0;
}

HRESULT CVideoDecoderFilter::ReceiveVideo(IMediaSample* sample)
{
    ApplyPendingFlush();
    AM_MEDIA_TYPE* changed = nullptr;
    if (sample->GetMediaType(&changed) == S_OK && changed) {
        // Another stream: finish the pictures of the old one, then decode the new one.
        const CMediaType type(*changed);
        DeleteMediaType(changed);
        if (type != m_inputType) {
            Drain();
            if (!IsVideoInput(type) || !OpenDecoder(type)) return VFW_E_TYPE_NOT_ACCEPTED;
        }
    }
    if (!m_codec) return VFW_E_NOT_CONNECTED;
    if (sample->IsDiscontinuity() == S_OK) m_discontinuity = true;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    REFERENCE_TIME start = 0, stop = 0;
    const REFERENCE_TIME pts = SUCCEEDED(sample->GetTime(&start, &stop)) ? start : AV_NOPTS_VALUE;
    return DecodeFromEntry(data, sample->GetActualDataLength(), pts);
}

HRESULT CVideoDecoderFilter::DecodeFromEntry(const BYTE* data, int size, REFERENCE_TIME pts)
{
    const AVCodecID id = m_codec->codec_id;
    if (!m_waitForEntry || (id != AV_CODEC_ID_MPEG1VIDEO && id != AV_CODEC_ID_MPEG2VIDEO) || !data || size <= 0) {
        m_waitForEntry = false;
        return Decode(data, size, pts);
    }
    // The bytes kept from the samples before (a start code may straddle two), then this one.
    m_entryScan.resize(m_entryCarry);
    m_entryScan.insert(m_entryScan.end(), data, data + size);
    const std::uint8_t* bytes = m_entryScan.data();
    const std::size_t length = m_entryScan.size();
    // A sequence header, a GOP header, or (for streams that repeat neither) a key picture's
    // header: temporal reference (10 bits), then the coding type (3 bits, 1 = intra).
    for (std::size_t i = 0; i + 5 < length; ++i) {
        if (bytes[i] != 0 || bytes[i + 1] != 0 || bytes[i + 2] != 1) continue;
        const std::uint8_t code = bytes[i + 3];
        if (code == 0xB3 || code == 0xB8 || (code == 0x00 && ((bytes[i + 5] >> 3) & 7) == 1)) {
            m_waitForEntry = false;
            m_entryCarry = 0;
            return Decode(bytes + i, static_cast<int>(length - i), pts);
        }
    }
    const std::size_t keep = std::min<std::size_t>(5, length);
    std::memmove(m_entryScan.data(), bytes + length - keep, keep);
    m_entryCarry = keep;
    return S_OK;
}

HRESULT CVideoDecoderFilter::Decode(const BYTE* data, int size, REFERENCE_TIME pts)
{
    return m_feeder.Feed(
        m_codec.get(), m_parser.get(), data, size, pts, [this] { return ReceiveFrames(); },
        [this](std::int64_t lostPts) { NoteLostPicture(lostPts); });
}

HRESULT CVideoDecoderFilter::ReceiveFrames()
{
    return m_feeder.ReceiveFrames(
        m_codec.get(), m_frame.get(), [this](const AVFrame* frame) { return DeliverPicture(frame); },
        [this](std::int64_t lostPts) { NoteLostPicture(lostPts); });
}

HRESULT CVideoDecoderFilter::Drain()
{
    if (!m_codec) return S_OK;
    // The parser's last picture may be cut short (a play range ends inside it): what cannot be
    // decoded whole is not delivered.
    m_draining = true;
    HRESULT hr = Decode(nullptr, 0, AV_NOPTS_VALUE);
    if (hr == S_OK && avcodec_send_packet(m_codec.get(), nullptr) == 0) hr = ReceiveFrames();
    m_draining = false;
    avcodec_flush_buffers(m_codec.get());
    if (m_parser) m_parser = ffmpeg::MakeParser(m_codec->codec_id);
    return hr;
}

REFERENCE_TIME CVideoDecoderFilter::PictureDuration(const AVFrame* frame)
{
    REFERENCE_TIME duration = InputGeometry().timePerFrame;
    if (duration <= 0 && m_codec->framerate.num > 0)
        duration = av_rescale_q(1, av_inv_q(m_codec->framerate), kReferenceTimeBase);
    if (duration <= 0) duration = 400000;
    if (frame) duration += duration * frame->repeat_pict / 2;
    return duration;
}

void CVideoDecoderFilter::NoteLostPicture(REFERENCE_TIME pts)
{
    // The end of a range may cut the last picture short, and until a key picture the pictures
    // lack their references: those losses are expected, not damage.
    if (m_draining || m_waitForKeyFrame) return;
    const REFERENCE_TIME duration = PictureDuration(nullptr);
    const REFERENCE_TIME start = pts != AV_NOPTS_VALUE ? pts : m_nextStart;
    m_damaged.Add(start, start + duration, duration);
}

HRESULT CVideoDecoderFilter::DeliverPicture(const AVFrame* frame)
{
    if (!m_output->IsConnected()) return S_OK;
    const bool damaged = (frame->flags & AV_FRAME_FLAG_CORRUPT) || frame->decode_error_flags;
    if (m_draining && damaged) return S_OK;
    // Until a key picture has been decoded whole, pictures lack references: none is delivered
    // (but a stream that refreshes gradually, without key pictures, is not held back for ever).
    if (m_waitForKeyFrame) {
        constexpr int kLongestWait = 60;
        const bool key = frame->key_frame || frame->pict_type == AV_PICTURE_TYPE_I;
        if ((!key || damaged) && ++m_picturesWithoutKey < kLongestWait) return S_OK;
        m_waitForKeyFrame = false;
        m_picturesWithoutKey = 0;
    }
    const Geometry g = InputGeometry();
    const REFERENCE_TIME duration = PictureDuration(frame);
    REFERENCE_TIME start = frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : m_nextStart;
    REFERENCE_TIME stop = start + duration;
    m_nextStart = stop;
    // A picture decoded from damaged data (concealed by the decoder) is kept, and noted.
    if (damaged) m_damaged.Add(start, stop, duration);

    ComPtr<IMediaSample> sample;
    HRESULT hr = m_output->GetDeliveryBuffer(sample.Put(), nullptr, nullptr, 0);
    if (FAILED(hr)) return hr;
    const BITMAPINFOHEADER* header = VideoBitmapHeaderOf(m_output->CurrentMediaType());
    const int stride = header ? header->biWidth : g.width;
    const int width = g.width, height = g.height;
    BYTE* out = nullptr;
    sample->GetPointer(&out);
    const long needed = static_cast<long>(stride) * height * 3 / 2;
    if (sample->GetSize() < needed) return E_FAIL;
    // YV12: Y, then Cr, then Cb.
    std::uint8_t* planes[3] = {out, out + stride * height + (stride / 2) * (height / 2), out + stride * height};
    int strides[3] = {stride, stride / 2, stride / 2};
    if (frame->format == AV_PIX_FMT_YUV420P && frame->width == width && frame->height == height) {
        av_image_copy_plane(planes[0], strides[0], frame->data[0], frame->linesize[0], width, height);
        av_image_copy_plane(planes[1], strides[1], frame->data[1], frame->linesize[1], width / 2, height / 2);
        av_image_copy_plane(planes[2], strides[2], frame->data[2], frame->linesize[2], width / 2, height / 2);
    } else {
        // Another size or sampling: converted to the connected picture.
        m_scaler.reset(sws_getCachedContext(m_scaler.release(), frame->width, frame->height,
                                            static_cast<AVPixelFormat>(frame->format), width, height,
                                            AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr));
        if (!m_scaler) return E_FAIL;
        if (sws_scale(m_scaler.get(), frame->data, frame->linesize, 0, frame->height, planes, strides) <= 0) {
            m_errors.NoteFailure("a picture could not be converted");
            m_damaged.Add(start, stop, duration);
        }
    }
    if (m_showSubpictures) m_subpictures.Blend(start, planes[0], strides[0], planes[1], planes[2], strides[1], width, height);

    sample->SetTime(&start, &stop);
    sample->SetMediaTime(nullptr, nullptr);
    // The picture's interlace marks, as the stream codes them (progressive_frame, top_field_first,
    // repeat_first_field).
    DWORD marks = frame->interlaced_frame ? 0 : AM_VIDEO_FLAG_WEAVE;
    if (frame->top_field_first) marks |= AM_VIDEO_FLAG_FIELD1FIRST;
    if (frame->repeat_pict) marks |= AM_VIDEO_FLAG_REPEAT_FIELD;
    ComPtr<IMediaSample2> properties;
    AM_SAMPLE2_PROPERTIES props{};
    if (SUCCEEDED(QueryInterfaceTo(sample.Get(), properties)) &&
        SUCCEEDED(properties->GetProperties(offsetof(AM_SAMPLE2_PROPERTIES, tStart), reinterpret_cast<BYTE*>(&props)))) {
        props.dwTypeSpecificFlags = marks;
        properties->SetProperties(offsetof(AM_SAMPLE2_PROPERTIES, tStart), reinterpret_cast<const BYTE*>(&props));
    }
    sample->SetSyncPoint(TRUE);
    sample->SetPreroll(FALSE);
    sample->SetDiscontinuity(m_discontinuity ? TRUE : FALSE);
    sample->SetActualDataLength(needed);
    m_discontinuity = false;
    hr = m_output->Deliver(sample.Get());
    return hr;
}

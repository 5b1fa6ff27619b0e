#pragma once
// The platform's MPEG video decoder: a filter over libavcodec that takes the splitter's video
// (MPEG-1 and MPEG-2 with their sequence headers, H.264 as length-prefixed access units, VC-1
// frames) on input 0 and DVD subpictures or Blu-ray presentation graphics on input 1, and delivers YV12 pictures with the
// subpictures burned in for their display interval.
//
// Threads: pictures are decoded and delivered on the thread that delivers to input 0;
// subpictures are decoded on the thread of input 1 and handed over under their own lock.
// Locks: the receive lock (input 0's streaming), then the filter lock; the subpicture lock is
// taken alone.

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "pipeline/base_filter.h"
#include "pipeline/base_input_pin.h"
#include "pipeline/base_output_pin.h"
#include "pipeline/media_type.h"
#include "ffmpeg/ffmpeg_handles.h"
#include "decode/decoder_damage.h"
#include "decode/packet_feeder.h"
#include "decode/subpicture_decoder.h"

inline constexpr CLSID CLSID_MpegVideoDecoder = MakeGuid("{39F498AF-1A09-4275-B193-673B0BA3D478}");

class CVideoDecoderFilter;


class CVideoDecoderInputPin : public CBaseInputPin {
public:
    CVideoDecoderInputPin(CVideoDecoderFilter* filter, HRESULT* phr);
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT SetMediaType(const CMediaType* type) override;
    HRESULT BreakConnect() override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;
    HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

private:
    CVideoDecoderFilter* const m_decoder;
};

class CSubpictureInputPin : public CBaseInputPin {
public:
    CSubpictureInputPin(CVideoDecoderFilter* filter, HRESULT* phr);
    // DVD subpictures, or Blu-ray presentation graphics.
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT SetMediaType(const CMediaType* type) override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;
    HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

private:
    CVideoDecoderFilter* const m_decoder;
};

class CVideoDecoderOutputPin : public CBaseOutputPin {
public:
    CVideoDecoderOutputPin(CVideoDecoderFilter* filter, HRESULT* phr);
    // YV12 of the input's size, with a video-info-2 block (position 0) or a video-info block (1).
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT GetMediaType(int position, CMediaType* type) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT CheckConnect(IPin* pin) override;

private:
    CVideoDecoderFilter* const m_decoder;
};

class CVideoDecoderFilter : public CBaseFilter, public IDecoderDamage {
public:
    explicit CVideoDecoderFilter(IUnknown* outer);
    ~CVideoDecoderFilter() override;
    static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // Input 0 "Video In", input 1 "Subpicture In", output 0 "Out".
    int GetPinCount() override { return 3; }
    CBasePin* GetPin(int index) override;

    HRESULT Stop() override;
    HRESULT Pause() override;

    // The picture geometry taken from the input type (valid while input 0 is connected).
    struct Geometry {
        int width = 0;
        int height = 0;
        DWORD aspectX = 0;
        DWORD aspectY = 0;
        REFERENCE_TIME timePerFrame = 0;
    };
    Geometry InputGeometry();

    // Whether subpictures are burned in (the preview turns them off and on while playing).
    void ShowSubpictures(bool on) { m_showSubpictures = on; }
    // The colours of the title's DVD subpictures (0xRRGGBB ×16, from the disc's navigation; none:
    // guessed). Application thread, the graph stopped.
    void SetSubpicturePalette(std::vector<std::uint32_t> palette) { m_subpictures.SetPalette(std::move(palette)); }

    // IDecoderDamage
    std::vector<std::pair<REFERENCE_TIME, REFERENCE_TIME>> DamagedStretches() override;
    int DecodeErrors() override { return m_errors.Count() + m_subpictures.Errors(); }

private:
    friend class CVideoDecoderInputPin;
    friend class CSubpictureInputPin;
    friend class CVideoDecoderOutputPin;

    static bool IsVideoInput(const CMediaType& type);
    // Opens libavcodec for `type`; false when it cannot (receive lock held, or stopped).
    bool OpenDecoder(const CMediaType& type);
    void CloseDecoder();

    // Streaming on input 0 (receive lock held).
    HRESULT ReceiveVideo(IMediaSample* sample);
    // Passes `size` bytes (or the end, with null) through the parser and the decoder.
    HRESULT Decode(const BYTE* data, int size, REFERENCE_TIME pts);
    // Decoding starts at an entry point: after the start, a flush or a seek, MPEG video is passed
    // on from its next sequence or GOP header (the bytes before it belong to pictures whose
    // start or references were never seen).
    HRESULT DecodeFromEntry(const BYTE* data, int size, REFERENCE_TIME pts);
    HRESULT ReceiveFrames();
    // A picture that could not be decoded: noted as damage at its time (or the next picture's).
    void NoteLostPicture(REFERENCE_TIME pts);
    REFERENCE_TIME PictureDuration(const AVFrame* frame);
    HRESULT DeliverPicture(const AVFrame* frame);
    HRESULT Drain();
    void ApplyPendingFlush();

    CCritSec m_csFilter;
    CCritSec m_csReceive;
    std::unique_ptr<CVideoDecoderInputPin> m_videoIn;
    std::unique_ptr<CSubpictureInputPin> m_subpictureIn;
    std::unique_ptr<CVideoDecoderOutputPin> m_output;

    // Receive lock.
    CMediaType m_inputType;
    ffmpeg::CodecContextPtr m_codec;
    ffmpeg::ParserPtr m_parser;
    ffmpeg::ErrorTally m_errors{"video decoder"};
    PacketFeeder m_feeder;
    ffmpeg::FramePtr m_frame;
    ffmpeg::SwsPtr m_scaler;
    REFERENCE_TIME m_nextStart = 0;
    bool m_discontinuity = true;
    bool m_waitForEntry = true;     // no sequence or GOP header seen since the last start or flush
    bool m_waitForKeyFrame = true;  // no key picture decoded since then: nothing is delivered
    int m_picturesWithoutKey = 0;   // pictures held back while waiting
    bool m_draining = false;        // the end of the stream is being decoded
    std::vector<std::uint8_t> m_entryScan; // the last bytes seen while waiting, and the sample
    std::size_t m_entryCarry = 0;          // how many of them came from earlier samples
    std::atomic<bool> m_flushPending{false};

    SubpictureDecoder m_subpictures; // its own lock
    std::atomic<bool> m_showSubpictures{true};
    DamageLog m_damaged;
};

// Registers both decoders with the class factory, for creation by class identifier and for
// intelligent connect.
void RegisterPlatformDecoders();

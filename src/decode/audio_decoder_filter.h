#pragma once
// The platform's MPEG audio decoder: a transform filter over libavcodec that takes the
// splitter's audio (AC-3, MPEG audio, DVD LPCM with its header bytes, DTS, AAC, PS2 PCM) and
// delivers 16-bit interleaved PCM in the format of its connected output, converting channels
// and rate with libswresample when a stream's decoded sound differs from it.

#include <atomic>
#include <vector>

#include "pipeline/transform_filter.h"
#include "ffmpeg/ffmpeg_handles.h"
#include "decode/decoder_damage.h"
#include "decode/packet_feeder.h"
#include "ffmpeg/ffmpeg_errors.h"

inline constexpr CLSID CLSID_MpegAudioDecoder = MakeGuid("{3D446B6F-71DE-4437-BE15-8CE47174340F}");

class CAudioDecoderFilter : public CTransformFilter, public IDecoderDamage {
public:
    explicit CAudioDecoderFilter(IUnknown* outer);
    ~CAudioDecoderFilter() override;
    static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT CheckInputType(const CMediaType* input) override;
    HRESULT CheckTransform(const CMediaType* input, const CMediaType* output) override;
    // 16-bit PCM with the input's channel count and rate.
    HRESULT GetMediaType(int position, CMediaType* type) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* type) override;
    HRESULT BreakConnect(PIN_DIRECTION direction) override;

    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT EndFlush() override;
    HRESULT StartStreaming() override;

    // Output buffers: 4 of this many bytes.
    static constexpr long kBufferBytes = 131072;

    // IDecoderDamage: the sound that could not be decoded (a frame libav refused, or samples the
    // converter could not take), at its time.
    std::vector<std::pair<REFERENCE_TIME, REFERENCE_TIME>> DamagedStretches() override { return m_damaged.Stretches(); }
    int DecodeErrors() override { return m_errors.Count(); }

private:
    bool OpenDecoder(const CMediaType& type);
    void CloseDecoder();
    void ApplyPendingFlush();
    void ResetParser();
    // Passes `size` bytes (null: the end) through the parser, when the codec has one, and the
    // decoder.
    HRESULT Decode(const BYTE* data, int size, std::int64_t pts);
    HRESULT ReceiveFrames();
    // Sound that could not be decoded, from `pts` (or where the sound has got to) for about a
    // frame's length.
    void NoteLostSound(REFERENCE_TIME pts);
    // Converts a decoded frame (null: what the converter still holds) and delivers it.
    HRESULT DeliverSound(const AVFrame* frame);
    HRESULT DeliverBytes(const BYTE* data, std::size_t bytes, std::size_t frames);
    HRESULT Drain();
    // PS2 PCM comes in blocks of `interleave` bytes per channel: interleaved here.
    HRESULT DecodePs2Pcm(const BYTE* data, int size, std::int64_t pts);

    // Receive lock (or stopped).
    CMediaType m_inputType;
    ffmpeg::CodecContextPtr m_codec;
    ffmpeg::ParserPtr m_parser;
    ffmpeg::ErrorTally m_errors{"audio decoder"};
    PacketFeeder m_feeder;
    ffmpeg::FramePtr m_frame;
    ffmpeg::SwrPtr m_converter;
    AVChannelLayout m_converterLayout{};
    int m_converterRate = 0;
    int m_converterFormat = -1;
    std::vector<std::uint8_t> m_converted; // grows to the largest frame, then stays
    int m_outputChannels = 0;
    int m_outputRate = 0;
    bool m_ps2Pcm = false;
    // Blu-ray LPCM comes without the header of its packets (the splitter takes it off); libavcodec
    // wants it, so it is put back in front, from the stream's format.
    bool m_hdmvLpcm = false;
    std::uint8_t m_hdmvLpcmHeader[4] = {};
    std::vector<std::uint8_t> m_withHeader; // grows to the largest packet, then stays
    std::uint32_t m_ps2Interleave = 0;
    REFERENCE_TIME m_nextStart = 0;
    bool m_haveTime = false;
    // After a flush the times go on from nowhere: sound is held back until a time stamp comes.
    bool m_waitForTime = false;
    bool m_discontinuity = true;
    REFERENCE_TIME m_frameLength = 320000; // of the last decoded frame
    bool m_draining = false;
    std::atomic<bool> m_flushPending{false};
    std::atomic<bool> m_flushed{false}; // the pending reset is a flush's, not a start's
    DamageLog m_damaged;
};

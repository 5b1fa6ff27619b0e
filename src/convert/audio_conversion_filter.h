#pragma once
// CMyAudioConveFilter: between the audio decoder and the encoding sink. It converts 16-bit PCM
// to the profile's channel count and rate with libswresample, applies the volume, and re-packs
// the sound into output buffers of a fixed size through a ring.

#include <cstdint>
#include <atomic>
#include <memory>

#include "pipeline/transform_filter.h"
#include "ffmpeg/ffmpeg_errors.h"
#include "ffmpeg/ffmpeg_handles.h"

inline constexpr CLSID CLSID_MyAudioConveFilter = MakeGuid("{F410BCFF-57B4-4A02-A1EE-41FC4C22A1C9}");

struct IMyAudioConvFilter : IUnknown {
    static constexpr GUID iid = MakeGuid("{D9983DA2-084D-4BA4-BCD4-9C61DB0FC2B3}");
    // Both are stored as given; the format counts from the next output connection.
    virtual HRESULT SetOutputFormat(std::uint16_t channels, std::int32_t sampleRate) = 0;
    virtual HRESULT SetVolume(std::int32_t volume) = 0; // in 1/256 steps, 256 unchanged
};

class CMyAudioConveFilter : public CTransformFilter, public IMyAudioConvFilter {
public:
    static constexpr std::size_t kRingBytes = 524288;
    static constexpr std::size_t kResampleBytes = 262144;
    static constexpr long kOutputBufferBytes = 115200;

    explicit CMyAudioConveFilter(IUnknown* outer);
    ~CMyAudioConveFilter() override;
    static HRESULT Create(CMyAudioConveFilter** filter);

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT Transform(IMediaSample* in, IMediaSample* out) override;
    HRESULT CheckInputType(const CMediaType* input) override;
    HRESULT CheckTransform(const CMediaType* input, const CMediaType* output) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT GetMediaType(int position, CMediaType* type) override;
    HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* type) override;
    // Delivers what the resampler and the ring still hold, then the end of stream.
    HRESULT EndOfStream() override;
    HRESULT EndFlush() override;

    // IMyAudioConvFilter
    HRESULT SetOutputFormat(std::uint16_t channels, std::int32_t sampleRate) override;
    HRESULT SetVolume(std::int32_t volume) override;

    bool Resampling() const { return m_resample; }
    std::size_t RingFill() const { return m_fill; }

private:
    // Adds bytes to the ring (what does not fit is lost) and takes up to `capacity` out.
    void WriteRing(const std::uint8_t* data, std::size_t bytes);
    std::size_t ReadRing(std::uint8_t* to, std::size_t capacity);
    void ApplyVolume(std::uint8_t* data, std::size_t bytes) const;
    // Converts `frames` input frames; the output frame count.
    int Resample(const std::uint8_t* data, int frames);

    std::uint16_t m_outputChannels = 0xFFFF;
    std::int32_t m_outputRate = 0x0FFFFFFF;
    std::atomic<std::int32_t> m_volume{256};
    bool m_resample = false;
    ffmpeg::SwrPtr m_resampler;
    ffmpeg::ErrorTally m_errors{"audio conversion"};
    std::unique_ptr<std::uint8_t[]> m_resampleBuffer;
    int m_bytesPerInputFrame = 4;
    int m_inputChannels = 0;
    std::unique_ptr<std::uint8_t[]> m_ring;
    std::size_t m_write = 0, m_read = 0, m_fill = 0;
    CMediaType m_inputType;
    CMediaType m_outputTemplate;
    REFERENCE_TIME m_lastStop = 0;
    std::atomic<bool> m_flushRing{false};
};

// The audio conversion filter in a graph fed sample by sample: resampling figures, channel
// reduction, pass-through, volume arithmetic, ring overflow and the sound left at the end.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "convert/audio_conversion_filter.h"
#include "pipeline/base_output_pin.h"
#include "pipeline/format_blocks.h"
#include "pipeline/media_guids.h"
#include "support/harness.h"
#include "support/graph_fixture.h"
#include "support/harness.h"

namespace {

using namespace testing_filters;

std::vector<std::int16_t> Sine(int frames, int channels, int rate, double amplitude = 10000)
{
    std::vector<std::int16_t> out(static_cast<std::size_t>(frames) * channels);
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            out[static_cast<std::size_t>(i) * channels + c] =
                static_cast<std::int16_t>(amplitude * std::sin(2 * M_PI * 1000 * i / rate));
    return out;
}

class AudioConversion : public GraphFixture {
protected:
    void TearDown() override
    {
        if (m_control) m_control->Stop();
        m_source = nullptr;
        m_filter = nullptr;
        m_sink = nullptr;
        GraphFixture::TearDown();
    }
    // source (channels, rate) → conversion (to channels, rate, volume) → capture, paused.
    void Build(int channels, int rate, int outChannels, int outRate, int volume = 256)
    {
        m_source = TestSource::Pushing(PcmType(channels, rate));
        ASSERT_EQ(CMyAudioConveFilter::Create(m_filter.Put()), S_OK);
        m_filter->SetOutputFormat(static_cast<std::uint16_t>(outChannels), outRate);
        m_filter->SetVolume(volume);
        m_sink = TestSink::Capture();
        m_graph->AddFilter(m_source.Get(), "Source");
        m_graph->AddFilter(m_filter.Get(), "AudioConver");
        m_graph->AddFilter(m_sink.Get(), "Sink");
        ASSERT_EQ(m_graph->ConnectDirect(m_source->Pin(), m_filter->GetPin(0), nullptr), S_OK);
        ASSERT_EQ(m_graph->ConnectDirect(m_filter->GetPin(1), m_sink->Pin(), nullptr), S_OK);
        ASSERT_EQ(m_control->Pause(), S_OK);
    }
    HRESULT PushSamples(const std::vector<std::int16_t>& samples, REFERENCE_TIME start, REFERENCE_TIME stop)
    {
        return m_source->Push(samples.data(), samples.size() * 2, start, stop);
    }
    std::vector<std::int16_t> Output()
    {
        const auto bytes = m_sink->Bytes();
        std::vector<std::int16_t> samples(bytes.size() / 2);
        std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
        return samples;
    }

    ComPtr<TestSource> m_source;
    ComPtr<CMyAudioConveFilter> m_filter;
    ComPtr<TestSink> m_sink;
};

TEST_F(AudioConversion, FortyEightToFortyFourPointOneKilohertz)
{
    Build(2, 48000, 2, 44100);
    EXPECT_TRUE(m_filter->Resampling());
    CMediaType out;
    m_filter->GetPin(1)->ConnectionMediaType(&out);
    const auto* wfe = reinterpret_cast<const WAVEFORMATEX*>(out.pbFormat);
    EXPECT_EQ(wfe->nSamplesPerSec, 44100u);
    EXPECT_EQ(wfe->nBlockAlign, 4);
    EXPECT_EQ(wfe->nAvgBytesPerSec, 44100u * 4);
    // Samples of 7680 bytes (1920 frames) give about 1764 frames each.
    for (int i = 0; i < 10; ++i) ASSERT_EQ(PushSamples(Sine(1920, 2, 48000), i * 400000, (i + 1) * 400000), S_OK);
    const auto samples = m_sink->Samples();
    ASSERT_EQ(samples.size(), 10u);
    EXPECT_NEAR(static_cast<double>(samples.back().size), 7056, 8);
    // Output samples carry the times of the input sample that delivered them.
    EXPECT_EQ(samples[3].start, 3 * 400000);
    // At the end, what the resampler held back comes too: 10 × 1764 frames in all.
    m_source->PushEndOfStream();
    EXPECT_NEAR(static_cast<double>(Output().size() / 2), 17640, 2);
    EXPECT_EQ(m_sink->EndOfStreams(), 1);
}

TEST_F(AudioConversion, SameFormatPassesThroughUnchanged)
{
    Build(2, 48000, 2, 48000);
    EXPECT_FALSE(m_filter->Resampling());
    const auto input = Sine(1000, 2, 48000);
    PushSamples(input, 0, 1);
    EXPECT_EQ(Output(), input);
}

TEST_F(AudioConversion, SixChannelsAreReducedToTwo)
{
    Build(6, 48000, 2, 48000);
    EXPECT_TRUE(m_filter->Resampling());
    PushSamples(Sine(4800, 6, 48000), 0, 1000000);
    m_source->PushEndOfStream();
    const auto output = Output();
    EXPECT_EQ(output.size(), 4800u * 2);
    // The front channels carry the tone.
    std::int16_t loudest = 0;
    for (auto s : output) loudest = std::max<std::int16_t>(loudest, static_cast<std::int16_t>(std::abs(s)));
    EXPECT_GT(loudest, 2000);
}

TEST_F(AudioConversion, VolumeArithmetic)
{
    Build(1, 48000, 1, 48000, 512);
    PushSamples({1000, -1000, 20000, -20000, 32767}, 0, 1);
    EXPECT_EQ(Output(), (std::vector<std::int16_t>{2000, -2000, 32767, -32768, 32767}));
}

TEST_F(AudioConversion, HalfVolumeRoundsAsTheShiftDoes)
{
    Build(1, 48000, 1, 48000, 128);
    PushSamples({1, -1, 3, -3, 100}, 0, 1);
    EXPECT_EQ(Output(), (std::vector<std::int16_t>{1, 0, 2, -1, 50}));
}

TEST_F(AudioConversion, NoVolumeIsSilence)
{
    Build(2, 48000, 2, 48000, 0);
    PushSamples(Sine(500, 2, 48000), 0, 1);
    const std::vector<std::int16_t> out = Output();
    ASSERT_EQ(out.size(), 1000u); // every sample, each silent
    for (auto s : out) ASSERT_EQ(s, 0);
}

TEST_F(AudioConversion, ARingOverflowLosesTheTail)
{
    Build(2, 48000, 2, 48000);
    // 800 000 bytes: the ring takes 524 288, 115 200 go out at once, the rest is lost.
    const auto input = Sine(200000, 2, 48000);
    PushSamples(input, 0, 1);
    EXPECT_EQ(m_sink->Bytes().size(), static_cast<std::size_t>(CMyAudioConveFilter::kOutputBufferBytes));
    EXPECT_EQ(m_filter->RingFill(), CMyAudioConveFilter::kRingBytes - CMyAudioConveFilter::kOutputBufferBytes);
    // The end of the stream delivers what the ring still holds, in buffers of the output size.
    m_source->PushEndOfStream();
    EXPECT_EQ(m_sink->Bytes().size(), CMyAudioConveFilter::kRingBytes);
    const auto output = Output();
    EXPECT_TRUE(std::equal(output.begin(), output.end(), input.begin()));
}

TEST_F(AudioConversion, SettingsAndTypes)
{
    ComPtr<CMyAudioConveFilter> filter;
    ASSERT_EQ(CMyAudioConveFilter::Create(filter.Put()), S_OK);
    ComPtr<IMyAudioConvFilter> settings;
    EXPECT_EQ(QueryInterfaceTo(static_cast<IBaseFilter*>(filter.Get()), settings), S_OK);
    const CMediaType pcm = PcmType(2, 48000);
    EXPECT_EQ(filter->CheckInputType(&pcm), S_OK);
    CMediaType ac3 = PcmType(2, 48000);
    ac3.subtype = MEDIASUBTYPE_DOLBY_AC3;
    EXPECT_EQ(filter->CheckInputType(&ac3), VFW_E_TYPE_NOT_ACCEPTED);
    CMediaType none;
    EXPECT_EQ(filter->GetMediaType(0, &none), VFW_S_NO_MORE_ITEMS);
    ALLOCATOR_PROPERTIES request{};
    EXPECT_EQ(filter->DecideBufferSize(nullptr, &request), E_UNEXPECTED);
}

} // namespace

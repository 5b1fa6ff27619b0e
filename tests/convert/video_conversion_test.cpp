// The video conversion filter: the geometry of crop, fit and pad, the effects with their tables
// and clamps, the overlay and its clipping, driven sample by sample.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <vector>

#include "convert/time_text.h"
#include "convert/video_conversion_filter.h"
#include "pipeline/format_blocks.h"
#include "pipeline/media_guids.h"
#include "pipeline/mem_allocator.h"
#include "support/harness.h"

namespace {

using testing_filters::MakeYv12Type;
using Bytes = std::vector<std::uint8_t>;

// A YV12 picture with constant planes.
Bytes Picture(int width, int height, std::uint8_t y, std::uint8_t cb, std::uint8_t cr)
{
    const std::size_t luma = static_cast<std::size_t>(width) * height;
    Bytes p(luma * 3 / 2);
    std::memset(p.data(), y, luma);
    std::memset(p.data() + luma, cr, luma / 4);
    std::memset(p.data() + luma + luma / 4, cb, luma / 4);
    return p;
}

class VideoConversion : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(CMyVideoConveFilter::Create(m_filter.Put()), S_OK);
    }

    // Connects (as the graph would) a source of `sw` × `sh` to an output of `ow` × `oh` rows of
    // `stride`, with the rectangles already set. A source with a picture aspect comes with a
    // video-info-2 block that carries it.
    void Connect(int sw, int sh, int ow, int oh, int stride = 0, AspectRatio pictureAspect = {})
    {
        m_sourceWidth = sw;
        m_sourceHeight = sh;
        m_outputWidth = ow;
        m_outputHeight = oh;
        m_stride = stride ? stride : ow;
        const CMediaType in = pictureAspect.Known()
                                  ? testing_filters::MakeYv12Type2(sw, sh, static_cast<DWORD>(pictureAspect.x),
                                                                   static_cast<DWORD>(pictureAspect.y))
                                  : MakeYv12Type(sw, sh);
        ASSERT_EQ(m_filter->CheckInputType(&in), S_OK);
        const CMediaType out = MakeYv12Type(m_stride, oh);
        ASSERT_EQ(m_filter->CheckTransform(&in, &out), S_OK);
    }
    // One picture through Transform.
    Bytes Convert(const Bytes& input)
    {
        HRESULT hr = S_OK;
        ComPtr<CMemAllocator> allocator(new CMemAllocator("test", nullptr, &hr));
        ALLOCATOR_PROPERTIES want{2, static_cast<LONG>(std::max<std::size_t>(input.size(), static_cast<std::size_t>(m_stride) * m_outputHeight * 3 / 2)), 1, 0}, got{};
        allocator->SetProperties(&want, &got);
        allocator->Commit();
        ComPtr<IMediaSample> in, out;
        allocator->GetBuffer(in.Put(), nullptr, nullptr, 0);
        allocator->GetBuffer(out.Put(), nullptr, nullptr, 0);
        BYTE* data = nullptr;
        in->GetPointer(&data);
        std::memcpy(data, input.data(), input.size());
        in->SetActualDataLength(static_cast<LONG>(input.size()));
        EXPECT_EQ(m_filter->Transform(in.Get(), out.Get()), S_OK);
        out->GetPointer(&data);
        Bytes result(data, data + out->GetActualDataLength());
        in = nullptr;
        out = nullptr;
        allocator->Decommit();
        return result;
    }
    std::uint8_t Luma(const Bytes& p, int x, int y) const { return p[static_cast<std::size_t>(y) * m_stride + x]; }
    std::uint8_t Cr(const Bytes& p, int x, int y) const
    {
        return p[static_cast<std::size_t>(m_stride) * m_outputHeight + static_cast<std::size_t>(y) * (m_stride / 2) + x];
    }
    std::uint8_t Cb(const Bytes& p, int x, int y) const
    {
        return p[static_cast<std::size_t>(m_stride) * m_outputHeight * 5 / 4 + static_cast<std::size_t>(y) * (m_stride / 2) + x];
    }

    ComPtr<CMyVideoConveFilter> m_filter;
    int m_sourceWidth = 0, m_sourceHeight = 0, m_outputWidth = 0, m_outputHeight = 0, m_stride = 0;
};

TEST_F(VideoConversion, KeepingTheRatioPadsAboveAndBelow)
{
    m_filter->SetRects(0, 0, 0, 720, 480, 0, 0, 720, 540);
    Connect(720, 480, 720, 540);
    const auto& g = m_filter->CurrentGeometry();
    EXPECT_FALSE(g.crop);
    EXPECT_TRUE(g.pad);
    EXPECT_FALSE(g.scale);
    EXPECT_EQ(g.padTop, 30);
    EXPECT_EQ(g.padBottom, 30);
    EXPECT_EQ(g.padLeft, 0);
    const Bytes out = Convert(Picture(720, 480, 200, 90, 170));
    EXPECT_EQ(Luma(out, 360, 0), 16);  // black bar
    EXPECT_EQ(Luma(out, 360, 29), 16);
    EXPECT_EQ(Luma(out, 360, 30), 200); // the picture
    EXPECT_EQ(Luma(out, 360, 509), 200);
    EXPECT_EQ(Luma(out, 360, 510), 16);
    EXPECT_EQ(Cb(out, 100, 5), 128);
    EXPECT_EQ(Cb(out, 100, 20), 90);
    EXPECT_EQ(Cr(out, 100, 20), 170);
}

TEST_F(VideoConversion, FullScreenScalesWithoutBars)
{
    m_filter->SetRects(1, 0, 0, 720, 480, 0, 0, 320, 240);
    Connect(720, 480, 320, 240);
    const auto& g = m_filter->CurrentGeometry();
    EXPECT_FALSE(g.pad);
    EXPECT_TRUE(g.scale);
    const Bytes out = Convert(Picture(720, 480, 180, 100, 150));
    ASSERT_EQ(out.size(), 320u * 240 * 3 / 2);
    EXPECT_NEAR(Luma(out, 0, 0), 180, 1);
    EXPECT_NEAR(Luma(out, 319, 239), 180, 1);
    EXPECT_NEAR(Cb(out, 80, 60), 100, 1);
}

TEST_F(VideoConversion, WideModeLetterboxesAndOddBarsBecomeEven)
{
    m_filter->SetRects(2, 0, 0, 720, 480, 0, 0, 640, 480);
    Connect(720, 480, 640, 480);
    EXPECT_EQ(m_filter->CurrentGeometry().padTop, 60); // (480 − trunc(640 / 1.7777778)) / 2
    EXPECT_EQ(m_filter->CurrentGeometry().padBottom, 60);

    // 4:3 into 646 × 480: pillar bars of (646 − 640) / 2 = 3 become 4.
    ASSERT_EQ(CMyVideoConveFilter::Create(m_filter.Put()), S_OK);
    m_filter->SetRects(3, 0, 0, 720, 480, 0, 0, 646, 480);
    Connect(720, 480, 646, 480);
    const auto& g = m_filter->CurrentGeometry();
    EXPECT_EQ(g.padLeft, 4);
    EXPECT_EQ(g.padRight, 4);
    EXPECT_TRUE(g.scale); // the inner picture is 638 wide
}

TEST_F(VideoConversion, PicturesAreFramedByTheShapeTheyAreShownAt)
{
    // A 720 × 480 picture shown at 16:9, kept at its shape in 640 × 480: 640 × 360 between bars
    // of 60 rows (square pixels would give 640 × 426 between bars of 27).
    m_filter->SetRects(0, 0, 0, 720, 480, 0, 0, 640, 480);
    Connect(720, 480, 640, 480, 0, kAspect16x9);
    EXPECT_EQ(m_filter->CurrentGeometry().padTop, 60);
    EXPECT_EQ(m_filter->CurrentGeometry().padBottom, 60);
    // Shown at 4:3 it fills the frame (the title's attributes overrule the stream's).
    m_filter->SetDisplayAspects(4, 3, 0, 0);
    Connect(720, 480, 640, 480, 0, kAspect16x9);
    EXPECT_FALSE(m_filter->CurrentGeometry().pad);
    EXPECT_TRUE(m_filter->CurrentGeometry().scale);
    // The left half of that 4:3 picture keeps its share: 2:3 shown, 320 × 480 in the middle.
    m_filter->SetRects(0, 0, 0, 360, 480, 0, 0, 640, 480);
    Connect(720, 480, 640, 480, 0, kAspect16x9);
    EXPECT_EQ(m_filter->CurrentGeometry().padLeft, 160);
    EXPECT_EQ(m_filter->CurrentGeometry().padRight, 160);
    // A DVD-sized output shown at 16:9 takes a 16:9 picture whole, PAL into NTSC rows.
    m_filter->SetRects(0, 0, 0, 720, 576, 0, 0, 720, 480);
    m_filter->SetDisplayAspects(16, 9, 16, 9);
    Connect(720, 576, 720, 480, 0, kAspect16x9);
    EXPECT_FALSE(m_filter->CurrentGeometry().pad);
    EXPECT_TRUE(m_filter->CurrentGeometry().scale);
}

TEST_F(VideoConversion, ACropOutsideThePictureIsClippedToIt)
{
    // Past the right and bottom edges: what lies inside is kept.
    m_filter->SetRects(1, 100, 100, 740, 580, 0, 0, 320, 240);
    Connect(720, 480, 320, 240);
    EXPECT_EQ(m_filter->CurrentGeometry().cropLeft, 100);
    EXPECT_EQ(m_filter->CurrentGeometry().cropTop, 100);
    EXPECT_EQ(m_filter->CurrentGeometry().cropWidth, 620);
    EXPECT_EQ(m_filter->CurrentGeometry().cropHeight, 380);
    EXPECT_EQ(Convert(Picture(720, 480, 90, 128, 128)).size(), 320u * 240 * 3 / 2);
    // Far outside, or at the ends of the number range: the whole picture.
    for (const auto& rect : {std::array<std::int32_t, 4>{0, 0, 100000, 100000}, {0, 0, INT32_MAX, INT32_MAX},
                             {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, {800, 600, 900, 700}, {400, 300, 100, 50}}) {
        m_filter->SetRects(1, rect[0], rect[1], rect[2], rect[3], 0, 0, 320, 240);
        Connect(720, 480, 320, 240);
        const auto& g = m_filter->CurrentGeometry();
        EXPECT_GE(g.cropLeft, 0);
        EXPECT_GE(g.cropTop, 0);
        EXPECT_LE(g.cropLeft + g.cropWidth, 720);
        EXPECT_LE(g.cropTop + g.cropHeight, 480);
        const Bytes out = Convert(Picture(720, 480, 90, 128, 128));
        ASSERT_EQ(out.size(), 320u * 240 * 3 / 2);
        EXPECT_EQ(Luma(out, 160, 120), 90);
    }
}

TEST(TimeText, UsersTimesAreReadExactlyOrRefused)
{
    EXPECT_EQ(ParseTimeText("00:00:02.500"), 2500);
    EXPECT_EQ(ParseTimeText("1:02:03"), 3723000);
    EXPECT_EQ(ParseTimeText("25:00:00"), 90000000);
    EXPECT_EQ(ParseTimeText("02:03.4"), 123400);
    EXPECT_EQ(ParseTimeText("90"), 90000);
    EXPECT_EQ(ParseTimeText("7.25"), 7250);
    EXPECT_EQ(ParseTimeText("99:59:59.999"), 359999999);
    for (const char* bad : {"", ":", "1:", ":30", "1:xx", "25:61:61", "0:60", "1.2.3", "1:2:3:4", "9999999999999999",
                            "100:00:01", "-5", "1e3", " 5", "5.", "0.1234", "12:00.5:00"})
        EXPECT_FALSE(ParseTimeText(bad).has_value()) << "\"" << bad << "\"";
}

TEST(Framing, DisplayAndSampleAspects)
{
    // Square pixels everywhere but on DVD sizes, which show 4:3 or 16:9.
    EXPECT_EQ(OutputDisplayAspect(640, 480, 0, kAspect16x9), kAspect4x3);
    EXPECT_EQ(OutputDisplayAspect(1280, 720, 0, kAspect4x3), kAspect16x9);
    EXPECT_EQ(OutputDisplayAspect(352, 240, 0, kAspect4x3), (AspectRatio{22, 15}));
    EXPECT_EQ(OutputDisplayAspect(720, 480, 0, kAspect16x9), kAspect16x9);
    EXPECT_EQ(OutputDisplayAspect(720, 480, 1, kAspect4x3), kAspect4x3);
    EXPECT_EQ(OutputDisplayAspect(720, 576, 3, kAspect16x9), kAspect4x3);
    EXPECT_EQ(OutputDisplayAspect(704, 576, 2, kAspect4x3), kAspect16x9);
    EXPECT_EQ(OutputDisplayAspect(352, 480, 0, AspectRatio{221, 100}), kAspect16x9);
    EXPECT_EQ(OutputDisplayAspect(720, 480, 0, AspectRatio{}), kAspect4x3);
    // The pixels of those frames.
    EXPECT_EQ(SampleAspect(720, 480, kAspect4x3), (AspectRatio{8, 9}));
    EXPECT_EQ(SampleAspect(720, 480, kAspect16x9), (AspectRatio{32, 27}));
    EXPECT_EQ(SampleAspect(720, 576, kAspect4x3), (AspectRatio{16, 15}));
    EXPECT_EQ(SampleAspect(720, 576, kAspect16x9), (AspectRatio{64, 45}));
    EXPECT_EQ(SampleAspect(640, 480, kAspect4x3), (AspectRatio{1, 1}));
    EXPECT_EQ(SampleAspect(640, 480, AspectRatio{}), (AspectRatio{1, 1}));
}

TEST(Framing, TheCropIsFittedAsShown)
{
    // Unknown shapes are square pixels: the ratio 1.5 of 720 × 480 into 720 × 540.
    FrameRect r = FitPicture(0, 720, 480, {}, 720, 480, 720, 540, {});
    EXPECT_EQ(r.top, 30);
    EXPECT_EQ(r.bottom, 510);
    // A 4:3 title fills 640 × 480; a 16:9 one is 640 × 360 in the middle.
    r = FitPicture(0, 720, 480, kAspect4x3, 720, 480, 640, 480, kAspect4x3);
    EXPECT_EQ(r.Width(), 640);
    EXPECT_EQ(r.Height(), 480);
    r = FitPicture(0, 720, 576, kAspect16x9, 720, 576, 640, 480, kAspect4x3);
    EXPECT_EQ(r.top, 60);
    EXPECT_EQ(r.Height(), 360);
    // The same into a 16:9 DVD frame fills it; into a 4:3 DVD frame, 60 rows above and below.
    r = FitPicture(0, 720, 480, kAspect16x9, 720, 480, 720, 480, kAspect16x9);
    EXPECT_EQ(r.Height(), 480);
    r = FitPicture(0, 720, 480, kAspect16x9, 720, 480, 720, 480, kAspect4x3);
    EXPECT_EQ(r.top, 60);
    // "4:3" shows a 16:9 title at 4:3 (stretched) in 1280 × 720: 960 wide in the middle.
    r = FitPicture(3, 720, 480, kAspect16x9, 720, 480, 1280, 720, AspectRatio{16, 9});
    EXPECT_EQ(r.left, 160);
    EXPECT_EQ(r.Width(), 960);
    // Full screen fills whatever the shapes.
    r = FitPicture(1, 720, 480, kAspect16x9, 100, 400, 640, 480, kAspect4x3);
    EXPECT_EQ(r.Width(), 640);
    EXPECT_EQ(r.Height(), 480);
}

TEST_F(VideoConversion, ACropOfTheOutputSizeTakesTheCroppedRegion)
{
    // The source's left half is dark, its right half bright: cropping the right half shows only
    // bright pixels.
    m_filter->SetRects(1, 360, 0, 720, 480, 0, 0, 360, 480);
    Connect(720, 480, 360, 480);
    const auto& g = m_filter->CurrentGeometry();
    EXPECT_TRUE(g.crop);
    EXPECT_FALSE(g.scale);
    EXPECT_FALSE(g.pad);
    EXPECT_EQ(g.cropLeft, 360);
    EXPECT_EQ(g.cropRight, 0);
    Bytes in = Picture(720, 480, 20, 128, 128);
    for (int y = 0; y < 480; ++y) std::memset(in.data() + y * 720 + 360, 235, 360);
    const Bytes out = Convert(in);
    EXPECT_EQ(Luma(out, 0, 0), 235);
    EXPECT_EQ(Luma(out, 359, 479), 235);
}

TEST_F(VideoConversion, RowsFollowTheOutputStride)
{
    Connect(64, 48, 64, 48, 96);
    const Bytes out = Convert(Picture(64, 48, 77, 66, 55));
    ASSERT_EQ(out.size(), 96u * 48 * 3 / 2);
    EXPECT_EQ(Luma(out, 63, 47), 77);
    EXPECT_EQ(Cr(out, 31, 23), 55);
    EXPECT_EQ(Cb(out, 31, 23), 66);
}

TEST_F(VideoConversion, AngleTablesAndSettingClamps)
{
    const auto* sine = CMyVideoConveFilter::SineTable();
    const auto* cosine = CMyVideoConveFilter::CosineTable();
    EXPECT_EQ(sine[90 + 180], 127);
    EXPECT_EQ(cosine[0 + 180], 128);
    EXPECT_EQ(cosine[180 + 180], -127);
    EXPECT_EQ(sine[30 + 180], 63);
    EXPECT_EQ(cosine[60 + 180], 64);
    m_filter->SetHue(500);
    m_filter->SetSaturation(-5);
    m_filter->SetBrightness(300);
    EXPECT_EQ(m_filter->Hue(), 180);
    EXPECT_EQ(m_filter->Saturation(), 0);
    EXPECT_EQ(m_filter->Brightness(), 256);
}

TEST_F(VideoConversion, LumaGainSaturatesAndZeroIsBlack)
{
    Connect(16, 16, 16, 16);
    m_filter->SetBrightness(256);
    Bytes out = Convert(Picture(16, 16, 200, 128, 128));
    EXPECT_EQ(Luma(out, 3, 3), 255);
    out = Convert(Picture(16, 16, 100, 128, 128));
    EXPECT_EQ(Luma(out, 3, 3), 200);
    m_filter->SetBrightness(0);
    out = Convert(Picture(16, 16, 200, 128, 128));
    EXPECT_EQ(Luma(out, 3, 3), 0);

    // Every value, in a picture whose size is no multiple of 16 (the last samples go one by one).
    ASSERT_EQ(CMyVideoConveFilter::Create(m_filter.Put()), S_OK);
    Connect(20, 18, 20, 18);
    m_filter->SetBrightness(150);
    Bytes ramp = Picture(20, 18, 0, 128, 128);
    for (int i = 0; i < 20 * 18; ++i) ramp[i] = static_cast<std::uint8_t>(i * 7 + 3);
    out = Convert(ramp);
    for (int i = 0; i < 20 * 18; ++i) ASSERT_EQ(out[i], std::min(255, (ramp[i] * 150) >> 7)) << i;
}

TEST_F(VideoConversion, HueTurnsTheChromaVectorAndGainScalesIt)
{
    Connect(16, 16, 16, 16);
    // Cb 138, Cr 128: u = 10, v = 0. A quarter turn: Cr' = 128 + (10 × 127 >> 7) = 137, Cb' = 128.
    m_filter->SetHue(90);
    Bytes out = Convert(Picture(16, 16, 100, 138, 128));
    EXPECT_EQ(Cr(out, 2, 2), 137);
    EXPECT_EQ(Cb(out, 2, 2), 128);
    // Gain 128 doubles the chroma differences; arithmetic shifts round toward minus infinity.
    m_filter->SetHue(0);
    m_filter->SetSaturation(128);
    out = Convert(Picture(16, 16, 100, 118, 200));
    EXPECT_EQ(Cb(out, 2, 2), 108); // u = −10 → −20
    EXPECT_EQ(Cr(out, 2, 2), 255); // v = 72 → 144, clamped
    m_filter->SetSaturation(0);
    out = Convert(Picture(16, 16, 100, 118, 200));
    EXPECT_EQ(Cb(out, 2, 2), 128);
    EXPECT_EQ(Cr(out, 2, 2), 128);
    EXPECT_EQ(Luma(out, 2, 2), 100);
}

TEST_F(VideoConversion, AnOverlayIsDrawnBlendedAndClippedAtTheFrameEdge)
{
    OverlaySettings overlay;
    EXPECT_EQ(m_filter->SetOverlay(&overlay), S_OK); // no text: nothing changes
    overlay.kind = 1;
    EXPECT_EQ(m_filter->SetOverlay(&overlay), E_FAIL); // no picture yet

    const char16_t text[] = u"ZuZidero";
    std::copy(std::begin(text), std::end(text), overlay.text);
    overlay.kind = 0;
    overlay.textColour = 0x000000FF; // red
    overlay.font.pixelSize = 20;
    overlay.opacity = 1.0f;
    ASSERT_EQ(m_filter->SetOverlay(&overlay), S_OK);
    const int ow = m_filter->OverlayWidth(), oh = m_filter->OverlayHeight();
    ASSERT_GT(ow, 40);
    ASSERT_GT(oh, 10);

    // Placed past the bottom-right corner: only the part inside the frame is drawn.
    Connect(128, 96, 128, 96);
    overlay.kind = 1;
    overlay.x = 128 - ow / 2;
    overlay.y = 96 - oh / 2;
    ASSERT_EQ(m_filter->SetOverlay(&overlay), S_OK);
    const Bytes out = Convert(Picture(128, 96, 16, 128, 128));
    // The overlay's white background makes the covered area bright; the rest stays black.
    EXPECT_GT(Luma(out, 127, 95), 200);
    EXPECT_EQ(Luma(out, overlay.x - 1, 95), 16);
    EXPECT_EQ(Luma(out, 127, overlay.y - 1), 16);
    // Text pixels are red: somewhere in the overlay's chroma Cr rises above neutral.
    bool red = false;
    for (int y = overlay.y / 2; y < 48; ++y)
        for (int x = overlay.x / 2; x < 64; ++x) red = red || Cr(out, x, y) > 160;
    EXPECT_TRUE(red);
    EXPECT_EQ(Cr(out, overlay.x / 2 - 1, 47), 128);

    // Half opacity blends frame and overlay.
    overlay.opacity = 0.5f;
    m_filter->SetOverlay(&overlay);
    const Bytes half = Convert(Picture(128, 96, 16, 128, 128));
    EXPECT_NEAR(Luma(half, 127, 95), (16 + Luma(out, 127, 95)) / 2, 1);
}

} // namespace

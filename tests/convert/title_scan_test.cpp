// What a scan of sampled pictures finds: black bars (at black level despite the noise of
// compression, common to every picture, in even sizes, never all of the picture), how the pictures
// are made (progressive, interlaced, telecined in the fields or by the stream's flags), and the
// frame a crop's shape takes.

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "convert/framing.h"
#include "convert/title_scan.h"

namespace {

constexpr int kWidth = 160, kHeight = 120;

// A 4:2:0 picture in three planes, grey with a moving bar, inside black bars.
struct TestPicture {
    std::vector<std::uint8_t> y = std::vector<std::uint8_t>(kWidth * kHeight, 16);
    std::vector<std::uint8_t> cb = std::vector<std::uint8_t>(kWidth * kHeight / 4, 128);
    std::vector<std::uint8_t> cr = std::vector<std::uint8_t>(kWidth * kHeight / 4, 128);

    std::uint8_t& At(int x, int row) { return y[static_cast<std::size_t>(row) * kWidth + x]; }
    void Add(PictureSurvey& survey, bool progressive = false, bool repeat = false) const
    {
        const std::uint8_t* planes[3] = {y.data(), cb.data(), cr.data()};
        const int strides[3] = {kWidth, kWidth / 2, kWidth / 2};
        survey.Add(planes, strides, progressive, repeat);
    }
};

// The picture between bars of these sizes; `step` moves its bar.
TestPicture Boxed(BlackBars bars, int step = 0)
{
    TestPicture p;
    for (int row = bars.top; row < kHeight - bars.bottom; ++row)
        for (int x = bars.left; x < kWidth - bars.right; ++x) p.At(x, row) = 110;
    for (int row = bars.top; row < kHeight - bars.bottom; ++row)
        for (int x = bars.left + 4 * step % 60; x < bars.left + 4 * step % 60 + 12 && x < kWidth - bars.right; ++x) p.At(x, row) = 220;
    return p;
}

TEST(BlackBars, RowsAndColumnsAtBlackLevelAreFoundDespiteNoise)
{
    TestPicture p = Boxed({8, 20, 0, 20});
    // Compression's noise in the bars: a few levels above black, and one brighter speck.
    for (int x = 0; x < kWidth; x += 3) p.At(x, 5) = 30;
    p.At(40, 2) = 45;
    const auto bars = FindBlackBars(p.y.data(), kWidth, kWidth, kHeight);
    ASSERT_TRUE(bars);
    EXPECT_EQ(*bars, (BlackBars{8, 20, 0, 20}));

    // A row with a bright detail is picture, however dark the rest of it.
    p.At(100, 10) = 200;
    EXPECT_EQ(FindBlackBars(p.y.data(), kWidth, kWidth, kHeight)->top, 10);
    // A black picture (a fade) tells nothing.
    const TestPicture black;
    EXPECT_FALSE(FindBlackBars(black.y.data(), kWidth, kWidth, kHeight));
}

TEST(BlackBars, TheSurveyKeepsWhatEveryPictureHasInEvenSizesAndLeavesSomePicture)
{
    PictureSurvey survey(kWidth, kHeight);
    survey.BeginStretch();
    // A dark scene reaches further into one picture's bars than the others': the common bars
    // are the narrowest; a black picture is left out; odd sizes round down.
    Boxed({0, 21, 0, 21}).Add(survey);
    Boxed({0, 25, 0, 23}).Add(survey);
    TestPicture().Add(survey);
    Boxed({3, 23, 0, 21}, 3).Add(survey);
    TitleScanResult result = survey.Result();
    EXPECT_EQ(result.pictures, 4);
    EXPECT_EQ(result.bars, (BlackBars{0, 20, 0, 20}));

    // Bars that would leave less than 32 rows keep 32.
    PictureSurvey thin(kWidth, kHeight);
    thin.BeginStretch();
    Boxed({0, 60, 0, 50}).Add(thin);
    result = thin.Result();
    EXPECT_GE(kHeight - result.bars.top - result.bars.bottom, 32);
    EXPECT_LE(kHeight - result.bars.top - result.bars.bottom, 34);
    EXPECT_EQ(result.bars.top % 2 + result.bars.bottom % 2, 0);
}

TEST(PictureFields, ProgressiveInterlacedAndTelecinedPicturesAreToldApart)
{
    // Progressive: each picture's two fields are one moment.
    PictureSurvey progressive(kWidth, kHeight);
    for (int stretch = 0; stretch < 3; ++stretch) {
        progressive.BeginStretch();
        for (int i = 0; i < 15; ++i) Boxed({}, i).Add(progressive);
    }
    EXPECT_EQ(progressive.Result().fields, PictureFields::kProgressive) << progressive.Result().reason;

    // Interlaced: every picture's fields are two moments (the bar moved between them).
    const auto woven = [](int topStep, int bottomStep) {
        TestPicture top = Boxed({}, topStep), bottom = Boxed({}, bottomStep);
        for (int row = 1; row < kHeight; row += 2)
            std::copy_n(bottom.y.begin() + row * kWidth, kWidth, top.y.begin() + row * kWidth);
        return top;
    };
    PictureSurvey interlaced(kWidth, kHeight);
    for (int stretch = 0; stretch < 3; ++stretch) {
        interlaced.BeginStretch();
        for (int i = 0; i < 15; ++i) woven(2 * i, 2 * i + 1).Add(interlaced);
    }
    EXPECT_EQ(interlaced.Result().fields, PictureFields::kInterlaced) << interlaced.Result().reason;

    // Hard telecine: film pictures over 2 and 3 fields in turn, woven into frames.
    PictureSurvey hard(kWidth, kHeight);
    std::vector<int> fields;
    for (int k = 0; fields.size() < 90; ++k)
        for (int n = 0; n < (k % 2 ? 3 : 2); ++n) fields.push_back(k);
    for (int stretch = 0; stretch < 3; ++stretch) {
        hard.BeginStretch();
        for (int i = 0; i < 15; ++i) woven(fields[static_cast<std::size_t>(30 * stretch + 2 * i)], fields[static_cast<std::size_t>(30 * stretch + 2 * i + 1)]).Add(hard);
    }
    const TitleScanResult hardResult = hard.Result();
    EXPECT_EQ(hardResult.fields, PictureFields::kTelecined) << hardResult.reason;
    EXPECT_FALSE(hardResult.softTelecine);

    // Soft telecine: progressive pictures, two of every four flagged to repeat a field.
    PictureSurvey soft(kWidth, kHeight);
    soft.BeginStretch();
    for (int i = 0; i < 16; ++i) Boxed({}, i).Add(soft, true, i % 2 == 0);
    const TitleScanResult softResult = soft.Result();
    EXPECT_EQ(softResult.fields, PictureFields::kTelecined) << softResult.reason;
    EXPECT_TRUE(softResult.softTelecine);
    EXPECT_STREQ(FieldsName(softResult.fields), "telecined");

    // Nothing seen: nothing known.
    EXPECT_EQ(PictureSurvey(kWidth, kHeight).Result().fields, PictureFields::kUnknown);
}

TEST(FrameForCrop, TheFrameTakesTheShapeOfWhatIsLeft)
{
    // A 2.35:1 film inside a 4:3 DVD picture (720 × 272 of 720 × 480): 640 × 480 becomes 640 × 272.
    FrameSize frame = FrameForCrop(640, 480, 720, 480, kAspect4x3, 720, 272);
    EXPECT_EQ(frame.width, 640);
    EXPECT_EQ(frame.height, 272);
    // A 4:3 picture pillarboxed in 16:9 (540 of 720 columns): as tall as the frame allows.
    frame = FrameForCrop(854, 480, 720, 480, kAspect16x9, 540, 480);
    EXPECT_EQ(frame.height, 480);
    EXPECT_EQ(frame.width, 640);
    // Even sizes always.
    frame = FrameForCrop(321, 241, 720, 576, kAspect4x3, 700, 500);
    EXPECT_EQ(frame.width % 2 + frame.height % 2, 0);
}

} // namespace

// The deinterlacer over libavfilter: one picture out per picture in and in order, the last one
// let out by the end, marked pictures deinterlaced and unmarked ones left as they are; as an
// inverse telecine, the film's own pictures back from 3:2 pulldown, four for every five frames.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "convert/deinterlacer.h"

namespace {

constexpr int kWidth = 160, kHeight = 120;
using Picture = std::vector<std::uint8_t>;

// A bright bar moving right on grey, its two fields taken half a step apart (as a camera that
// shoots fields does): every frame combs at the bar's edges.
Picture Combed(int step)
{
    Picture p(kWidth * kHeight * 3 / 2, 128);
    for (int y = 0; y < kHeight; ++y) {
        const int left = 10 * step + (y % 2 ? 5 : 0);
        for (int x = left; x < left + 20 && x < kWidth; ++x) p[static_cast<std::size_t>(y) * kWidth + x] = 235;
    }
    return p;
}

// How much neighbouring rows differ: large for a combed picture.
long Combing(const Picture& p)
{
    long sum = 0;
    for (int y = 0; y + 1 < kHeight; y += 2)
        for (int x = 0; x < kWidth; ++x)
            sum += std::abs(p[static_cast<std::size_t>(y) * kWidth + x] - p[static_cast<std::size_t>(y + 1) * kWidth + x]);
    return sum;
}

// Pushes `count` pictures (marked as asked) and takes out what comes, then ends.
std::vector<std::pair<std::int64_t, Picture>> PushAll(Deinterlacer& d, int count, bool marked)
{
    std::vector<std::pair<std::int64_t, Picture>> out;
    Picture picture(kWidth * kHeight * 3 / 2);
    std::int64_t number = 0;
    for (int i = 0; i < count; ++i) {
        EXPECT_TRUE(d.Push(Combed(i).data(), marked, true, i));
        while (d.Pull(picture.data(), number)) out.emplace_back(number, picture);
        EXPECT_EQ(static_cast<int>(out.size()), i) << "one picture late";
    }
    EXPECT_TRUE(d.End());
    while (d.Pull(picture.data(), number)) out.emplace_back(number, picture);
    return out;
}

TEST(Deinterlacer, OnePictureOutForEveryPictureInAndInOrder)
{
    Deinterlacer d;
    ASSERT_TRUE(d.Open(kWidth, kHeight, false));
    ASSERT_NE(d.FilterName(), nullptr);
    const auto out = PushAll(d, 8, true);
    ASSERT_EQ(out.size(), 8u);
    for (std::size_t i = 0; i < out.size(); ++i) {
        EXPECT_EQ(out[i].first, static_cast<std::int64_t>(i));
        EXPECT_LT(Combing(out[i].second), Combing(Combed(static_cast<int>(i))) / 4) << "picture " << i;
    }
    // After a reset it starts again.
    ASSERT_TRUE(d.Reset());
    EXPECT_EQ(PushAll(d, 3, true).size(), 3u);
}

TEST(Deinterlacer, UnmarkedPicturesPassUntouchedUnlessEveryPictureIsAsked)
{
    Deinterlacer onlyMarked;
    ASSERT_TRUE(onlyMarked.Open(kWidth, kHeight, false));
    const auto kept = PushAll(onlyMarked, 5, false);
    ASSERT_EQ(kept.size(), 5u);
    for (std::size_t i = 0; i < kept.size(); ++i) EXPECT_EQ(kept[i].second, Combed(static_cast<int>(i))) << i;

    Deinterlacer every;
    ASSERT_TRUE(every.Open(kWidth, kHeight, true));
    const auto changed = PushAll(every, 5, false);
    ASSERT_EQ(changed.size(), 5u);
    EXPECT_LT(Combing(changed[2].second), Combing(Combed(2)) / 4);
}

// Film picture k: a bar at its own place on a level of its own, the same in both fields.
Picture FilmPicture(int k)
{
    Picture p(kWidth * kHeight * 3 / 2, 128);
    for (int y = 0; y < kHeight; ++y) {
        std::uint8_t* row = p.data() + static_cast<std::size_t>(y) * kWidth;
        std::fill(row, row + kWidth, static_cast<std::uint8_t>(60 + k % 5 * 8));
        const int left = 6 * k % (kWidth - 20);
        std::fill(row + left, row + left + 20, static_cast<std::uint8_t>(235));
    }
    return p;
}

// Film pictures telecined 3:2 (two fields of one, three of the next, top field first) into frames
// of a top and a bottom field: frames that weave two film pictures comb.
std::vector<Picture> Telecined(int frames)
{
    std::vector<int> fields; // the film picture of each field, top and bottom by turns
    for (int k = 0; static_cast<int>(fields.size()) < 2 * frames; ++k)
        for (int n = 0; n < (k % 2 ? 3 : 2); ++n) fields.push_back(k);
    std::vector<Picture> out;
    for (int f = 0; f < frames; ++f) {
        const Picture top = FilmPicture(fields[static_cast<std::size_t>(2 * f)]);
        const Picture bottom = FilmPicture(fields[static_cast<std::size_t>(2 * f + 1)]);
        Picture frame = top;
        for (int y = 1; y < kHeight; y += 2)
            std::copy_n(bottom.data() + static_cast<std::size_t>(y) * kWidth, kWidth, frame.data() + static_cast<std::size_t>(y) * kWidth);
        out.push_back(frame);
    }
    return out;
}

TEST(Deinterlacer, InverseTelecineGivesTheFilmsPicturesBackAtFourFifthsTheRate)
{
    constexpr std::int64_t kFrame = 333667; // 29.97 a second, 100 ns
    Deinterlacer d;
    ASSERT_TRUE(d.OpenInverseTelecine(kWidth, kHeight, kFrame));
    EXPECT_STREQ(d.FilterName(), "fieldmatch");
    const std::vector<Picture> frames = Telecined(40);
    long combedFrames = 0;
    for (const Picture& frame : frames) combedFrames += Combing(frame) > 0;
    ASSERT_EQ(combedFrames, 16) << "two frames in five weave two film pictures";

    std::vector<std::pair<std::int64_t, Picture>> out;
    Picture picture(kWidth * kHeight * 3 / 2);
    std::int64_t time = 0;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        ASSERT_TRUE(d.Push(frames[i].data(), true, true, static_cast<std::int64_t>(i) * kFrame));
        while (d.Pull(picture.data(), time)) out.emplace_back(time, picture);
    }
    ASSERT_TRUE(d.End());
    while (d.Pull(picture.data(), time)) out.emplace_back(time, picture);

    ASSERT_EQ(out.size(), 32u) << "40 frames hold 32 film pictures";
    for (std::size_t i = 0; i < out.size(); ++i) {
        EXPECT_EQ(Combing(out[i].second), 0) << "picture " << i << " is one film picture's two fields";
        if (i == 0) continue;
        // 1001/24000 s apart, and each a new film picture.
        EXPECT_NEAR(out[i].first - out[i - 1].first, 417083, 2) << i;
        EXPECT_NE(out[i].second, out[i - 1].second) << "picture " << i << " repeats the one before";
    }
}

TEST(Deinterlacer, UnusableSizesAreRefused)
{
    Deinterlacer d;
    EXPECT_FALSE(d.Open(0, 120, false));
    EXPECT_FALSE(d.Open(161, 120, false));
    EXPECT_FALSE(d.Push(Combed(0).data(), true, true, 0));
    EXPECT_FALSE(d.OpenInverseTelecine(kWidth, kHeight, 0));
}

} // namespace

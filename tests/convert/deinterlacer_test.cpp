// The deinterlacer over libavfilter: one picture out per picture in and in order, the last one
// let out by the end, marked pictures deinterlaced and unmarked ones left as they are.

#include <gtest/gtest.h>

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

TEST(Deinterlacer, UnusableSizesAreRefused)
{
    Deinterlacer d;
    EXPECT_FALSE(d.Open(0, 120, false));
    EXPECT_FALSE(d.Open(161, 120, false));
    EXPECT_FALSE(d.Push(Combed(0).data(), true, true, 0));
}

} // namespace

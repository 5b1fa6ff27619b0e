#include <gtest/gtest.h>

#include <cstring>

#include "pipeline/format_blocks.h"
#include "pipeline/media_guids.h"
#include "pipeline/media_type.h"
#include "com/task_memory.h"
#include "support/harness.h"

namespace {

using testing_filters::MakeYv12Type;

TEST(MediaType, CopyOfZeroLengthFormatBlockHasNoBlockAndComparesEqual)
{
    MediaTypeRecord record{};
    record.majortype = MEDIATYPE_Audio;
    record.subtype = MEDIASUBTYPE_PCM;
    record.formattype = FORMAT_WaveFormatEx;
    BYTE stray[4] = {1, 2, 3, 4};
    record.pbFormat = stray; // a pointer without length means no block
    record.cbFormat = 0;

    CMediaType copy(record);
    EXPECT_EQ(copy.pbFormat, nullptr);
    EXPECT_EQ(copy.cbFormat, 0u);
    EXPECT_TRUE(copy == CMediaType(record));
    record.pbFormat = nullptr;
}

TEST(MediaType, DeepCopyOwnsItsBlock)
{
    CMediaType original = MakeYv12Type(720, 480);
    CMediaType copy = original;
    ASSERT_NE(copy.pbFormat, original.pbFormat);
    EXPECT_TRUE(copy == original);
    reinterpret_cast<VIDEOINFOHEADER*>(copy.pbFormat)->bmiHeader.biWidth = 704;
    EXPECT_FALSE(copy == original);
    EXPECT_EQ(reinterpret_cast<VIDEOINFOHEADER*>(original.pbFormat)->bmiHeader.biWidth, 720);
}

TEST(MediaType, EqualityLooksAtEveryIdentifierAndTheBlock)
{
    CMediaType a = MakeYv12Type(16, 16);
    CMediaType b = a;
    b.subtype = MEDIASUBTYPE_I420;
    EXPECT_FALSE(a == b);
    b = a;
    b.formattype = FORMAT_VideoInfo2;
    EXPECT_FALSE(a == b);
    b = a;
    b.ReallocFormatBuffer(a.cbFormat + 4);
    EXPECT_FALSE(a == b);
}

TEST(MediaType, PartialMatch)
{
    const CMediaType full = MakeYv12Type(16, 16);
    CMediaType partial;
    partial.InitMediaType();
    EXPECT_TRUE(full.MatchesPartial(&partial)); // all null
    partial.majortype = MEDIATYPE_Video;
    EXPECT_TRUE(full.MatchesPartial(&partial));
    partial.subtype = MEDIASUBTYPE_I420;
    EXPECT_FALSE(full.MatchesPartial(&partial));
    partial.subtype = GUID_NULL;
    // A format type given requires an equal block.
    partial.formattype = FORMAT_VideoInfo;
    EXPECT_FALSE(full.MatchesPartial(&partial));
    partial.SetFormat(full.pbFormat, full.cbFormat);
    EXPECT_TRUE(full.MatchesPartial(&partial));
    EXPECT_TRUE(partial.IsFullySpecified());
}

TEST(MediaType, ResetFreesTheBlockAndClearsTheRecord)
{
    CMediaType type = MakeYv12Type(16, 16);
    type.ResetFormatBuffer();
    EXPECT_EQ(type.pbFormat, nullptr);
    EXPECT_EQ(type.cbFormat, 0u);
    EXPECT_FALSE(type.IsValid());
    EXPECT_TRUE(type.IsPartiallySpecified());
}

TEST(MediaType, TaskMemoryCopiesRoundTrip)
{
    const CMediaType type = MakeYv12Type(32, 32);
    MediaTypeRecord* copy = CreateMediaType(&type);
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(CMediaType(*copy) == type);
    DeleteMediaType(copy);
    DeleteMediaType(nullptr);
}

TEST(FormatBlocks, BitmapHeaderSitsWhereTheFormatsPutIt)
{
    // The byte offsets other filters read the picture size from.
    EXPECT_EQ(offsetof(VIDEOINFOHEADER, bmiHeader), 48u);
    EXPECT_EQ(offsetof(VIDEOINFOHEADER2, bmiHeader), 72u);
    EXPECT_EQ(SizeOfMpeg2VideoInfo(0), 132u);
    EXPECT_EQ(SizeOfMpeg1VideoInfo(140), 96u + 140u);
}

} // namespace

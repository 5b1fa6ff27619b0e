#include <gtest/gtest.h>

#include <numeric>

#include "demux/memory_bit_reader.h"
#include "demux/nal_unit_scanner.h"
#include "demux/demux_test_support.h"

namespace {

using namespace demux_testing;

std::vector<std::uint8_t> Counting(std::size_t n)
{
    std::vector<std::uint8_t> bytes(n);
    std::iota(bytes.begin(), bytes.end(), 0);
    return bytes;
}

TEST(BaseSplitterFile, SeeksAreClampedToTheData)
{
    auto p = MakeParsingFile(Counting(100));
    p.file->SeekTo(1000);
    EXPECT_EQ(p.file->Position(), 100);
    EXPECT_EQ(p.file->Remaining(), 0);
    p.file->SeekTo(-5);
    EXPECT_EQ(p.file->Position(), 0);
    BYTE b = 0xAA;
    p.file->SeekTo(100);
    EXPECT_EQ(p.file->ReadBytes(&b, 1), S_FALSE); // nothing left
    EXPECT_EQ(p.file->ReadBits(8), 0u);
}

TEST(BaseSplitterFile, HalfReadBytesCountAsUnreadAndAreReadAgain)
{
    auto p = MakeParsingFile({0xAB, 0xCD, 0xEF});
    EXPECT_EQ(p.file->ReadBits(4), 0xAu);
    EXPECT_EQ(p.file->Position(), 0); // the byte with 4 unread bits
    BYTE out[2] = {};
    ASSERT_EQ(p.file->ReadAlignedBytes(out, 2), S_OK);
    EXPECT_EQ(out[0], 0xAB);
    EXPECT_EQ(out[1], 0xCD);
    EXPECT_EQ(p.file->ReadBits(4), 0xEu);
    EXPECT_EQ(p.file->Position(), 2);
    EXPECT_EQ(p.file->ReadBits(16, true), 0u); // past the end reads as 0 without consuming
    EXPECT_EQ(p.file->ReadBits(4), 0xFu);
    EXPECT_EQ(p.file->Position(), 3);

    auto q = MakeParsingFile({0x12, 0x34});
    EXPECT_EQ(q.file->ReadBits(4), 0x1u);
    q.file->AlignToByte(); // drops the partial byte
    EXPECT_EQ(q.file->Position(), 1);
    EXPECT_EQ(q.file->ReadBits(8), 0x34u);
}

TEST(BaseSplitterFile, AReadAcrossTheCachedWindowIsServedFromBoth)
{
    auto p = MakeParsingFile(Counting(200), 16);
    BYTE first[10];
    ASSERT_EQ(p.file->ReadBytes(first, 10), S_OK); // fills the window [0, 16)
    p.file->SeekTo(12);
    BYTE straddle[8];
    ASSERT_EQ(p.file->ReadBytes(straddle, 8), S_OK);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(straddle[i], 12 + i);
    // Larger than the cache: straight from the source.
    BYTE large[50];
    p.file->SeekTo(100);
    ASSERT_EQ(p.file->ReadBytes(large, 50), S_OK);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(large[i], 100 + i);
}

class CountingFile : public CBaseSplitterFileEx {
public:
    CountingFile(IAsyncReader* reader, HRESULT& hr) : CBaseSplitterFileEx(reader, hr, 64, false, true) {}
    void OnSourceComplete() override { ++completions; }
    int completions = 0;
};

TEST(BaseSplitterFile, AGrowingSourceCompletesOnce)
{
    Source source = MakeSource(Counting(256));
    source.filter->Stream().SetGrowing(128);
    HRESULT hr = S_OK;
    CountingFile file(source.reader.Get(), hr);
    ASSERT_EQ(hr, S_OK);
    EXPECT_TRUE(file.IsStreaming());
    BYTE b = 0;
    ASSERT_EQ(file.ReadBytes(&b, 1), S_OK);
    EXPECT_EQ(file.completions, 0);
    EXPECT_EQ(file.HasData(1000), S_FALSE); // not there yet
    source.filter->Stream().Complete();
    ASSERT_EQ(file.ReadBytes(&b, 1), S_OK);
    ASSERT_EQ(file.ReadBytes(&b, 1), S_OK);
    EXPECT_EQ(file.completions, 1);
    EXPECT_TRUE(file.IsRandomAccess());

    // A source that must be random access refuses a growing one.
    Source growing = MakeSource(Counting(10));
    growing.filter->Stream().SetGrowing(5);
    HRESULT refused = S_OK;
    CBaseSplitterFile strict(growing.reader.Get(), refused, 64, true, false);
    EXPECT_EQ(refused, E_FAIL);
    HRESULT none = S_OK;
    CBaseSplitterFile nothing(nullptr, none);
    EXPECT_EQ(none, E_UNEXPECTED);
    EXPECT_EQ(nothing.ReadBytes(&b, 1), E_NOINTERFACE);
}

TEST(BaseSplitterFile, ExpGolombCodes)
{
    // The codes 1, 010 and 00111.
    auto p = MakeParsingFile(BitWriter().Bits(1, 1).Bits(0b010, 3).Bits(0b00111, 5).Done());
    EXPECT_EQ(p.file->ReadUnsignedExpGolomb(), 0u);
    EXPECT_EQ(p.file->ReadUnsignedExpGolomb(), 1u);
    EXPECT_EQ(p.file->ReadUnsignedExpGolomb(), 6u);
    // k = 1, 2, 3, 4 are 010, 011, 00100, 00101.
    auto s = MakeParsingFile(BitWriter().Bits(0b010, 3).Bits(0b011, 3).Bits(0b00100, 5).Bits(0b00101, 5).Done());
    EXPECT_EQ(s.file->ReadSignedExpGolomb(), 1);
    EXPECT_EQ(s.file->ReadSignedExpGolomb(), -1);
    EXPECT_EQ(s.file->ReadSignedExpGolomb(), 2);
    EXPECT_EQ(s.file->ReadSignedExpGolomb(), -2);
}

TEST(MemoryBitReader, FollowsTheSameRulesAndStopsAtTheEnd)
{
    const std::vector<std::uint8_t> bytes = BitWriter().Bits(0b00111, 5).Bits(0b011, 3).Bytes({0x12, 0x34}).Done();
    MemoryBitReader bits(bytes.data(), bytes.size());
    EXPECT_EQ(bits.ReadUnsignedExpGolomb(), 6u);
    EXPECT_EQ(bits.ReadSignedExpGolomb(), -1);
    EXPECT_EQ(bits.Position(), 1u);
    EXPECT_EQ(bits.ReadBits(8, true), 0x12u);
    bits.SkipBytes(1);
    EXPECT_EQ(bits.ReadBits(8), 0x34u);
    EXPECT_EQ(bits.ReadBits(8), 0u); // past the end
    EXPECT_TRUE(bits.AtEnd());
}

TEST(NalUnitScanner, SplitsAnnexBAtStartCodes)
{
    const std::vector<std::uint8_t> data = {0, 0, 0, 1, 0x67, 0x42, 0xC0, 0x1E, 0, 0, 1, 0x68, 0xCE, 0x38, 0x80,
                                            0, 0, 1, 0x65, 0x88, 0x84, 0x21, 0xA0, 0xFF};
    NalUnitScanner nal(data.data(), data.size());
    ASSERT_TRUE(nal.ReadNext());
    EXPECT_EQ(nal.Begin() - data.data(), 1); // at the second zero byte
    EXPECT_EQ(nal.NalUnitType(), 7);
    EXPECT_EQ(nal.NalRefIdc(), 3);
    EXPECT_EQ(nal.PayloadLength(), 4u);
    ASSERT_TRUE(nal.ReadNext());
    EXPECT_EQ(nal.NalUnitType(), 8);
    EXPECT_EQ(nal.PayloadLength(), 4u);
    ASSERT_TRUE(nal.ReadNext());
    EXPECT_EQ(nal.NalUnitType(), 5);
    EXPECT_EQ(nal.Payload() + nal.PayloadLength(), data.data() + data.size());
    EXPECT_FALSE(nal.ReadNext());
}

TEST(NalUnitScanner, SplitsLengthPrefixedUnits)
{
    const std::vector<std::uint8_t> data = {0, 0, 0, 3, 0x67, 1, 2, 0, 0, 0, 2, 0x68, 9};
    NalUnitScanner nal(data.data(), data.size(), 4);
    ASSERT_TRUE(nal.ReadNext());
    EXPECT_EQ(nal.NalUnitType(), 7);
    EXPECT_EQ(nal.PayloadLength(), 3u);
    ASSERT_TRUE(nal.ReadNext());
    EXPECT_EQ(nal.NalUnitType(), 8);
    EXPECT_EQ(nal.PayloadLength(), 2u);
    EXPECT_FALSE(nal.ReadNext());
}

} // namespace

// Blu-ray clip information (CLPI) and playlists (MPLS), written here byte by byte from the
// format's tables: the streams and their parameters, the checks on type and version, the play
// items, marks and repeated clips, the main playlist of a folder, files cut short anywhere, and
// the splitter naming an M2TS clip's streams from its sibling CLIPINF file.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "demux/hdmv_clip_info.h"
#include "support/ffmpeg_tools.h"
#include "support/file_source.h"
#include "splitter_fixture.h"

namespace {

using namespace testing_filters;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

void Put(Bytes& b, std::uint32_t value, int size)
{
    for (int i = size - 1; i >= 0; --i) b.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}
void Put(Bytes& b, const std::string& text) { b.insert(b.end(), text.begin(), text.end()); }

void Write(const fs::path& path, const Bytes& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// One stream of a CLPI's ProgramInfo: PID, then the coding info (length, type, fields).
struct ClipStream {
    std::uint16_t pid;
    std::uint8_t type;
    Bytes fields;
};

Bytes Clpi(const std::vector<ClipStream>& streams, const std::string& version = "0200", const std::string& kind = "HDMV")
{
    Bytes b;
    Put(b, kind);
    Put(b, version);
    Put(b, 40, 4); // SequenceInfo
    Put(b, 40, 4); // ProgramInfo
    b.resize(40, 0);
    Bytes program;
    Put(program, 0, 1);              // reserved
    Put(program, 1, 1);              // one program sequence
    Put(program, 0, 4);              // SPN start
    Put(program, 0x100, 2);          // program map PID
    Put(program, static_cast<std::uint32_t>(streams.size()), 1);
    Put(program, 0, 1);              // groups
    for (const ClipStream& s : streams) {
        Put(program, s.pid, 2);
        Put(program, static_cast<std::uint32_t>(s.fields.size() + 1 + 2), 1); // two spare bytes at the end
        Put(program, s.type, 1);
        program.insert(program.end(), s.fields.begin(), s.fields.end());
        Put(program, 0, 2);
    }
    Put(b, static_cast<std::uint32_t>(program.size()), 4);
    b.insert(b.end(), program.begin(), program.end());
    return b;
}

Bytes Language(const std::string& code, std::uint8_t lead = 0xFF)
{
    Bytes b;
    if (lead != 0xFF) b.push_back(lead);
    Put(b, code);
    return b;
}

struct Item {
    std::string clip; // five characters
    std::uint32_t in, out; // 45 kHz
    std::string codec = "M2TS";
};
struct MarkEntry {
    std::uint8_t type;
    std::uint16_t item;
    std::uint32_t stamp;
};

Bytes Mpls(const std::vector<Item>& items, const std::vector<MarkEntry>& marks = {}, const std::string& version = "0200")
{
    Bytes b;
    Put(b, "MPLS");
    Put(b, version);
    Put(b, 40, 4); // PlayList
    Put(b, 0, 4);  // PlayListMark, filled below
    b.resize(40, 0);
    Bytes list;
    Put(list, 0, 2);
    Put(list, static_cast<std::uint32_t>(items.size()), 2);
    Put(list, 0, 2);
    for (const Item& item : items) {
        Bytes one;
        Put(one, item.clip);
        Put(one, item.codec);
        Put(one, 0, 3);
        Put(one, item.in, 4);
        Put(one, item.out, 4);
        Put(one, 0, 2); // the rest of a real play item
        Put(one, 0, 4);
        Put(list, static_cast<std::uint32_t>(one.size()), 2);
        list.insert(list.end(), one.begin(), one.end());
    }
    Put(b, static_cast<std::uint32_t>(list.size()), 4);
    b.insert(b.end(), list.begin(), list.end());
    const std::uint32_t marksAt = static_cast<std::uint32_t>(b.size());
    Put(b, static_cast<std::uint32_t>(2 + 14 * marks.size()), 4);
    Put(b, static_cast<std::uint32_t>(marks.size()), 2);
    for (const MarkEntry& m : marks) {
        Put(b, 0, 1);
        Put(b, m.type, 1);
        Put(b, m.item, 2);
        Put(b, m.stamp, 4);
        Put(b, 0x1011, 2);
        Put(b, 0, 4);
    }
    for (int i = 0; i < 4; ++i) b[12 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(marksAt >> (8 * (3 - i)));
    return b;
}

class HdmvFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_root = TemporaryPath("bluray-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(m_root);
        m_bdmv = fs::path(m_root) / "BDMV";
    }
    void TearDown() override { fs::remove_all(m_root); }
    std::string m_root;
    fs::path m_bdmv;
};

const std::vector<ClipStream> kStreams = {
    {0x1011, 0x1B, {0x61, 0x30}},                           // H.264, 1080i (6) at 23.976 (1), 16:9 (3)
    {0x1100, 0x81, Bytes{0x31, 'e', 'n', 'g'}},             // AC-3 stereo (3) at 48 kHz (1), English
    {0x1101, 0x80, Bytes{0x3C, 'j', 'p', 'n'}},             // LPCM at 192(48) kHz (12), Japanese
    {0x1200, 0x90, Language("fra")},                        // presentation graphics, French
    {0x1800, 0x92, Language("deu", 0x01)},                  // text subtitles, German
    {0x1A00, 0x20, {}},                                     // an unknown coding type: kept, no fields
};

TEST_F(HdmvFolder, ClipInformationListsEveryStreamWithItsParameters)
{
    const fs::path clpi = m_bdmv / "CLIPINF" / "00001.clpi";
    Write(clpi, Clpi(kStreams));
    CHdmvClipInfo info;
    ASSERT_EQ(info.ReadClipInfo(clpi), S_OK);
    EXPECT_TRUE(info.IsBluray());
    ASSERT_EQ(info.Streams().size(), kStreams.size());
    const ClipStreamInfo* video = info.FindClipStream(0x1011);
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(video->streamType, 0x1B);
    EXPECT_EQ(video->videoFormat, 6);
    EXPECT_EQ(video->frameRate, 1);
    EXPECT_EQ(video->aspectRatio, 3);
    const ClipStreamInfo* ac3 = info.FindClipStream(0x1100);
    ASSERT_NE(ac3, nullptr);
    EXPECT_STREQ(ac3->language, "eng");
    EXPECT_EQ(ac3->locale, 0x0409u);
    EXPECT_EQ(ac3->presentationType, 3);
    EXPECT_EQ(ac3->sampleRateCode, 1);
    EXPECT_EQ(info.FindClipStream(0x1101)->sampleRateCode, 12);
    EXPECT_STREQ(info.FindClipStream(0x1200)->language, "fra");
    EXPECT_STREQ(info.FindClipStream(0x1800)->language, "deu");
    EXPECT_EQ(info.FindClipStream(0x1A00)->streamType, 0x20);
    EXPECT_EQ(info.FindClipStream(0x1FFF), nullptr);
    // The clip information of a clip is its sibling CLIPINF folder's.
    EXPECT_EQ(CHdmvClipInfo::ClipInfoPathOf(m_bdmv / "STREAM" / "00001.M2TS"), m_bdmv / "CLIPINF" / "00001.clpi");
}

TEST_F(HdmvFolder, OtherVersionsTypesAndCutFilesAreRefused)
{
    const fs::path clpi = m_bdmv / "CLIPINF" / "00001.clpi";
    CHdmvClipInfo info;
    Write(clpi, Clpi(kStreams, "0300"));
    EXPECT_EQ(info.ReadClipInfo(clpi), VFW_E_INVALID_FILE_FORMAT);
    EXPECT_FALSE(info.IsBluray());
    Write(clpi, Clpi(kStreams, "0100", "HDMX"));
    EXPECT_EQ(info.ReadClipInfo(clpi), VFW_E_INVALID_FILE_FORMAT);
    EXPECT_EQ(info.ReadClipInfo(m_bdmv / "CLIPINF" / "missing.clpi"), hr(0x80070000u | ENOENT));
    // Cut anywhere, a file is refused or read whole; never read past its end.
    const Bytes whole = Clpi(kStreams, "0100");
    int refused = 0;
    for (std::size_t size = 0; size < whole.size(); ++size) {
        Write(clpi, Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size)));
        const HRESULT result = info.ReadClipInfo(clpi);
        if (result == VFW_E_INVALID_FILE_FORMAT) {
            ++refused;
            EXPECT_FALSE(info.IsBluray());
        }
    }
    EXPECT_GT(refused, static_cast<int>(whole.size()) - 4); // only the two spare bytes may go
    const Bytes playlist = Mpls({{"00001", 0, 90000}, {"00002", 0, 45000}}, {{1, 0, 0}});
    for (std::size_t size = 0; size + 1 < playlist.size(); ++size) {
        Write(m_bdmv / "PLAYLIST" / "00000.mpls", Bytes(playlist.begin(), playlist.begin() + static_cast<std::ptrdiff_t>(size)));
        CHdmvClipInfo::Playlist read;
        const HRESULT result = CHdmvClipInfo::ReadPlaylist(m_bdmv / "PLAYLIST" / "00000.mpls", read);
        EXPECT_TRUE(result == VFW_E_INVALID_FILE_FORMAT || (result == S_OK && read.items.size() == 2)) << size;
    }
}

TEST_F(HdmvFolder, APlaylistChainsItsClipsWithTheirTimesAndChapters)
{
    const fs::path path = m_bdmv / "PLAYLIST" / "00001.mpls";
    // Two clips: 2 s from 1 s into the first, 3 s of the second; entry marks at 0 and 1.5 s of
    // the first item and 0.5 s of the second, and a link point (type 2) that is no chapter.
    Write(path, Mpls({{"00001", 45000, 135000}, {"00002", 90000, 225000}},
                     {{1, 0, 45000}, {1, 0, 112500}, {2, 1, 90000}, {1, 1, 112500}}));
    CHdmvClipInfo::Playlist playlist;
    ASSERT_EQ(CHdmvClipInfo::ReadPlaylist(path, playlist), S_OK);
    ASSERT_EQ(playlist.items.size(), 2u);
    EXPECT_EQ(playlist.items[0].clip, m_bdmv / "STREAM" / "00001.M2TS");
    EXPECT_EQ(playlist.items[1].clip, m_bdmv / "STREAM" / "00002.M2TS");
    EXPECT_EQ(playlist.items[0].in, 10000000);
    EXPECT_EQ(playlist.items[0].out, 30000000);
    EXPECT_EQ(playlist.duration, 50000000);
    ASSERT_EQ(playlist.chapters.size(), 3u);
    EXPECT_EQ(playlist.chapters[1].playItem, 0);
    EXPECT_EQ(playlist.chapters[1].time, 25000000);
    EXPECT_EQ(playlist.chapters[2].playItem, 1);
    EXPECT_FALSE(playlist.repeatedClip);
    // A clip played twice is told; a codec other than M2TS refuses the playlist.
    Write(path, Mpls({{"00001", 0, 90000}, {"00002", 0, 90000}, {"00001", 0, 90000}}));
    EXPECT_EQ(CHdmvClipInfo::ReadPlaylist(path, playlist), S_FALSE);
    EXPECT_TRUE(playlist.repeatedClip);
    Write(path, Mpls({{"00001", 0, 90000, "M2TX"}}));
    EXPECT_EQ(CHdmvClipInfo::ReadPlaylist(path, playlist), VFW_E_INVALID_FILE_FORMAT);
    Write(path, Mpls({{"00001", 0, 90000}}, {}, "0300"));
    EXPECT_EQ(CHdmvClipInfo::ReadPlaylist(path, playlist), VFW_E_INVALID_FILE_FORMAT);
}

TEST_F(HdmvFolder, TheMainPlaylistIsTheLongestWithoutARepeatedClip)
{
    fs::path found;
    CHdmvClipInfo::Playlist playlist;
    EXPECT_EQ(CHdmvClipInfo::FindMainPlaylist(m_root, found, playlist), E_FAIL); // no BDMV yet
    Write(m_bdmv / "PLAYLIST" / "00000.mpls", Mpls({{"00001", 0, 45000}}));                                  // 1 s
    Write(m_bdmv / "PLAYLIST" / "00001.mpls", Mpls({{"00001", 0, 450000}, {"00002", 0, 450000}}));           // 20 s
    Write(m_bdmv / "PLAYLIST" / "00002.mpls", Mpls({{"00001", 0, 900000}, {"00001", 0, 900000}}));           // 40 s, repeated
    Write(m_bdmv / "PLAYLIST" / "00003.mpls", Mpls({{"00003", 0, 900000}}, {}, "0300"));                     // 20 s, refused
    Write(m_bdmv / "PLAYLIST" / "readme.txt", Bytes{'h', 'i'});
    fs::create_directories(m_bdmv / "STREAM");
    // The folder above BDMV, BDMV itself, and its PLAYLIST and STREAM folders all find it.
    for (const fs::path& folder : {fs::path(m_root), m_bdmv, m_bdmv / "PLAYLIST", m_bdmv / "STREAM", fs::path(m_root + "/")}) {
        ASSERT_EQ(CHdmvClipInfo::FindMainPlaylist(folder, found, playlist), S_OK) << folder;
        EXPECT_EQ(found, m_bdmv / "PLAYLIST" / "00001.mpls") << folder;
        EXPECT_EQ(playlist.duration, 200000000);
        EXPECT_EQ(playlist.items.size(), 2u);
    }
    EXPECT_EQ(CHdmvClipInfo::BdmvFolder(m_bdmv / "PLAYLIST"), m_bdmv);
    EXPECT_TRUE(CHdmvClipInfo::BdmvFolder(fs::path(m_root) / "elsewhere").empty());
}

class HdmvSplitter : public SplitterFixture {};

TEST_F(HdmvSplitter, AClipsStreamsAreNamedFromItsSiblingClipInformation)
{
    const fs::path root = TemporaryPath("bluray-clip");
    fs::remove_all(root);
    const fs::path clip = root / "BDMV" / "STREAM" / "00001.M2TS";
    fs::create_directories(clip.parent_path());
    // ffmpeg's transport stream gives no language; the clip information says English.
    RunTool({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=320x240:rate=25", "-f", "lavfi", "-i",
             "sine=frequency=440:sample_rate=48000", "-t", "2", "-c:v", "mpeg2video", "-c:a", "ac3", "-f", "mpegts",
             "-mpegts_m2ts_mode", "1", "-streamid", "0:0x1011", "-streamid", "1:0x1100", clip.string()});
    ASSERT_TRUE(fs::exists(clip));
    Write(CHdmvClipInfo::ClipInfoPathOf(clip), Clpi({{0x1011, 0x02, {0x31, 0x20}}, {0x1100, 0x81, Bytes{0x31, 'e', 'n', 'g'}}}));
    ComPtr<FileSourceFilter> source = FileSourceFilter::Create(clip.string());
    ASSERT_TRUE(source);
    ASSERT_EQ(ConnectSplitter(source.Get()), S_OK);
    bool english = false;
    for (const std::string& name : StreamNames()) english |= name.find("English") != std::string::npos;
    EXPECT_TRUE(english) << "no stream named from the clip information";
    fs::remove_all(root);
}

} // namespace

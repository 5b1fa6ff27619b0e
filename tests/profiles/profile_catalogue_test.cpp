#include <gtest/gtest.h>

#include <set>

#include "profiles/profile_catalogue.h"
#include "profiles/xml_document.h"
#include "support/shipped_catalogue.h"

namespace {

// A catalogue read from text.
void LoadText(ProfileCatalogue& catalogue, const std::string& text)
{
    XmlDocument doc;
    ASSERT_TRUE(doc.LoadBytes(text)) << doc.ResultText();
    catalogue.LoadFrom(doc);
}

ProfileRecord OnlyProfile(const std::string& fields)
{
    ProfileCatalogue catalogue;
    LoadText(catalogue, "<Profiles><Profile>" + fields + "</Profile></Profiles>");
    ProfileRecord record;
    EXPECT_TRUE(catalogue.FindByIndex(0, &record));
    return record;
}

const std::string kVideo = "<VideoCodecName value='libx264'/><Width value='640'/><Height value='480'/>"
                           "<FrameRate value='25000'/><VideoBitRate value='1000000'/>";
const std::string kAudio = "<AudioCodecName value='aac'/><SampleRate value='48000'/><AudioBitRate value='128000'/>"
                           "<Channel value='2'/>";
const std::string kVideoLists = "<Resolutions value='640*480'/><FrameRates value='25000$25'/>"
                                "<VideoCodecs value='libx264$H.264'/><VideoBitRates value='1000000$1000 kbps'/>";
const std::string kAudioLists = "<SampleRates value='48000'/><Channels value='2$Stereo'/>"
                                "<AudioCodecs value='aac$AAC'/><AudioBitRates value='128000$128 kbps'/>";

TEST(ProfileCatalogue, ARootWithoutProfilesLoadsEmpty)
{
    ProfileCatalogue catalogue;
    LoadText(catalogue, "<Profiles><Other/></Profiles>");
    EXPECT_EQ(catalogue.Count(), 0u);
    EXPECT_FALSE(catalogue.FindByIndex(0, nullptr));
}

TEST(ProfileCatalogue, OneProfileHasNoIndexOne)
{
    ProfileCatalogue catalogue;
    LoadText(catalogue, "<Profiles><Skipped/><Profile><ProfileName value='Only'/></Profile></Profiles>");
    ProfileRecord record;
    EXPECT_FALSE(catalogue.FindByIndex(1, &record)); // the default selection is missing
    ASSERT_TRUE(catalogue.FindByIndex(0, &record));
    EXPECT_EQ(record.ProfileName, "Only");
    // Neither group is complete: listed all the same.
    EXPECT_EQ(record.writer.hasVideo, 0);
    EXPECT_EQ(record.writer.hasAudio, 0);
}

TEST(ProfileCatalogue, ACompleteProfileReadsEveryField)
{
    const ProfileRecord p = OnlyProfile("<ProfileName value='Full'/><FormatExt value='.mp4'/>" + kVideo + kAudio +
                                        kVideoLists + kAudioLists);
    EXPECT_EQ(p.FormatExt, ".mp4");
    EXPECT_EQ(p.writer.hasVideo, 1);
    EXPECT_EQ(p.writer.hasAudio, 1);
    EXPECT_STREQ(p.writer.VideoCodecName, "libx264");
    EXPECT_EQ(p.writer.Width, 640);
    EXPECT_EQ(p.writer.FrameRate, 25000);
    EXPECT_STREQ(p.writer.AudioCodecName, "aac");
    EXPECT_EQ(p.writer.Channel, 2);
    EXPECT_EQ(p.AudioBitRates, "128000$128 kbps");
}

TEST(ProfileCatalogue, AFieldBeforeTheSearchPointIsNotSeen)
{
    // Width written before VideoCodecName: the search for Width starts after VideoCodecName.
    const ProfileRecord p = OnlyProfile("<ProfileName value='P'/><FormatExt value='.mp4'/><Width value='640'/>"
                                        "<VideoCodecName value='libx264'/><Height value='480'/><FrameRate value='25000'/>"
                                        "<VideoBitRate value='1'/>" + kAudio + kVideoLists + kAudioLists);
    EXPECT_STREQ(p.writer.VideoCodecName, "libx264");
    EXPECT_EQ(p.writer.Width, 0);
    EXPECT_EQ(p.writer.Height, 480); // a missing element leaves the search point where it was
    EXPECT_EQ(p.writer.hasVideo, 0);
    EXPECT_EQ(p.writer.hasAudio, 1);
}

TEST(ProfileCatalogue, AnEmptyEncoderNameDropsItsGroup)
{
    const std::string audioOnly = "<ProfileName value='P'/><FormatExt value='.m4a'/>"
                                  "<VideoCodecName value=''/><Width value='1'/><Height value='1'/><FrameRate value='1'/>"
                                  "<VideoBitRate value='1'/>" + kAudio + kVideoLists + kAudioLists;
    EXPECT_EQ(OnlyProfile(audioOnly).writer.hasVideo, 0);
    EXPECT_EQ(OnlyProfile(audioOnly).writer.hasAudio, 1);
    const std::string videoOnly = "<ProfileName value='P'/><FormatExt value='.mp4'/>" + kVideo +
                                  "<AudioCodecName value=''/><SampleRate value='1'/><AudioBitRate value='1'/>"
                                  "<Channel value='1'/>" + kVideoLists + kAudioLists;
    EXPECT_EQ(OnlyProfile(videoOnly).writer.hasVideo, 1);
    EXPECT_EQ(OnlyProfile(videoOnly).writer.hasAudio, 0);
}

TEST(ProfileCatalogue, NumbersReadAsTextToLongDoes)
{
    auto width = [](const std::string& text) {
        return OnlyProfile("<VideoCodecName value='x'/><Width value='" + text + "'/>").writer.Width;
    };
    EXPECT_EQ(width("  +720"), 720);
    EXPECT_EQ(width("-16"), -16);
    EXPECT_EQ(width("1280x720"), 1280);
    EXPECT_EQ(width("wide"), 0);
    EXPECT_EQ(width(""), 0);
    EXPECT_EQ(width("99999999999"), INT32_MAX);
}

TEST(ProfileCatalogue, LongValuesAreCutToTheirCapacity)
{
    const std::string name(300, 'n');
    ProfileRecord p = OnlyProfile("<ProfileName value='" + name + "'/><FormatExt value='.verylongext'/>"
                                  "<VideoCodecName value='a_very_long_encoder_name'/>");
    EXPECT_EQ(p.ProfileName.size(), ProfileRecord::kProfileName - 1);
    EXPECT_EQ(p.FormatExt, ".verylo");
    EXPECT_STREQ(p.writer.VideoCodecName, "a_very_long_enc");
    // Cutting counts characters and never splits one.
    const std::string accented = "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9";
    EXPECT_EQ(FitText(accented, 4), "\xC3\xA9\xC3\xA9\xC3\xA9");
    EXPECT_EQ(FitText("abc", 0), "");
}

TEST(OptionLists, LabelsAndValuesReadBothWays)
{
    EXPECT_EQ(LookupLabel("25000$25,29970$29.97", "29970"), "29.97");
    EXPECT_EQ(LookupLabel("44100", "44100"), "44100");
    EXPECT_EQ(LookupLabel("25000$25,29970$29.97", "30000"), "");
    EXPECT_EQ(LookupLabel("25000$25,25000$twenty-five", "25000"), "25"); // the first match wins
    EXPECT_EQ(LookupLabel("libx264$H.264", "LIBX264"), "");                 // case counts
    EXPECT_EQ(LookupValue("25000$25,29970$29.97", "29.97"), "29970");
    EXPECT_EQ(LookupValue("640*480,720*480", "720*480"), "720*480");
    EXPECT_EQ(LookupValue("1$Mono,2$Stereo", "Quad"), "");
    EXPECT_EQ(LookupValue("", "x"), "");
    EXPECT_EQ(OptionLabels("1$Mono,2$Stereo,6"), (std::vector<std::string>{"Mono", "Stereo", "6"}));
}

TEST(SetFile, GivesTheTitleAndTheAddress)
{
    SetFile set;
    ASSERT_TRUE(set.Load(std::string(ZUZIDERO_SOURCE_DATA) + "/Set.xml"));
    EXPECT_EQ(set.title, "ZuZidero DVD Ripper");
    EXPECT_EQ(set.url.rfind("https://", 0), 0u);
    EXPECT_FALSE(set.Load("/nonexistent/Set.xml"));
    EXPECT_EQ(set.title, "");
}

// The catalogue the program ships.
class ShippedCatalogue : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_catalogue = testing_filters::ShippedCatalogue();
        ASSERT_NE(s_catalogue, nullptr);
    }
    static ProfileCatalogue* s_catalogue;
};
ProfileCatalogue* ShippedCatalogue::s_catalogue = nullptr;

TEST_F(ShippedCatalogue, HasTheFormatTablesProfilesInOrder)
{
    ASSERT_EQ(s_catalogue->Count(), 107u);
    ProfileRecord p;
    ASSERT_TRUE(s_catalogue->FindByIndex(0, &p));
    EXPECT_EQ(p.ProfileName, "ASF-Advanced Streaming Format(*.asf)");
    ASSERT_TRUE(s_catalogue->FindByIndex(1, &p)); // the default selection
    EXPECT_EQ(p.ProfileName, "AVI-Audio-Video Interleaved(*.avi)");
    ASSERT_TRUE(s_catalogue->FindByIndex(5, &p)); // the command-line tool's default
    EXPECT_EQ(p.ProfileName, "H.264/MPEG-4 AVC Video(*.mp4)");
    ASSERT_TRUE(s_catalogue->FindByIndex(47, &p));
    EXPECT_EQ(p.ProfileName, "iPhone-3GS MPEG4 Video(*.mp4)");
    ASSERT_TRUE(s_catalogue->FindByIndex(89, &p));
    EXPECT_EQ(p.ProfileName, "PSP-H.264 Video for firmware 2.00 or above(*.mp4)");
    ASSERT_TRUE(s_catalogue->FindByIndex(106, &p));
    EXPECT_EQ(p.ProfileName, "Zune - MPEG4 Video(*.mp4)");
    EXPECT_FALSE(s_catalogue->FindByIndex(107, &p));
}

TEST_F(ShippedCatalogue, EveryProfileIsConsistent)
{
    const std::set<std::string> audioOnly{".aac", ".ac3", ".aiff", ".m4a", ".mp2", ".mp3", ".ogg", ".wav", ".wma", ".flac"};
    s_catalogue->Lock();
    int index = 0;
    for (auto node = s_catalogue->First(); node != s_catalogue->End(); ++node, ++index) {
        const ProfileRecord& p = *node;
        const WriterSettings& w = p.writer;
        SCOPED_TRACE(p.ProfileName);
        EXPECT_EQ(p.index, index);
        // The display name ends with "(*.ext)", the profile's extension.
        const std::size_t open = p.ProfileName.rfind("(*");
        ASSERT_NE(open, std::string::npos);
        EXPECT_EQ(p.ProfileName.substr(open + 2), p.FormatExt + ")");
        EXPECT_EQ(w.hasAudio, 1);
        EXPECT_EQ(w.hasVideo, audioOnly.count(p.FormatExt) ? 0 : 1);
        if (w.hasVideo) {
            EXPECT_EQ(w.Width % 2, 0);
            EXPECT_EQ(w.Height % 2, 0);
            EXPECT_GT(w.VideoBitRate, 0);
            // Each current value has a label that reads back to it.
            const std::string size = std::to_string(w.Width) + "*" + std::to_string(w.Height);
            EXPECT_EQ(LookupValue(p.Resolutions, LookupLabel(p.Resolutions, size)), size);
            for (const auto& [list, value] : {std::pair{p.FrameRates, std::to_string(w.FrameRate)},
                                              std::pair{p.VideoCodecs, std::string(w.VideoCodecName)},
                                              std::pair{p.VideoBitRates, std::to_string(w.VideoBitRate)}}) {
                const std::string label = LookupLabel(list, value);
                EXPECT_FALSE(label.empty()) << value;
                EXPECT_EQ(LookupValue(list, label), value);
            }
        } else {
            EXPECT_TRUE(p.Resolutions.empty());
        }
        for (const auto& [list, value] : {std::pair{p.SampleRates, std::to_string(w.SampleRate)},
                                          std::pair{p.Channels, std::to_string(w.Channel)},
                                          std::pair{p.AudioCodecs, std::string(w.AudioCodecName)},
                                          std::pair{p.AudioBitRates, std::to_string(w.AudioBitRate)}}) {
            const std::string label = LookupLabel(list, value);
            EXPECT_FALSE(label.empty()) << value;
            EXPECT_EQ(LookupValue(list, label), value);
        }
    }
    s_catalogue->Unlock();
}

TEST_F(ShippedCatalogue, DvAndMpegProfilesKeepTheirFormatsRules)
{
    ProfileRecord dv;
    ASSERT_TRUE(s_catalogue->FindByIndex(2, &dv));
    // DV carries 720×480 at 29.97 (or 720×576 at 25) with 16-bit PCM at 48 or 32 kHz.
    EXPECT_STREQ(dv.writer.VideoCodecName, "dvvideo");
    EXPECT_TRUE((dv.writer.Width == 720 && dv.writer.Height == 480 && dv.writer.FrameRate == 29970) ||
                (dv.writer.Width == 720 && dv.writer.Height == 576 && dv.writer.FrameRate == 25000));
    EXPECT_STREQ(dv.writer.AudioCodecName, "pcm_s16le");
    EXPECT_TRUE(dv.writer.SampleRate == 48000 || dv.writer.SampleRate == 32000);
    s_catalogue->Lock();
    for (auto node = s_catalogue->First(); node != s_catalogue->End(); ++node) {
        const WriterSettings& w = node->writer;
        const std::string codec = w.VideoCodecName;
        if (codec == "mpeg1video" || codec == "mpeg2video") {
            // MPEG video knows only its own frame rates.
            EXPECT_TRUE(w.FrameRate == 23976 || w.FrameRate == 24000 || w.FrameRate == 25000 || w.FrameRate == 29970 ||
                        w.FrameRate == 30000)
                << node->ProfileName;
        }
        if (codec == "h263") {
            const bool standard = (w.Width == 128 && w.Height == 96) || (w.Width == 176 && w.Height == 144) ||
                                  (w.Width == 352 && w.Height == 288);
            EXPECT_TRUE(standard) << node->ProfileName;
        }
    }
    s_catalogue->Unlock();
}

TEST(DataFiles, AreFoundInTheCurrentFolderFirst)
{
    EXPECT_EQ(FindDataFile("/nonexistent/data/file.xml"), "/nonexistent/data/file.xml");
    const std::string found = FindDataFile("Format.xml");
    XmlDocument doc;
    EXPECT_TRUE(doc.LoadFile(found)) << found; // the build tree's copy, next to the tests
}

} // namespace

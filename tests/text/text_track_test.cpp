// A subtitle stream read into text while its file is written: DVD subpictures coded by
// libavcodec's encoder, taken as the sink hands them over, read on the track's own thread, and
// given back as cues in order with their times.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "text/broken_language_data.h"
#include "text/drawn_subtitle.h"
#include "text/subtitle_reader.h"
#include "write/text_track.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace {

constexpr std::int64_t kSecond = 10000000;
// A subpicture's commands are timed in steps of 1024/90000 s.
constexpr std::int64_t kTick = 114000;

// DVD subpicture units made by libavcodec's encoder from drawn pictures.
class SubpictureCoder {
public:
    SubpictureCoder()
    {
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_DVD_SUBTITLE);
        m_context.reset(avcodec_alloc_context3(codec));
        m_context->width = 720;
        m_context->height = 480;
        m_context->time_base = {1, 1000};
        EXPECT_EQ(avcodec_open2(m_context.get(), codec, nullptr), 0);
    }

    // A unit showing `picture` for `shownMs` (0: with no stop command).
    std::vector<std::uint8_t> Code(const IndexedPicture& picture, std::uint32_t shownMs)
    {
        std::vector<std::uint8_t> pixels = picture.pixels;
        // Paletted pictures carry a whole palette (libavcodec reads all 256 entries).
        std::vector<std::uint32_t> colours = picture.colours;
        colours.resize(AVPALETTE_COUNT, 0);
        AVSubtitleRect rect{};
        rect.type = SUBTITLE_BITMAP;
        rect.x = 40;
        rect.y = 380;
        rect.w = picture.width;
        rect.h = picture.height;
        rect.nb_colors = 4;
        rect.data[0] = pixels.data();
        rect.linesize[0] = picture.width;
        rect.data[1] = reinterpret_cast<std::uint8_t*>(colours.data());
        AVSubtitleRect* rects[] = {&rect};
        AVSubtitle subtitle{};
        subtitle.num_rects = 1;
        subtitle.rects = rects;
        subtitle.end_display_time = shownMs ? shownMs : 1000;
        std::vector<std::uint8_t> unit(1 << 16);
        const int size = avcodec_encode_subtitle(m_context.get(), unit.data(), static_cast<int>(unit.size()), &subtitle);
        EXPECT_GT(size, 0);
        unit.resize(static_cast<std::size_t>(std::max(size, 0)));
        if (shownMs == 0) WithoutStop(unit);
        return unit;
    }

    // A unit whose start command comes a second after its stop command: its end before its start.
    std::vector<std::uint8_t> EndingBeforeItStarts(const IndexedPicture& picture)
    {
        std::vector<std::uint8_t> unit = Code(picture, 1000);
        const std::size_t first = static_cast<std::size_t>(unit[2] << 8 | unit[3]);
        const std::size_t second = static_cast<std::size_t>(unit[first + 2] << 8 | unit[first + 3]);
        const int stop = unit[second] << 8 | unit[second + 1];
        const int start = stop + 88; // in steps of 1024/90000 s
        unit[first] = static_cast<std::uint8_t>(start >> 8);
        unit[first + 1] = static_cast<std::uint8_t>(start & 0xFF);
        return unit;
    }

private:
    // The encoder writes two command sequences, the second the stop: the first is made the last.
    static void WithoutStop(std::vector<std::uint8_t>& unit)
    {
        ASSERT_GE(unit.size(), 8u);
        const std::size_t commands = static_cast<std::size_t>(unit[2] << 8 | unit[3]);
        ASSERT_LT(commands + 4, unit.size());
        unit[commands + 2] = unit[2];
        unit[commands + 3] = unit[3];
    }

    ffmpeg::CodecContextPtr m_context;
};

CopiedPacket PacketOf(const std::vector<std::uint8_t>& unit, std::int64_t at)
{
    CopiedPacket packet;
    packet.data = unit.data();
    packet.size = unit.size();
    packet.pts = packet.dts = at;
    return packet;
}

} // namespace

TEST(TextTrack, CuesComeInOrderEndingAtTheirStopTheNextCueOrFiveSecondsLater)
{
    SubpictureCoder coder;
    const auto first = coder.Code(Subtitle({u"Where were you last night?"}), 1500);
    const auto open = coder.Code(Subtitle({u"I waited until 11:45."}), 0);
    const auto third = coder.Code(Subtitle({u"Then I went home."}), 1000);
    const auto last = coder.Code(Subtitle({u"Good night."}), 0);
    TextTrack track;
    track.Start("en"); // a two-letter code is no ISO 639-2 code: read as English
    track.Take(PacketOf(first, 1 * kSecond));
    track.Take(PacketOf(open, 3 * kSecond));
    EXPECT_TRUE(track.Due(kSecond / 2).empty());
    // At 3.5 s the first is due; the open one waits for its end (no next cue yet, 5 s not over).
    std::vector<TextCue> due = track.Due(3 * kSecond + kSecond / 2);
    ASSERT_EQ(due.size(), 1u);
    EXPECT_EQ(due[0].text, "Where were you last night?");
    EXPECT_EQ(due[0].start, 1 * kSecond);
    EXPECT_NEAR(due[0].end, 2 * kSecond + kSecond / 2, kTick);
    EXPECT_GT(due[0].confidence, 80);
    // The next cue ends the open one.
    track.Take(PacketOf(third, 4 * kSecond));
    due = track.Due(6 * kSecond);
    ASSERT_EQ(due.size(), 2u);
    EXPECT_EQ(due[0].text, "I waited until 11:45.");
    EXPECT_EQ(due[0].end, 4 * kSecond);
    EXPECT_NEAR(due[1].end, 5 * kSecond, kTick);
    // The last has no end and no next: five seconds, cut where the file ends.
    track.Take(PacketOf(last, 7 * kSecond));
    due = track.Due(12 * kSecond + 1);
    ASSERT_EQ(due.size(), 1u);
    EXPECT_EQ(due[0].end, 12 * kSecond);
    track.Take(PacketOf(last, 14 * kSecond));
    due = track.Finish(15 * kSecond);
    ASSERT_EQ(due.size(), 1u);
    EXPECT_EQ(due[0].end, 15 * kSecond);
    EXPECT_EQ(track.Cues().size(), 5u);
    EXPECT_EQ(track.Language(), "eng");
}

TEST(TextTrack, ACueShownAcrossTheEdgesOfItsRangeIsCutToThem)
{
    SubpictureCoder coder;
    const auto shown = coder.Code(Subtitle({u"Stay right there."}), 3000);
    const auto gone = coder.Code(Subtitle({u"Don't move!"}), 1000);
    TextTrack track;
    track.Start("eng");
    CopiedPacket before = PacketOf(gone, -3 * kSecond); // ended before the range
    before.cutBefore = 0;
    track.Take(before);
    CopiedPacket across = PacketOf(shown, -kSecond); // shown from 1 s before to 2 s after
    across.cutBefore = 0;
    track.Take(across);
    // Its range ends at 6 s: a cue shown to 7 s is cut there, one without an end too, and one
    // that begins there is not shown.
    const auto late = coder.Code(Subtitle({u"Open the door."}), 2000);
    const auto open = coder.Code(Subtitle({u"Good night."}), 0);
    for (const auto& [unit, at] : {std::pair{&late, 5 * kSecond}, std::pair{&open, 11 * kSecond / 2}, std::pair{&gone, 6 * kSecond}}) {
        CopiedPacket packet = PacketOf(*unit, at);
        packet.cutAfter = 6 * kSecond;
        track.Take(packet);
    }
    // The file goes on (a merged title follows): the open cue still ends with its range.
    const std::vector<TextCue> due = track.Finish(60 * kSecond);
    ASSERT_EQ(due.size(), 3u);
    EXPECT_EQ(due[0].text, "Stay right there.");
    EXPECT_EQ(due[0].start, 0);
    EXPECT_NEAR(due[0].end, 2 * kSecond, kTick);
    EXPECT_EQ(due[1].start, 5 * kSecond);
    EXPECT_EQ(due[1].end, 11 * kSecond / 2); // ended by the next
    EXPECT_EQ(due[2].text, "Good night.");
    EXPECT_EQ(due[2].end, 6 * kSecond);
}

TEST(TextTrack, SlantedLettersAreReadUprightAndMarkedAsItalics)
{
    SubpictureCoder coder;
    const auto upright = coder.Code(Subtitle({u"The house was empty."}, 24), 1000);
    const auto leaning = coder.Code(Subtitle({u"The house was empty."}, 24, 0.2), 1000);
    TextTrack track;
    track.Start("eng");
    track.Take(PacketOf(upright, kSecond));
    track.Take(PacketOf(leaning, 3 * kSecond));
    const std::vector<TextCue> due = track.Finish(10 * kSecond);
    ASSERT_EQ(due.size(), 2u);
    EXPECT_EQ(due[0].text, "The house was empty.");
    EXPECT_EQ(due[1].text, "<i>The house was empty.</i>");
}

TEST(TextTrack, DamagedUnitsAndBlankPicturesMakeNoCueAndStopNothing)
{
    SubpictureCoder coder;
    const auto cue = coder.Code(Subtitle({u"Open the door."}), 4000);
    IndexedPicture blank = Subtitle({u"Nothing"});
    std::fill(blank.pixels.begin(), blank.pixels.end(), 0);
    const auto clear = coder.Code(blank, 1000);
    std::vector<std::uint8_t> damaged = cue;
    damaged[2] = 0xFF; // its commands' offset beyond its end
    damaged[3] = 0xF0;
    const std::vector<std::uint8_t> noise(37, 0xA5);
    TextTrack track;
    track.Start("eng");
    track.Take(PacketOf(cue, kSecond));
    track.Take(PacketOf(clear, 2 * kSecond)); // nothing visible: it clears the screen
    track.Take(PacketOf(damaged, 3 * kSecond));
    track.Take(PacketOf(noise, 4 * kSecond));
    track.Take(CopiedPacket{});
    const std::vector<TextCue> due = track.Finish(10 * kSecond);
    // The blank picture ends the cue; each damaged unit is a cue with nothing read, to be checked.
    ASSERT_EQ(due.size(), 3u);
    EXPECT_EQ(due[0].text, "Open the door.");
    EXPECT_EQ(due[0].end, 2 * kSecond);
    EXPECT_EQ(due[1].start, 3 * kSecond);
    EXPECT_EQ(due[1].end, 4 * kSecond);
    EXPECT_EQ(due[2].start, 4 * kSecond);
    EXPECT_TRUE(due[1].text.empty() && due[2].text.empty() && ToCheck(due[1]) && ToCheck(due[2]));
    EXPECT_EQ(track.DecodeErrors(), 2);
}

TEST(TextTrack, ACueEndingBeforeItStartsLastsUntilTheNext)
{
    SubpictureCoder coder;
    const auto backwards = coder.EndingBeforeItStarts(Subtitle({u"Turn left at the bridge."}));
    const auto next = coder.Code(Subtitle({u"Thank you."}), 1000);
    TextTrack track;
    track.Start("eng");
    track.Take(PacketOf(backwards, kSecond));
    track.Take(PacketOf(next, 4 * kSecond));
    const std::vector<TextCue> due = track.Finish(10 * kSecond);
    ASSERT_EQ(due.size(), 2u);
    EXPECT_EQ(due[0].text, "Turn left at the bridge.");
    EXPECT_NEAR(due[0].start, 3 * kSecond, kTick); // its start command, two seconds in
    EXPECT_EQ(due[0].end, 4 * kSecond);
    EXPECT_GT(due[0].end, due[0].start);
}

TEST(TextTrack, AReaderThatCannotStartListsEveryCueToCheckAndSaysWhy)
{
    SubpictureCoder coder;
    const auto cue = coder.Code(Subtitle({u"Call me."}), 1000);
    std::vector<TextCue> due;
    std::string problem;
    {
        BrokenLanguageData broken("zuzidero-track-tessdata");
        TextTrack track;
        track.Start("eng");
        track.Take(PacketOf(cue, kSecond));
        due = track.Finish(10 * kSecond);
        problem = track.Problem();
    }
    ASSERT_EQ(due.size(), 1u);
    EXPECT_EQ(due[0].text, "");
    EXPECT_TRUE(ToCheck(due[0]));
    EXPECT_NE(problem.find("tesseract-ocr-eng"), std::string::npos) << problem;
    EXPECT_EQ(FormatCheckList(due).rfind("00:00:01,000 --> 00:00:01,9", 0), 0u) << FormatCheckList(due);
    EXPECT_NE(FormatCheckList(due).find("(confidence 0)  (nothing read)\n"), std::string::npos);
}

TEST(TextCues, SubRipFilesNumberTheCuesWithTextAndLanguagesTakeBothCodes)
{
    const std::vector<TextCue> cues = {{10000000, 25000000, "Two\nlines", 90}, {30000000, 31000000, "", 0},
                                       {36610000000, 36612345678, "Late", 96}};
    EXPECT_EQ(FormatSrt(cues), "1\n00:00:01,000 --> 00:00:02,500\nTwo\nlines\n\n2\n01:01:01,000 --> 01:01:01,235\nLate\n\n");
    EXPECT_EQ(BibliographicCode("deu"), "ger");
    EXPECT_EQ(BibliographicCode("FRA"), "fre");
    EXPECT_EQ(BibliographicCode("eng"), "eng");
    EXPECT_EQ(TerminologyCode("ger"), "deu");
    EXPECT_EQ(TerminologyCode("spa"), "spa");
}

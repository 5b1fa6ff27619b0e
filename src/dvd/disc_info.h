#pragma once
// The disc information record: one fixed-layout block describing a disc's titles, chapters and
// streams, filled by the disc-access library. Its layout is an exchange format and is fixed byte
// for byte (41736 bytes, little-endian integers, an IEEE double per title).

#include <cstddef>
#include <cstdint>
#include <string>

// An open disc of the disc-access library; 0 means none.
using DiscHandle = std::uint32_t;

constexpr int kMaxTitles = 32;
constexpr int kMaxChapters = 64;
constexpr int kMaxAudioStreams = 32;
constexpr int kMaxSubpictureStreams = 32;
constexpr std::int64_t kSectorSize = 2048;

struct TitleInfo {
    std::int32_t chapterCount;
    std::int32_t padding0;
    double durationMs; // playing time of the whole title
    std::uint8_t reserved[256];
    std::uint32_t chapterSectors[kMaxChapters];
    std::int32_t audioCount;
    std::int32_t audioStreamId[kMaxAudioStreams];  // (PES id << 8) | sub-stream id; a transport stream's PID
    std::int32_t audioLanguage[kMaxAudioStreams];  // two letters, first in bits 8–15
    std::int32_t audioFormat[kMaxAudioStreams];    // 0 AC-3, 2/3 MPEG, 4 LPCM, 5 DTS
    std::int32_t audioChannelsMinusOne[kMaxAudioStreams];
    std::int32_t subpictureCount;
    std::int32_t subpictureStreamId[kMaxSubpictureStreams];
    std::int32_t subpictureLanguage[kMaxSubpictureStreams];
};

struct DiscInfo {
    std::int32_t titleCount;
    std::int32_t padding0;
    TitleInfo titles[kMaxTitles];
};

static_assert(offsetof(TitleInfo, chapterCount) == 0);
static_assert(offsetof(TitleInfo, durationMs) == 8);
static_assert(offsetof(TitleInfo, reserved) == 16);
static_assert(offsetof(TitleInfo, chapterSectors) == 272);
static_assert(offsetof(TitleInfo, audioCount) == 528);
static_assert(offsetof(TitleInfo, audioStreamId) == 532);
static_assert(offsetof(TitleInfo, audioLanguage) == 660);
static_assert(offsetof(TitleInfo, audioFormat) == 788);
static_assert(offsetof(TitleInfo, audioChannelsMinusOne) == 916);
static_assert(offsetof(TitleInfo, subpictureCount) == 1044);
static_assert(offsetof(TitleInfo, subpictureStreamId) == 1048);
static_assert(offsetof(TitleInfo, subpictureLanguage) == 1176);
static_assert(sizeof(TitleInfo) == 1304);
static_assert(offsetof(DiscInfo, titleCount) == 0);
static_assert(offsetof(DiscInfo, titles) == 8);
static_assert(sizeof(DiscInfo) == 41736);

// Audio coding codes of the record.
constexpr std::int32_t kAudioFormatAc3 = 0;
constexpr std::int32_t kAudioFormatMpeg1 = 2;
constexpr std::int32_t kAudioFormatMpeg2 = 3;
constexpr std::int32_t kAudioFormatLpcm = 4;
constexpr std::int32_t kAudioFormatDts = 5;
// Codes of files and Blu-ray folders only (a DVD's codings stop at 7).
constexpr std::int32_t kAudioFormatEac3 = 8;
constexpr std::int32_t kAudioFormatAac = 9;
constexpr std::int32_t kAudioFormatMp3 = 10; // MPEG audio layer III (a DVD's MPEG audio is layer II)

// Titles shorter than this are not listed.
constexpr double kShortestListedTitleMs = 3000.0;

// "AC3", "MP2", "MP3", "LPCM", "DTS", "EAC3", "AAC" or empty, as the title list shows an audio
// coding.
const char* AudioFormatLabel(std::int32_t audioFormat);
// The channel count the title list shows: the disc's own (code + 1), 2 for a code out of range.
int ShownChannelCount(std::int32_t audioChannelsMinusOne);
// Bytes of a title: the sum of its chapters' sectors × 2048, in 64 bits.
std::int64_t TitleByteLength(const TitleInfo& title);
// A DVD palette colour (0x00YYCrCb, studio range) as 0xRRGGBB (ITU-R BT.601).
std::uint32_t YCrCbToRgb(std::uint32_t colour);
// The two-letter code of a record language value, lower-cased ("en"), or empty.
std::string LanguageCodeText(std::int32_t language);
// A stream identifier as the program prints it: four upper-case hexadecimal digits ("BD80").
std::string StreamIdText(std::int32_t streamId);

// Which of a title's tracks a user means: an identifier as `StreamIdText` prints it (also with
// "0x" in front, any case) or a language code of two or three letters ("fr", "fra", "fre"), the
// title's first track of that language. 0 when the title has no such track.
enum class TrackKind { kAudio, kSubtitle };
std::int32_t FindTrack(const TitleInfo& title, TrackKind kind, const std::string& wanted);
// The title's tracks of a kind as a user reads them: "BD80 (en), C000 (fr)"; "none" when it has none.
std::string ListTracks(const TitleInfo& title, TrackKind kind);

// The rate nearest to a picture's length (100 ns) among those a profile can name (23976, 24000,
// 25000, 29970, 30000, 50000, 59940, pictures per 1000 s), or 0 for none.
std::int32_t FrameRateOf(std::int64_t perFrame);

// Whether a title of this length is listed (`shortestMs`: the shortest that is, 3 s unless the
// user says otherwise).
inline bool IsListedTitle(const TitleInfo& title, double shortestMs = kShortestListedTitleMs)
{
    return title.durationMs >= shortestMs;
}

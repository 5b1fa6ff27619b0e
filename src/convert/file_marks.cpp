#include "convert/file_marks.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "dvd/iso639.h"

namespace {

constexpr double kUnitsPerMs = 10000.0;

// The track of a title with this identifier: its place in the title's list, or −1.
int TrackIndex(const TitleInfo& title, std::int32_t streamId)
{
    const int count = std::clamp(title.audioCount, 0, kMaxAudioStreams);
    for (int i = 0; i < count; ++i)
        if (title.audioStreamId[i] == streamId) return i;
    return -1;
}

std::string Label(const std::string& language, const std::string& coding, int channels)
{
    std::string title = language.empty() ? std::string() : language + " ";
    return title + coding + " " + ChannelLayoutName(channels);
}

} // namespace

std::vector<OutputChapter> TaskChapters(const SourceDisc& disc, const ConversionTask& task, const std::string& prefix)
{
    const auto name = [&](int chapter) { return prefix + "Chapter " + std::to_string(chapter + 1); };
    if (task.chapterIndex >= 0) return {{name(task.chapterIndex), 0}};
    const std::vector<double> starts = disc.ChapterStarts(task.titleIndex);
    const double from = static_cast<double>(task.clip.trimStart);
    const double to = from + static_cast<double>(task.clip.trimLength);
    std::vector<OutputChapter> marks;
    for (std::size_t c = 0; c < starts.size(); ++c) {
        const double end = c + 1 < starts.size() ? starts[c + 1] : disc.Info().titles[task.titleIndex].durationMs;
        // Chapters that play nothing of the stretch are left out; the one it starts in begins it.
        if (end <= from || starts[c] >= to || end <= starts[c]) continue;
        const double at = std::max(starts[c], from) - from;
        marks.push_back({name(static_cast<int>(c)), static_cast<std::int64_t>(at * kUnitsPerMs + 0.5)});
    }
    return marks;
}

std::string MergedChapterPrefix(const ConversionTask& task)
{
    char text[24];
    std::snprintf(text, sizeof text, "Title_%02d ", task.titleIndex + 1);
    return text;
}

std::string DiscCodingName(std::int32_t audioFormat)
{
    switch (audioFormat) {
    case kAudioFormatAc3: return "AC-3";
    case kAudioFormatMpeg1:
    case kAudioFormatMpeg2: return "MP2";
    case kAudioFormatLpcm: return "LPCM";
    case kAudioFormatDts: return "DTS";
    case kAudioFormatEac3: return "E-AC-3";
    case kAudioFormatAac: return "AAC";
    case kAudioFormatMp3: return "MP3";
    default: return "Audio";
    }
}

std::string EncoderCodingName(const std::string& encoder)
{
    static const struct {
        const char* encoder;
        const char* name;
    } kNames[] = {{"aac", "AAC"},           {"libfdk_aac", "AAC"}, {"ac3", "AC-3"},      {"eac3", "E-AC-3"},
                  {"dca", "DTS"},           {"mp2", "MP2"},        {"libtwolame", "MP2"}, {"libmp3lame", "MP3"},
                  {"libvorbis", "Vorbis"},  {"vorbis", "Vorbis"},  {"libopus", "Opus"},  {"opus", "Opus"},
                  {"flac", "FLAC"},         {"wmav1", "WMA"},      {"wmav2", "WMA"},     {"alac", "ALAC"},
                  {"libopencore_amrnb", "AMR"}};
    for (const auto& n : kNames)
        if (encoder == n.encoder) return n.name;
    if (encoder.rfind("pcm_", 0) == 0) return "PCM";
    std::string upper = encoder;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

std::string ChannelLayoutName(int channels)
{
    switch (channels) {
    case 6: return "5.1";
    case 7: return "6.1";
    case 8: return "7.1";
    default: return std::to_string(std::max(channels, 1)) + ".0";
    }
}

StreamLabel ConvertedTrackLabel(const TitleInfo& title, std::int32_t streamId, const WriterSettings& output)
{
    StreamLabel label;
    const int index = TrackIndex(title, streamId);
    std::string name;
    if (index >= 0) {
        const Iso639Language* language = FindLanguageByAlpha2(LanguageCodeText(title.audioLanguage[index]));
        if (language) {
            label.language = language->alpha3;
            name = std::string(ShortLanguageName(language));
        }
    }
    label.title = Label(name, EncoderCodingName(output.AudioCodecName), output.Channel);
    return label;
}

#include "convert/file_marks.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <tuple>

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

// The language of a two-letter code as ISO 639-2 and as its short name, or empty.
std::pair<std::string, std::string> LanguageOf(std::int32_t code)
{
    const Iso639Language* language = FindLanguageByAlpha2(LanguageCodeText(code));
    if (!language) return {};
    return {language->alpha3, std::string(ShortLanguageName(language))};
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
    if (index >= 0) std::tie(label.language, name) = LanguageOf(title.audioLanguage[index]);
    label.title = Label(name, EncoderCodingName(output.AudioCodecName), output.Channel);
    return label;
}

SoundKeeping KeepingOf(std::int32_t audioFormat, const std::string& extension)
{
    const bool ac3 = audioFormat == kAudioFormatAc3, eac3 = audioFormat == kAudioFormatEac3;
    const bool mpeg = audioFormat == kAudioFormatMpeg1 || audioFormat == kAudioFormatMpeg2 || audioFormat == kAudioFormatMp3;
    const bool lpcm = audioFormat == kAudioFormatLpcm;
    if (extension == ".mkv") {
        if (ac3 || eac3 || mpeg || audioFormat == kAudioFormatDts) return SoundKeeping::kCopied;
        // FFmpeg's Matroska writer refuses DVD LPCM packets: their samples go as PCM.
        if (lpcm) return SoundKeeping::kRepacked;
    }
    if ((extension == ".mp4" || extension == ".m4v" || extension == ".mov") && (ac3 || eac3)) return SoundKeeping::kCopied;
    if (extension == ".avi" && (ac3 || mpeg)) return SoundKeeping::kCopied;
    if (extension == ".mpg" || extension == ".mpeg" || extension == ".vob") {
        if (ac3 || mpeg) return SoundKeeping::kCopied;
        if (lpcm) return SoundKeeping::kRepacked;
    }
    return SoundKeeping::kConverted;
}

SoundKeeping TrackKeeping(const TitleInfo& title, std::int32_t streamId, const std::string& extension)
{
    const int index = TrackIndex(title, streamId);
    const SoundKeeping keeping = KeepingOf(index >= 0 ? title.audioFormat[index] : -1, extension);
    // A DVD's LPCM (BDA0…BDA7) keeps its own samples, rate and depth: as it is in an MPEG program
    // stream, unpacked into plain PCM in Matroska.
    const bool dvdLpcm = (streamId & 0xFFF8) == 0xBDA0;
    if (keeping == SoundKeeping::kRepacked && dvdLpcm)
        return extension == ".mkv" ? SoundKeeping::kUnpacked : SoundKeeping::kCopied;
    return keeping;
}

std::string RepackingEncoder(const std::string& extension) { return extension == ".mkv" ? "pcm_s16le" : "pcm_s16be"; }

StreamLabel KeptTrackLabel(const TitleInfo& title, std::int32_t streamId, const std::string& extension,
                           const WriterSettings& output, const std::string& fallback)
{
    const int index = TrackIndex(title, streamId);
    const std::int32_t format = index >= 0 ? title.audioFormat[index] : -1;
    const int channels = index >= 0 ? ShownChannelCount(title.audioChannelsMinusOne[index]) : output.Channel;
    StreamLabel label;
    std::string name;
    if (index >= 0) std::tie(label.language, name) = LanguageOf(title.audioLanguage[index]);
    switch (TrackKeeping(title, streamId, extension)) {
    case SoundKeeping::kCopied:
        label.copy = true;
        label.title = Label(name, DiscCodingName(format), channels);
        break;
    case SoundKeeping::kRepacked:
        // Blu-ray LPCM: decoded, and written as PCM at 48 kHz.
        label.encoder = RepackingEncoder(extension);
        label.sampleRate = 48000;
        label.channels = channels;
        label.title = Label(name, "PCM", channels);
        break;
    case SoundKeeping::kUnpacked:
        // DVD LPCM: copied, and its samples unpacked into plain PCM of their own rate and depth.
        label.copy = true;
        label.title = Label(name, "PCM", channels);
        break;
    case SoundKeeping::kConverted:
        label.encoder = fallback;
        label.title = Label(name, EncoderCodingName(fallback), output.Channel);
        break;
    }
    return label;
}

bool HoldsSubtitles(const std::string& extension, bool graphics)
{
    return extension == ".mkv" || (!graphics && (extension == ".mp4" || extension == ".m4v"));
}

bool HoldsTextSubtitles(const std::string& extension)
{
    for (const char* holder : {".mkv", ".webm", ".mp4", ".m4v", ".mov", ".3gp"})
        if (extension == holder) return true;
    return false;
}

StreamLabel SubtitleLabel(const TitleInfo& title, std::int32_t streamId, const std::vector<bool>& forced)
{
    StreamLabel label;
    label.copy = true;
    const int count = std::clamp(title.subpictureCount, 0, kMaxSubpictureStreams);
    for (int i = 0; i < count; ++i) {
        if (title.subpictureStreamId[i] != streamId) continue;
        std::string name;
        std::tie(label.language, name) = LanguageOf(title.subpictureLanguage[i]);
        label.forced = static_cast<std::size_t>(i) < forced.size() && forced[static_cast<std::size_t>(i)];
        label.title = name.empty() ? "Subtitles" : name;
        if (label.forced) label.title += " (forced)";
    }
    return label;
}

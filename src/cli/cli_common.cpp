#include "cli/cli_common.h"

#include <cstdio>
#include <utility>

#include "workspace/plain_words.h"

void PrintUsage()
{
    std::printf(
        "Usage:\n"
        "  zuzidero-cli info DISC [--json] [--min-length SECONDS] [--scan]\n"
        "  zuzidero-cli profiles [--json]\n"
        "  zuzidero-cli --version\n"
        "  zuzidero-cli convert DISC --out DIR [--title N|main|all]... [--min-length SECONDS] [--chapter N]\n"
        "                       [--profile INDEX|NAME]\n"
        "                       [--start HH:MM:SS[.mmm]] [--end HH:MM:SS[.mmm] | --length HH:MM:SS[.mmm]]\n"
        "                       [--audio TRACK|all]... [--audio-copy] [--subtitle TRACK|none]\n"
        "                       [--subtitle-tracks all|none|chosen|TRACK[,TRACK]...]\n"
        "                       [--subtitle-text tracks|files|both|none] [--merge]\n"
        "                       [--crop L,T,R,B|auto] [--zoom 0..3] [--brightness 0..256] [--saturation 0..128]\n"
        "                       [--hue -180..180] [--volume 0..512] [--deinterlace auto|on|off]\n"
        "                       [--rate source|23.976|24|25|29.97|30|50|59.94]\n"
        "                       [--quality N | --two-pass] [--speed PRESET] [--bit-depth 8|10] [--name PATTERN]\n"
        "                       [--overwrite] [--clean-parts] [--quiet] [--json]\n"
        "\n"
        "DISC is a device such as /dev/sr0, a VIDEO_TS folder (or the folder above it), an ISO image, an\n"
        "unencrypted Blu-ray folder (holding BDMV, or BDMV itself) or an MPEG file (.vob .mpg .mpeg .ts .m2ts .mts).\n"
        "Titles and chapters count from 1; --title all (the default) takes every title of 3 seconds or more\n"
        "(--min-length sets another shortest length), each film once: a title that plays the cells of an\n"
        "earlier one in the same order is that title again (info says \"same as Title_04\"). --title main takes\n"
        "the main title: the longest that plays its cells forward without repeating one (decoys of a film's\n"
        "length play them out of order), as info marks it.\n"
        "TRACK is a stream identifier as info shows it (BD80, 0xC000, BD20) or a language code (fr, fra): the\n"
        "title's first track of that language. Without --audio the title's first listed track is converted;\n"
        "--audio given more than once (or all) keeps several tracks, the first the default, in the general and\n"
        "HD video formats (MP4, MOV, M4V, MKV, AVI, MPEG); other formats keep the first.\n"
        "--audio-copy keeps each track as the disc codes it (\"Same as source\") where the format holds it\n"
        "(MKV: AC-3, E-AC-3, DTS, MPEG audio, LPCM as PCM; MP4/MOV: AC-3, E-AC-3; AVI: AC-3, MPEG audio; MPEG:\n"
        "AC-3, MPEG audio, LPCM); other tracks are converted with the profile's codec, and the run says so.\n"
        "--subtitle-tracks keeps subtitles as streams that players can switch (MKV and MP4); --subtitle burns\n"
        "one into the picture, and both can be given. Profile 107 copies video, sound and subtitles as they are.\n"
        "--subtitle-text reads those subtitle pictures into text: tracks keeps them as text streams (MKV SubRip,\n"
        "MP4/M4V/MOV/3GP timed text, WebM WebVTT; other formats refuse), files writes NAME.eng.srt (and\n"
        "NAME.eng.forced.srt) beside the file and keeps the streams as they are, both does both; without\n"
        "--subtitle-tracks it reads all of each title's subtitles. Cues read with little confidence are listed\n"
        "in NAME.eng.srt.check.txt and at the end. The reader needs the language's data (tesseract-ocr-LANG).\n"
        "--json prints the end report as JSON on the standard output: the files written, the .srt files and,\n"
        "per file, each subtitle track read into text with its cues to check.\n"
        "--deinterlace auto (the default) with --rate source or 23.976 looks at each title's pictures first:\n"
        "film telecined to 29.97 (in its fields or by the stream's flags) becomes its 23.976 progressive pictures\n"
        "again, interlaced video is deinterlaced (bwdif), progressive pictures pass as they are; with another\n"
        "rate it deinterlaces the pictures the disc marks as interlaced. --rate source keeps each title's own\n"
        "rate (PAL 25, NTSC 29.97, telecined film 23.976). --crop auto crops each title's black bars, found\n"
        "the same way, and the file's picture takes the shape of what remains. info --scan shows both.\n"
        "--quality N encodes at constant quality on the encoder's own scale (x264 and x265 CRF 0-51, SVT-AV1 CRF\n"
        "1-63, VP9 CQ 0-63; lower is better and larger); --speed takes the encoder's presets (x264 and x265\n"
        "ultrafast ... veryslow, SVT-AV1 12 ... 0, VP9 5 ... 0); --bit-depth 10 for H.265 and AV1; --two-pass meets\n"
        "the profile's video bitrate over two passes (not with SVT-AV1). Profiles 108-114\n"
        "are today's formats (H.264, H.265, AV1, VP9). A setting the encoder or the container refuses stops\n"
        "the command before it converts, with the values that work.\n"
        "--name names the files: {disc} is the disc's volume or folder name, {title} and {chapter} the numbers\n"
        "(\"{disc} - {title}\" gives \"MY_MOVIE - 01.mp4\"); a name without {title} gains the title's number. The\n"
        "default names are Title_01, and Chapter_01_02 for a chapter.\n"
        "Files are written as NAME.XXXXXX.part and take their name when they are whole; a name taken meanwhile\n"
        "keeps its file, and the new one goes beside it as NAME (2). A part left by a conversion that was\n"
        "stopped (killed, the machine's power lost) is listed by the next conversion into its folder, and\n"
        "--clean-parts removes it.\n"
        "The default profile is 5.\n"
        "Exit status: 0 done and nothing lost, 1 a conversion failed or was cancelled, 2 bad arguments or an\n"
        "unreadable disc, 3 every file written but parts of the disc could not be read (they are listed).\n");
}

int UsageError(const std::string& reason)
{
    std::fprintf(stderr, "zuzidero-cli: %s\n\n", reason.c_str());
    std::fflush(stderr);
    PrintUsage();
    return kExitBadInput;
}

std::string FormatDuration(double milliseconds)
{
    if (milliseconds < 0) milliseconds = 0;
    const long long seconds = static_cast<long long>(milliseconds / 1000.0);
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
    return text;
}

namespace {

// Waits for the event of one step (the command line asks one at a time).
WorkspaceEvent WaitForStep(Workspace& work, Workspace::Job job)
{
    for (;;)
        for (WorkspaceEvent& event : work.WaitForEvents())
            if (event.job == job) return std::move(event);
}

} // namespace

std::shared_ptr<SourceDisc> LoadSource(Workspace& work, const std::string& path, std::string* why)
{
    WorkspaceEvent event = WaitForStep(work, work.Load(path, std::nullopt));
    if (why) *why = event.reason;
    return event.kind == WorkspaceEventKind::kTitlesReady ? event.disc : nullptr;
}

TitleScanResult ScanSource(Workspace& work, int title)
{
    WorkspaceEvent event = WaitForStep(work, work.Scan(work.Disc(), title));
    return event.kind == WorkspaceEventKind::kScanReady ? std::move(event.scan) : TitleScanResult{};
}

void PrintFailure(const std::string& text)
{
    std::fprintf(stderr, "%s\n", text.c_str());
    if (const std::string plain = PlainWordsFor(text); !plain.empty()) std::fprintf(stderr, "  %s\n", plain.c_str());
}

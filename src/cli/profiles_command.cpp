#include "cli/profiles_command.h"

#include <cstdio>

#include "cli/cli_common.h"
#include "cli/json_writer.h"
#include "profiles/profile_catalogue.h"

int RunProfilesCommand(const std::vector<std::string>& args)
{
    bool json = false;
    for (const std::string& arg : args) {
        if (IsHelp(arg)) {
            PrintUsage();
            return kExitOk;
        }
        if (arg == "--json")
            json = true;
        else
            return UsageError("unknown argument for profiles: " + arg);
    }
    ProfileCatalogue catalogue;
    if (!LoadProfiles(catalogue)) {
        std::fprintf(stderr, "Load Format.xml error: %s\n", catalogue.LoadProblem().c_str());
        return kExitBadInput;
    }
    catalogue.Lock();
    if (json) {
        JsonWriter out;
        out.BeginArray();
        for (auto node = catalogue.First(); node != catalogue.End(); ++node) {
            const ProfileRecord& p = *node;
            const WriterSettings& w = p.writer;
            out.BeginObject();
            out.Key("index"), out.Int(p.index);
            out.Key("name"), out.String(p.ProfileName);
            out.Key("ext"), out.String(p.FormatExt);
            out.Key("hasVideo"), out.Int(w.hasVideo);
            out.Key("videoCodec"), out.String(w.VideoCodecName);
            out.Key("width"), out.Int(w.Width);
            out.Key("height"), out.Int(w.Height);
            out.Key("frameRate"), out.Int(w.FrameRate);
            out.Key("videoBitRate"), out.Int(w.VideoBitRate);
            out.Key("hasAudio"), out.Int(w.hasAudio);
            out.Key("audioCodec"), out.String(w.AudioCodecName);
            out.Key("sampleRate"), out.Int(w.SampleRate);
            out.Key("channels"), out.Int(w.Channel);
            out.Key("audioBitRate"), out.Int(w.AudioBitRate);
            out.EndObject();
        }
        out.EndArray();
        std::printf("%s\n", out.Text().c_str());
    } else {
        for (auto node = catalogue.First(); node != catalogue.End(); ++node) {
            const ProfileRecord& p = *node;
            const WriterSettings& w = p.writer;
            std::printf("%3d  %-52s", p.index, p.ProfileName.c_str());
            if (w.hasVideo)
                std::printf("  %-10s %4dx%-4d %6.3f fps %5d kbps", w.VideoCodecName, w.Width, w.Height, w.FrameRate / 1000.0,
                            w.VideoBitRate / 1000);
            if (w.hasAudio)
                std::printf("  %-10s %5d Hz %d ch %4d kbps", w.AudioCodecName, w.SampleRate, w.Channel, w.AudioBitRate / 1000);
            std::printf("\n");
        }
    }
    catalogue.Unlock();
    return kExitOk;
}

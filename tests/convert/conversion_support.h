#pragma once
// Helpers of the conversion tests: converting tasks of a test disc with ConversionRun, and
// reading the results back with ffprobe and ffmpeg.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "convert/conversion_run.h"
#include "convert/source_disc.h"
#include "profiles/profile_catalogue.h"

namespace testing_filters {

// The profile catalogue of the source tree.
const ProfileRecord& Profile(int index);

// An opened test disc (by name, or a path from the root) with its record.
struct OpenTestDisc {
    explicit OpenTestDisc(const std::string& name);
    std::shared_ptr<SourceDisc> source;
    DiscHandle handle = 0;           // the source's, for the disc-access hooks
    const DiscInfo* info = nullptr;  // the source's record
    std::string path;
};

// A task as the title list makes it, trimmed when asked (−1: to the end).
RunTask MakeRunTask(const OpenTestDisc& disc, int title, const ProfileRecord& profile, int chapter = -1,
                    std::int64_t startMs = 0, std::int64_t lengthMs = -1);

struct ConversionResult {
    std::vector<std::string> files;
    int failed = 0;
    bool cancelled = false;
    std::vector<std::string> messages;
    std::vector<FileDamage> damage;
};

// Runs the tasks into `folder` (emptied first) to the end.
ConversionResult Convert(const OpenTestDisc& disc, std::vector<RunTask> tasks, RunSettings settings);
// Default settings for a profile into a folder.
RunSettings Settings(const ProfileRecord& profile, const std::string& folder);
// A fresh folder for a test's output.
std::string OutputFolder(const std::string& name);

// What ffprobe says of a file.
struct Probe {
    std::string videoCodec, audioCodec;
    int width = 0, height = 0;
    double frameRate = 0;
    int frames = 0;          // decoded pictures
    int sampleRate = 0, channels = 0;
    double duration = 0;     // the container's
    double videoStart = 0, audioStart = 0; // the streams' start times
    int streams = 0;
};
Probe ProbeFile(const std::string& path);

// Every picture of a file's video as 8-bit grey at 64 × 48, in order.
std::vector<std::vector<std::uint8_t>> GreyPictures(const std::string& path);
// A file's sound as mono 16-bit samples at 48 kHz.
std::vector<std::int16_t> MonoSound(const std::string& path);

// The times (s, from the video's start) of the white pictures, and of the tone bursts.
std::vector<double> FlashTimes(const std::string& path);
std::vector<double> ClickTimes(const std::string& path);
// The frequency of the loudest tone (Hz), from zero crossings of the first `seconds`.
double ToneFrequency(const std::vector<std::int16_t>& sound, double seconds);

} // namespace testing_filters

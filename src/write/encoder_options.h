#pragma once
// What today's video encoders take beyond a bitrate: constant quality on their own scale, speed
// presets, two passes and deeper pictures, and the options that ask them for it. The seed's
// profiles use none of this (average bitrate, the writer's fixed group of pictures).

#include <string>
#include <string_view>
#include <vector>

#include "profiles/profile_record.h"

struct AVCodec;
struct AVCodecContext;
struct AVDictionary;

// An encoder's constant-quality scale: lower is better; `suggested` looks like a DVD's picture.
struct QualityScale {
    int lowest = 0;
    int highest = 0;
    int suggested = 0;
    const char* hint = "";
};

// The scale of an encoder that has a constant-quality mode (libx264, libx265, libsvtav1,
// libvpx-vp9), or null.
const QualityScale* QualityScaleOf(std::string_view encoder);
// The encoder's speed presets as it names them, fastest first; none when it has none.
std::vector<std::string> SpeedPresetsOf(std::string_view encoder);
// The preset the modern profiles start from (x264/x265 "medium", SVT-AV1 "8", VP9 "4"), or empty.
std::string DefaultSpeedOf(std::string_view encoder);
// Why two passes cannot be made with this encoder, or empty.
std::string TwoPassRefusal(std::string_view encoder);
// The depths an encoder takes: {8}, or {8, 10}.
std::vector<int> BitDepthsOf(std::string_view encoder);
// Whether these settings use today's encoder set-up (a group of pictures of some seconds, the
// encoder's own B pictures) instead of the seed's (a key picture a second, no B pictures).
bool ModernEncoding(const WriterSettings& w);

// Which pass of two a file is encoded in (0: one pass only), and where the first pass's
// statistics go.
struct EncoderPass {
    int pass = 0;
    std::string statsPath;
};

// Whether an encoder's two-pass statistics go through libavcodec (stats_out, stats_in) rather
// than a file of its own (x264, x265).
bool KeepsStatsInContext(std::string_view encoder);

// Why the video encoder `encoder` cannot do what these settings ask beyond a bitrate (constant
// quality without a scale or outside it, two passes it lacks, a speed that is not one of its
// presets, a depth it does not take; a depth of 0 is 8), or empty. The one check of these: the
// run asks it before it begins, and the encoder's set-up refuses with it.
std::string EncoderSettingsRefusal(const WriterSettings& w, std::string_view encoder);

// Sets the codec's bit rate and pixel format and fills `options` for these settings: the
// rate control, the speed, the depth, and the pass. False with the reason when the encoder
// cannot do what is asked (EncoderSettingsRefusal).
bool ApplyEncoderSettings(const WriterSettings& w, const AVCodec* encoder, AVCodecContext* codec, const EncoderPass& pass,
                          AVDictionary** options, std::string* why);

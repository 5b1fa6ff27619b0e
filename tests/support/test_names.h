#pragma once
// Names for parameterised tests that read well in `ctest -N` and stay the same from build to build.

#include <cctype>
#include <cstdio>
#include <string>
#include <string_view>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "support/shipped_catalogue.h"

namespace testing_filters {

// `text` with every character a test name may not hold made '_' ("pal_16x9.iso" → "pal_16x9_iso").
inline std::string TestName(std::string_view text)
{
    std::string name(text);
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

// A disc's title, 0-based in the test, as the title list numbers it: "ntsc_4x3_title1".
inline std::string TitleTestName(std::string_view disc, int title)
{
    return TestName(disc) + "_title" + std::to_string(title + 1);
}

// A shipped profile by its index, codec and container: "profile_005_h264_mp4", "profile_017_mp3_mp3".
inline std::string ProfileTestName(int index)
{
    char number[16];
    std::snprintf(number, sizeof number, "profile_%03d", index);
    std::string name = number;
    ProfileRecord profile;
    ProfileCatalogue* catalogue = ShippedCatalogue();
    if (!catalogue || !catalogue->FindByIndex(index, &profile)) return name;
    const char* encoder = profile.writer.hasVideo ? profile.writer.VideoCodecName : profile.writer.AudioCodecName;
    const AVCodec* codec = avcodec_find_encoder_by_name(encoder);
    name += "_" + TestName(codec ? avcodec_get_name(codec->id) : encoder);
    const std::string& ext = profile.FormatExt;
    return name + "_" + TestName(!ext.empty() && ext[0] == '.' ? ext.substr(1) : ext);
}

} // namespace testing_filters

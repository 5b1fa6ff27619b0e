#pragma once
// ProfileRecord: one output profile of the catalogue, and WriterSettings, the encoding part that
// the output writer and the conversion graph receive.
//
// Texts are UTF-8 and bounded by the capacities below (in characters, terminator included);
// longer values are cut to fit on a character boundary.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct WriterSettings {
    std::int32_t reserved0[2] = {0, 0};
    std::int32_t hasVideo = 0;
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::int32_t VideoBitRate = 0; // bits per second, passed to the encoder unchanged
    std::int32_t FrameRate = 0;    // frames per 1000 s; 23976 and 29970 stand for 24000/1001, 30000/1001
    char VideoCodecName[16] = {};  // FFmpeg encoder name
    std::int32_t hasAudio = 0;
    std::int32_t SampleRate = 0;   // Hz
    std::int32_t Channel = 0;
    std::int32_t AudioBitRate = 0; // bits per second
    // Subpicture streams kept as subtitle streams: 0 none, 1 the chosen one, 2 all (kept in the
    // place of a field the seed left unused).
    std::int32_t subtitleTracks = 0;
    char AudioCodecName[16] = {};  // FFmpeg encoder name
    // How the video's bitrate is governed: kAverageBitrate (VideoBitRate, the seed's way),
    // kConstantQuality (`quality` on the encoder's own scale) or kTwoPass (VideoBitRate, met over
    // two passes).
    std::int32_t rateControl = 0;
    std::int32_t quality = 0;
    // The encoder's speed preset as it names it ("medium", "8"); empty: its own default.
    char Speed[16] = {};
    // Bits per sample of the pictures encoded: 8, or 10 where the encoder takes it (x265).
    std::int32_t bitDepth = 8;
    // The subtitle streams kept (subtitleTracks), read into text: 0 kept as pictures, 1 as text
    // streams; `subtitleFiles` 1 writes them as SubRip files beside the file as well.
    std::int32_t subtitleText = 0;
    std::int32_t subtitleFiles = 0;
};

inline constexpr std::int32_t kAverageBitrate = 0;
inline constexpr std::int32_t kConstantQuality = 1;
inline constexpr std::int32_t kTwoPass = 2;

struct ProfileRecord {
    // Capacities in characters, terminator included.
    static constexpr std::size_t kFormatExt = 8;
    static constexpr std::size_t kProfileName = 160;
    static constexpr std::size_t kResolutions = 128;
    static constexpr std::size_t kFrameRates = 128;
    static constexpr std::size_t kVideoBitRates = 320;
    static constexpr std::size_t kAudioBitRates = 128;
    static constexpr std::size_t kSampleRates = 128;
    static constexpr std::size_t kChannels = 64;
    static constexpr std::size_t kVideoCodecs = 256;
    static constexpr std::size_t kAudioCodecs = 128;
    static constexpr std::size_t kCodecName = 16;

    std::int32_t index = 0; // position in "Format.xml", from 0; the profile's identity
    std::string FormatExt;
    std::string ProfileName;
    std::string Resolutions;
    std::string FrameRates;
    std::string VideoBitRates;
    std::string AudioBitRates;
    std::string SampleRates;
    std::string Channels;
    std::string VideoCodecs;
    std::string AudioCodecs;
    WriterSettings writer;
};

// `text` cut to at most capacity − 1 characters (UTF-8 code points).
std::string FitText(std::string_view text, std::size_t capacity);
// Stores a name into a fixed 8-bit field, cut to fit.
void StoreCodecName(char (&field)[ProfileRecord::kCodecName], std::string_view name);

// Option lists: items separated by ",", each a bare value or "value$label".
// The label of the first item whose value equals `value` exactly; empty when none.
std::string LookupLabel(std::string_view list, std::string_view value);
// The value of the first item whose label equals `label` exactly; empty when none.
std::string LookupValue(std::string_view list, std::string_view label);
// The labels of a list, in order (for the settings window).
std::vector<std::string> OptionLabels(std::string_view list);

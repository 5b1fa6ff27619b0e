#pragma once
// Whether a profile's settings can be encoded, asked before anything is converted (a run that
// would fail on its first picture fails at once, naming the setting to change), and which of a
// profile's listed values can be (the settings window offers no other).
//
// libavcodec's own encoders are asked by opening them (a moment each); the library encoders of
// today's formats (x264, x265, SVT-AV1, libvpx) take any even size, rate and bitrate, and their
// quality, speed and depth are checked against what they are known to take.

#include <functional>
#include <string>

#include "profiles/profile_record.h"

// Empty when the video and sound settings can be encoded; otherwise what cannot, with the values
// of the profile's lists that can: "The size 320*240 cannot be encoded by h263; these can:
// 128*96, 176*144, 352*288, 704*576".
std::string SettingsRefusal(const ProfileRecord& record, const WriterSettings& w);

// Whether the video encoder opens with these settings (sizes of 0, the source's, as 720 × 480).
bool VideoSettingsWork(const WriterSettings& w);
// Whether the sound encoder opens with these settings ("copy" always does).
bool AudioSettingsWork(const WriterSettings& w);

// Whether the container of files named with `extension` takes the streams these settings make
// (DV takes its own sample rates, FLV three); asked by writing a header into nothing.
bool ContainerTakes(const WriterSettings& w, const std::string& extension);
// Whether the encoders and the container take these settings.
bool SettingsWork(const WriterSettings& w, const std::string& extension);

using SettingsTest = std::function<bool(const WriterSettings&)>;
// The items of an option list (value$label,…) whose value, put into `w` by `apply`, still
// encodes; the list's text again.
std::string WorkingItems(const std::string& list, const WriterSettings& w,
                         void (*apply)(WriterSettings&, const std::string& value), const SettingsTest& works);

// What each list's value sets.
void ApplySize(WriterSettings& w, const std::string& value);       // "W*H"
void ApplyFrameRate(WriterSettings& w, const std::string& value);
void ApplyVideoBitRate(WriterSettings& w, const std::string& value);
void ApplySampleRate(WriterSettings& w, const std::string& value);
void ApplyChannels(WriterSettings& w, const std::string& value);
void ApplyAudioBitRate(WriterSettings& w, const std::string& value);

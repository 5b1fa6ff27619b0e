// Every value the settings window offers converts: for one profile per video encoder and one per
// sound encoder of the catalogue (the seed's and today's), each offered size, frame rate, bitrate,
// sample rate and channel count goes into a one-second conversion. The lists are walked side by
// side (the n-th size with the n-th sample rate …), each as offered given the values above it,
// as the window narrows them.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "convert/conversion_support.h"
#include "profiles/profile_catalogue.h"
#include "support/shipped_catalogue.h"
#include "write/settings_check.h"

namespace {

using namespace testing_filters;

// The values of an option list.
std::vector<std::string> Values(const std::string& list)
{
    std::vector<std::string> values;
    std::size_t from = 0;
    while (from < list.size()) {
        const std::size_t comma = std::min(list.find(',', from), list.size());
        const std::string item = list.substr(from, comma - from);
        if (!item.empty()) values.push_back(item.substr(0, item.find('$')));
        from = comma + 1;
    }
    return values;
}

// The first profile of each video encoder and of each sound encoder (copies left out).
std::vector<int> OnePerEncoder()
{
    std::set<std::string> seen;
    std::vector<int> chosen;
    for (int index = 0; index < static_cast<int>(WholeCatalogue().Count()); ++index) {
        ProfileRecord record;
        if (!WholeCatalogue().FindByIndex(index, &record)) continue;
        const WriterSettings& w = record.writer;
        const bool newVideo = w.hasVideo && std::string(w.VideoCodecName) != "copy" && seen.insert("v:" + std::string(w.VideoCodecName)).second;
        const bool newAudio = w.hasAudio && std::string(w.AudioCodecName) != "copy" && seen.insert("a:" + std::string(w.AudioCodecName)).second;
        if (newVideo || newAudio) chosen.push_back(index);
    }
    return chosen;
}

class OfferedSettings : public ::testing::TestWithParam<int> {};

TEST_P(OfferedSettings, EveryOfferedValueConverts)
{
    ProfileRecord profile;
    ASSERT_TRUE(WholeCatalogue().FindByIndex(GetParam(), &profile));
    SCOPED_TRACE(profile.ProfileName);
    const WriterSettings& w = profile.writer;
    // Each list as the window offers it: given the values chosen above it (a sample rate
    // narrows the bitrates Vorbis takes).
    struct Offered {
        const std::string* list;
        void (*apply)(WriterSettings&, const std::string&);
    };
    std::vector<Offered> lists;
    if (w.hasVideo) {
        lists.push_back({&profile.Resolutions, ApplySize});
        lists.push_back({&profile.FrameRates, ApplyFrameRate});
        lists.push_back({&profile.VideoBitRates, ApplyVideoBitRate});
    }
    if (w.hasAudio) {
        lists.push_back({&profile.SampleRates, ApplySampleRate});
        lists.push_back({&profile.Channels, ApplyChannels});
        lists.push_back({&profile.AudioBitRates, ApplyAudioBitRate});
    }
    const SettingsTest works = [&](const WriterSettings& trial) { return SettingsWork(trial, profile.FormatExt); };
    std::size_t rounds = 0;
    for (const Offered& list : lists) {
        const std::size_t offered = Values(WorkingItems(*list.list, w, list.apply, works)).size();
        EXPECT_GT(offered, 0u) << "a list offers nothing";
        rounds = std::max(rounds, offered);
    }
    OpenTestDisc disc("ntsc_4x3");
    const std::string folder = OutputFolder("offered-" + std::to_string(GetParam()));
    for (std::size_t round = 0; round < rounds; ++round) {
        ProfileRecord trial = profile;
        std::string tried;
        for (const Offered& list : lists) {
            const std::vector<std::string> values = Values(WorkingItems(*list.list, trial.writer, list.apply, works));
            if (values.empty()) continue;
            const std::string& value = values[round % values.size()];
            list.apply(trial.writer, value);
            tried += value + " ";
        }
        RunSettings settings = Settings(trial, folder);
        settings.choices = profile;
        settings.overwrite = true;
        const auto result = Convert(disc, {MakeRunTask(disc, 1, trial, -1, 1000, 1000)}, settings);
        EXPECT_EQ(result.failed, 0) << tried << (result.messages.empty() ? "" : result.messages.front());
        EXPECT_EQ(result.files.size(), 1u) << tried;
    }
    std::filesystem::remove_all(folder);
}

INSTANTIATE_TEST_SUITE_P(Catalogue, OfferedSettings, ::testing::ValuesIn(OnePerEncoder()),
                         [](const ::testing::TestParamInfo<int>& test) { return "profile_" + std::to_string(test.param); });

} // namespace

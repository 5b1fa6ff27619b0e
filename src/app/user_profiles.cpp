#include "app/user_profiles.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <algorithm>

QString UserProfiles::FilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + QStringLiteral("/user_profiles.ini");
}

ProfileRecord UserProfiles::ReadRecord(const QSettings& store)
{
    ProfileRecord r;
    auto text = [&](const char* key) { return store.value(QString::fromLatin1(key)).toString().toStdString(); };
    auto number = [&](const char* key) { return store.value(QString::fromLatin1(key)).toInt(); };
    r.index = number("index");
    r.ProfileName = text("ProfileName");
    r.FormatExt = text("FormatExt");
    r.Resolutions = text("Resolutions");
    r.FrameRates = text("FrameRates");
    r.VideoBitRates = text("VideoBitRates");
    r.AudioBitRates = text("AudioBitRates");
    r.SampleRates = text("SampleRates");
    r.Channels = text("Channels");
    r.VideoCodecs = text("VideoCodecs");
    r.AudioCodecs = text("AudioCodecs");
    WriterSettings& w = r.writer;
    w.hasVideo = number("hasVideo");
    w.Width = number("Width");
    w.Height = number("Height");
    w.VideoBitRate = number("VideoBitRate");
    w.FrameRate = number("FrameRate");
    StoreCodecName(w.VideoCodecName, text("VideoCodecName"));
    w.hasAudio = number("hasAudio");
    w.SampleRate = number("SampleRate");
    w.Channel = number("Channel");
    w.AudioBitRate = number("AudioBitRate");
    StoreCodecName(w.AudioCodecName, text("AudioCodecName"));
    w.subtitleTracks = number("SubtitleTracks");
    w.rateControl = number("RateControl");
    w.quality = number("Quality");
    StoreCodecName(w.Speed, text("Speed"));
    if (const int depth = number("BitDepth"); depth > 0) w.bitDepth = depth;
    w.subtitleText = number("SubtitleText");
    w.subtitleFiles = number("SubtitleFiles");
    return r;
}

void UserProfiles::WriteRecord(QSettings& store, const ProfileRecord& r)
{
    auto text = [&](const char* key, const std::string& value) { store.setValue(QString::fromLatin1(key), QString::fromStdString(value)); };
    auto number = [&](const char* key, int value) { store.setValue(QString::fromLatin1(key), value); };
    number("index", r.index);
    text("ProfileName", r.ProfileName);
    text("FormatExt", r.FormatExt);
    text("Resolutions", r.Resolutions);
    text("FrameRates", r.FrameRates);
    text("VideoBitRates", r.VideoBitRates);
    text("AudioBitRates", r.AudioBitRates);
    text("SampleRates", r.SampleRates);
    text("Channels", r.Channels);
    text("VideoCodecs", r.VideoCodecs);
    text("AudioCodecs", r.AudioCodecs);
    const WriterSettings& w = r.writer;
    number("hasVideo", w.hasVideo);
    number("Width", w.Width);
    number("Height", w.Height);
    number("VideoBitRate", w.VideoBitRate);
    number("FrameRate", w.FrameRate);
    text("VideoCodecName", w.VideoCodecName);
    number("hasAudio", w.hasAudio);
    number("SampleRate", w.SampleRate);
    number("Channel", w.Channel);
    number("AudioBitRate", w.AudioBitRate);
    text("AudioCodecName", w.AudioCodecName);
    number("SubtitleTracks", w.subtitleTracks);
    number("RateControl", w.rateControl);
    number("Quality", w.quality);
    text("Speed", w.Speed);
    number("BitDepth", w.bitDepth);
    number("SubtitleText", w.subtitleText);
    number("SubtitleFiles", w.subtitleFiles);
}

std::vector<ProfileRecord> UserProfiles::Load()
{
    std::vector<ProfileRecord> records;
    QSettings store(FilePath(), QSettings::IniFormat);
    const int count = store.beginReadArray(QStringLiteral("profiles"));
    for (int i = 0; i < count; ++i) {
        store.setArrayIndex(i);
        ProfileRecord r = ReadRecord(store);
        if (IsUserIndex(r.index)) records.push_back(std::move(r));
    }
    store.endArray();
    return records;
}

bool UserProfiles::Save(const std::vector<ProfileRecord>& records)
{
    QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
    QSettings store(FilePath(), QSettings::IniFormat);
    store.remove(QStringLiteral("profiles"));
    store.beginWriteArray(QStringLiteral("profiles"), static_cast<int>(records.size()));
    for (int i = 0; i < static_cast<int>(records.size()); ++i) {
        const ProfileRecord& r = records[static_cast<std::size_t>(i)];
        store.setArrayIndex(i);
        WriteRecord(store, r);
    }
    store.endArray();
    store.sync();
    return store.status() == QSettings::NoError;
}

int UserProfiles::Add(ProfileRecord record, const QString& name)
{
    std::vector<ProfileRecord> records = Load();
    int index = kFirstIndex;
    for (const ProfileRecord& r : records) index = std::max(index, r.index + 1);
    record.index = index;
    record.ProfileName = FitText(name.toStdString(), ProfileRecord::kProfileName);
    const std::vector<ProfileRecord> before = records;
    records.push_back(std::move(record));
    if (Save(records)) return index;
    // Not written: what QSettings keeps of the file in memory goes back to what the file holds,
    // so that no window lists a profile that is not saved.
    Save(before);
    return -1;
}

bool UserProfiles::Remove(int index)
{
    std::vector<ProfileRecord> records = Load();
    const std::vector<ProfileRecord> before = records;
    const auto removed = std::erase_if(records, [index](const ProfileRecord& r) { return r.index == index; });
    if (removed == 0) return false;
    if (Save(records)) return true;
    Save(before);
    return false;
}

bool UserProfiles::Find(int index, ProfileRecord* record)
{
    for (ProfileRecord& r : Load())
        if (r.index == index) {
            if (record) *record = std::move(r);
            return true;
        }
    return false;
}

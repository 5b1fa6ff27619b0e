#include "profiles/profile_catalogue.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <unistd.h>

#include "profiles/xml_document.h"

namespace {

// The standard text-to-long reading: blanks and a sign, digits up to the first other character,
// no digits give 0; clamped to 32 bits.
std::int32_t ReadNumber(const std::string& text)
{
    errno = 0;
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<std::int32_t>(value);
}

// FindChildElement → EnterElement → GetAttribute("value") → LeaveElement. Null when the element
// is not found after the search point.
bool ReadValue(XmlDocument& document, std::string_view field, std::string* value)
{
    if (!document.FindChildElement(field)) return false;
    document.EnterElement();
    *value = document.GetAttribute("value");
    document.LeaveElement();
    return true;
}

} // namespace

void ReadProfileFields(XmlDocument& document, ProfileRecord& record)
{
    WriterSettings& w = record.writer;
    std::string value;
    if (ReadValue(document, "ProfileName", &value)) record.ProfileName = FitText(value, ProfileRecord::kProfileName);
    if (ReadValue(document, "FormatExt", &value)) record.FormatExt = FitText(value, ProfileRecord::kFormatExt);
    w.hasVideo = 1;
    w.hasAudio = 1;

    auto number = [&](std::string_view field, std::int32_t* target, std::int32_t* group) {
        if (ReadValue(document, field, &value))
            *target = ReadNumber(value);
        else
            *group = 0;
    };
    auto text = [&](std::string_view field, std::string* target, std::size_t capacity, std::int32_t* group) {
        if (ReadValue(document, field, &value))
            *target = FitText(value, capacity);
        else
            *group = 0;
    };

    if (ReadValue(document, "VideoCodecName", &value)) {
        StoreCodecName(w.VideoCodecName, value);
        if (value.empty()) w.hasVideo = 0;
    } else {
        w.hasVideo = 0;
    }
    number("Width", &w.Width, &w.hasVideo);
    number("Height", &w.Height, &w.hasVideo);
    number("FrameRate", &w.FrameRate, &w.hasVideo);
    number("VideoBitRate", &w.VideoBitRate, &w.hasVideo);
    if (ReadValue(document, "AudioCodecName", &value)) {
        StoreCodecName(w.AudioCodecName, value);
        if (value.empty()) w.hasAudio = 0;
    } else {
        w.hasAudio = 0;
    }
    number("SampleRate", &w.SampleRate, &w.hasAudio);
    number("AudioBitRate", &w.AudioBitRate, &w.hasAudio);
    number("Channel", &w.Channel, &w.hasAudio);
    text("Resolutions", &record.Resolutions, ProfileRecord::kResolutions, &w.hasVideo);
    text("FrameRates", &record.FrameRates, ProfileRecord::kFrameRates, &w.hasVideo);
    text("VideoCodecs", &record.VideoCodecs, ProfileRecord::kVideoCodecs, &w.hasVideo);
    text("VideoBitRates", &record.VideoBitRates, ProfileRecord::kVideoBitRates, &w.hasVideo);
    text("SampleRates", &record.SampleRates, ProfileRecord::kSampleRates, &w.hasAudio);
    text("Channels", &record.Channels, ProfileRecord::kChannels, &w.hasAudio);
    text("AudioCodecs", &record.AudioCodecs, ProfileRecord::kAudioCodecs, &w.hasAudio);
    text("AudioBitRates", &record.AudioBitRates, ProfileRecord::kAudioBitRates, &w.hasAudio);
    // Rate control, speed and depth, after the lists (the added profiles'; the seed's have none).
    if (ReadValue(document, "RateControl", &value)) w.rateControl = ReadNumber(value);
    if (ReadValue(document, "Quality", &value)) w.quality = ReadNumber(value);
    if (ReadValue(document, "Speed", &value)) StoreCodecName(w.Speed, value);
    if (ReadValue(document, "BitDepth", &value)) w.bitDepth = ReadNumber(value);
}

bool ProfileCatalogue::Load(const std::string& path)
{
    {
        std::lock_guard lock(m_lock);
        m_nextIndex = 0;
    }
    return LoadAdded(path);
}

void ProfileCatalogue::LoadFrom(XmlDocument& document)
{
    {
        std::lock_guard lock(m_lock);
        m_nextIndex = 0;
    }
    Read(document);
}

bool ProfileCatalogue::LoadAdded(const std::string& path)
{
    XmlDocument document;
    errno = 0;
    if (!document.LoadFile(path)) {
        const int error = errno;
        std::lock_guard lock(m_lock);
        m_problem = path + ": " +
                    (document.HasFinding("file_error") ? (error ? std::string(std::strerror(error)) : std::string("cannot be read"))
                                                       : "not well formed (" + document.ResultText() + ")");
        return false;
    }
    Read(document);
    std::lock_guard lock(m_lock);
    m_problem.clear();
    return true;
}

std::string ProfileCatalogue::LoadProblem()
{
    std::lock_guard lock(m_lock);
    return m_problem;
}

void ProfileCatalogue::Read(XmlDocument& document)
{
    std::lock_guard lock(m_lock);
    document.ResetMainPosition();
    while (document.FindChildElement("Profile")) {
        document.EnterElement();
        ProfileRecord record;
        record.index = m_nextIndex++; // unusable profiles use up their number too
        ReadProfileFields(document, record);
        Append(record);
        document.LeaveElement();
    }
}

bool LoadProfiles(ProfileCatalogue& catalogue)
{
    if (!catalogue.Load(FindDataFile("Format.xml"))) return false;
    catalogue.LoadAdded(FindDataFile("Format-added.xml"));
    return true;
}

std::size_t ProfileCatalogue::Count()
{
    std::lock_guard lock(m_lock);
    return m_records.size();
}

bool ProfileCatalogue::FindByIndex(int index, ProfileRecord* destination)
{
    std::lock_guard lock(m_lock);
    for (const auto& record : m_records) {
        if (record.index == index) {
            if (destination) *destination = record;
            return true;
        }
    }
    return false;
}

void ProfileCatalogue::Append(const ProfileRecord& record)
{
    std::lock_guard lock(m_lock);
    m_records.push_back(record);
}

void ProfileCatalogue::Change(const std::function<void(ProfileRecord&)>& change)
{
    std::lock_guard lock(m_lock);
    for (ProfileRecord& record : m_records) change(record);
}

void ProfileCatalogue::Clear()
{
    std::lock_guard lock(m_lock);
    m_records.clear();
}

bool SetFile::Load(const std::string& path)
{
    title.clear();
    url.clear();
    XmlDocument document;
    if (!document.LoadFile(path)) return false;
    if (!document.FindChildElement("Profile")) return true;
    document.EnterElement();
    ReadValue(document, "Title", &title);
    ReadValue(document, "Url", &url);
    return true;
}

std::string FindDataFile(const std::string& name)
{
    namespace fs = std::filesystem;
    std::error_code error;
    if (fs::exists(name, error)) return name;
    std::vector<fs::path> folders;
    // A data folder named in the environment is the only one looked in.
    if (const char* dir = std::getenv("ZUZIDERO_DATA_DIR"); dir && *dir) {
        const fs::path candidate = fs::path(dir) / name;
        return fs::exists(candidate, error) ? candidate.string() : name;
    }
    // Next to the program first, so that an installed copy (under any prefix, or unpacked into a
    // staging folder) and a build tree each use their own data; the configured folder last.
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        self[length] = '\0';
        const fs::path exeDir = fs::path(self).parent_path();
        folders.push_back(exeDir.parent_path() / "share" / "zuzidero"); // installed: bin/..
        // A build tree keeps the data in <build>/share/zuzidero, a few folders up.
        fs::path up = exeDir;
        for (int i = 0; i < 4 && up.has_parent_path(); ++i, up = up.parent_path())
            folders.push_back(up / "share" / "zuzidero");
        folders.push_back(exeDir);
    }
#ifdef ZUZIDERO_DATA_DIR
    folders.emplace_back(ZUZIDERO_DATA_DIR);
#endif
    for (const auto& folder : folders) {
        const fs::path candidate = folder / name;
        if (fs::exists(candidate, error)) return candidate.string();
    }
    return name;
}

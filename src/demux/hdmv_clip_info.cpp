#include "demux/hdmv_clip_info.h"

#include <algorithm>
#include <cctype>
#include <cerrno>

#include "com/plain_file.h"
#include "dvd/iso639.h"

namespace {

// Play item and mark times: 45 kHz ticks, as 100 ns units.
REFERENCE_TIME FromTicks(std::uint32_t ticks) { return static_cast<REFERENCE_TIME>(ticks) * 20000 / 90; }

HRESULT FromErrno(int error) { return error > 0 ? hr(0x80070000u | (static_cast<std::uint32_t>(error) & 0xFFFF)) : E_FAIL; }

// A file read whole; false with the error of opening or reading. Only a regular file is read: a
// folder or a link to one named like a playlist, or a FIFO, is refused without waiting on it.
HRESULT ReadWhole(const std::filesystem::path& path, std::vector<std::uint8_t>& bytes, std::string* why = nullptr)
{
    std::string reason;
    if (ReadPlainFile(path.string(), bytes, &reason)) return S_OK;
    if (why) *why = reason;
    return reason.rfind("is ", 0) == 0 ? E_FAIL : FromErrno(errno ? errno : EIO);
}

// Big-endian reads that know the end: a read past it fails the whole parse.
class Bytes {
public:
    explicit Bytes(const std::vector<std::uint8_t>& data) : m_data(data) {}
    bool Seek(std::size_t at)
    {
        if (at > m_data.size()) return m_ok = false;
        m_at = at;
        return true;
    }
    std::size_t Position() const { return m_at; }
    bool Ok() const { return m_ok; }
    std::uint32_t Read(int size)
    {
        if (!m_ok || m_at + static_cast<std::size_t>(size) > m_data.size()) {
            m_ok = false;
            return 0;
        }
        std::uint32_t value = 0;
        for (int i = 0; i < size; ++i) value = value << 8 | m_data[m_at++];
        return value;
    }
    std::string Text(int size)
    {
        if (!m_ok || m_at + static_cast<std::size_t>(size) > m_data.size()) {
            m_ok = false;
            return {};
        }
        std::string text(reinterpret_cast<const char*>(m_data.data() + m_at), static_cast<std::size_t>(size));
        m_at += static_cast<std::size_t>(size);
        return text;
    }

private:
    const std::vector<std::uint8_t>& m_data;
    std::size_t m_at = 0;
    bool m_ok = true;
};

bool KnownVersion(const std::string& version) { return version == "0200" || version == "0100"; }

void SetLanguage(ClipStreamInfo& stream, const std::string& code)
{
    for (std::size_t i = 0; i < 3 && i < code.size(); ++i) stream.language[i] = code[i];
    stream.language[3] = 0;
    std::string lower = code;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    const Iso639Language* language = FindLanguageByAlpha3(lower);
    stream.locale = language ? language->localeId : 0;
}

} // namespace

std::filesystem::path CHdmvClipInfo::ClipInfoPathOf(const std::filesystem::path& m2ts)
{
    return m2ts.parent_path().parent_path() / "CLIPINF" / (m2ts.stem().string() + ".clpi");
}

HRESULT CHdmvClipInfo::ReadClipInfo(const std::filesystem::path& path)
{
    m_bluray = false;
    m_streams.clear();
    std::vector<std::uint8_t> data;
    if (const HRESULT opened = ReadWhole(path, data); FAILED(opened)) return opened;
    Bytes in(data);
    if (in.Text(4) != "HDMV" || !KnownVersion(in.Text(4))) return VFW_E_INVALID_FILE_FORMAT;
    m_sequenceInfo = in.Read(4);
    m_programInfo = in.Read(4);
    if (!in.Ok() || !in.Seek(m_programInfo)) return VFW_E_INVALID_FILE_FORMAT;
    in.Read(4); // length
    in.Read(1); // reserved
    const std::uint32_t sequences = in.Read(1);
    std::vector<ClipStreamInfo> streams;
    for (std::uint32_t s = 0; s < sequences && in.Ok(); ++s) {
        in.Read(4); // SPN program sequence start
        in.Read(2); // program map PID
        const std::uint32_t count = in.Read(1);
        in.Read(1); // number of groups
        for (std::uint32_t i = 0; i < count && in.Ok(); ++i) {
            ClipStreamInfo stream;
            stream.pid = static_cast<std::uint16_t>(in.Read(2));
            const std::size_t lengthAt = in.Position();
            const std::uint32_t length = in.Read(1);
            stream.streamType = static_cast<std::uint8_t>(in.Read(1));
            switch (stream.streamType) {
            case 0x01: case 0x02: case 0x1B: case 0xEA: { // video
                const std::uint32_t format = in.Read(1);
                stream.videoFormat = static_cast<std::uint8_t>(format >> 4);
                stream.frameRate = static_cast<std::uint8_t>(format & 0x0F);
                stream.aspectRatio = static_cast<std::uint8_t>(in.Read(1) >> 4);
                break;
            }
            case 0x03: case 0x04: case 0x80: case 0x81: case 0x82: case 0x83: case 0x84: case 0x85: case 0x86:
            case 0xA1: case 0xA2: { // audio
                const std::uint32_t format = in.Read(1);
                stream.presentationType = static_cast<std::uint8_t>(format >> 4);
                stream.sampleRateCode = static_cast<std::uint8_t>(format & 0x0F);
                SetLanguage(stream, in.Text(3));
                break;
            }
            case 0x90: case 0x91: // graphics
                SetLanguage(stream, in.Text(3));
                break;
            case 0x92: // text subtitles
                in.Read(1); // character code
                SetLanguage(stream, in.Text(3));
                break;
            default:
                break;
            }
            // The next stream starts after the coding info, whatever this one held.
            if (!in.Seek(lengthAt + length + 1)) break;
            streams.push_back(stream);
        }
    }
    if (!in.Ok()) return VFW_E_INVALID_FILE_FORMAT;
    m_streams = std::move(streams);
    m_bluray = true;
    return S_OK;
}

const ClipStreamInfo* CHdmvClipInfo::FindClipStream(std::uint16_t pid) const
{
    const auto it = std::find_if(m_streams.begin(), m_streams.end(), [pid](const ClipStreamInfo& s) { return s.pid == pid; });
    return it == m_streams.end() ? nullptr : &*it;
}

HRESULT CHdmvClipInfo::ReadPlaylist(const std::filesystem::path& path, Playlist& playlist, std::string* why)
{
    std::string ignored;
    if (!why) why = &ignored;
    const auto invalid = [&](std::string reason) {
        *why = std::move(reason);
        return VFW_E_INVALID_FILE_FORMAT;
    };
    playlist = Playlist{};
    // The Blu-ray folder: the playlist's path without its last two components.
    const std::filesystem::path bdmv = path.parent_path().parent_path();
    std::vector<std::uint8_t> data;
    std::string reason;
    if (const HRESULT opened = ReadWhole(path, data, &reason); FAILED(opened)) {
        *why = reason.rfind("is ", 0) == 0 ? "it " + reason : "it cannot be read: " + reason;
        return opened;
    }
    Bytes in(data);
    if (in.Text(4) != "MPLS") return invalid("it is no playlist");
    if (std::string version = in.Text(4); !KnownVersion(version)) {
        // Said as it is, but for bytes that are no letters (a damaged file's).
        for (char& c : version)
            if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = '?';
        return invalid("its version " + version + " is not known");
    }
    const std::uint32_t playlistAt = in.Read(4);
    const std::uint32_t marksAt = in.Read(4);
    if (!in.Ok() || !in.Seek(playlistAt)) return invalid("it is cut short or damaged");
    in.Read(4); // length
    in.Read(2); // reserved
    const std::uint32_t items = in.Read(2);
    in.Read(2); // sub-paths
    std::size_t itemAt = playlistAt + 10;
    for (std::uint32_t i = 0; i < items && in.Ok(); ++i) {
        if (!in.Seek(itemAt)) break;
        const std::uint32_t length = in.Read(2);
        const std::string name = in.Text(5);
        if (in.Ok() && in.Text(4) != "M2TS") return invalid("it is cut short or damaged");
        in.Text(3);
        const std::uint32_t inTime = in.Read(4), outTime = in.Read(4);
        if (!in.Ok()) break;
        const std::string number = "play item " + std::to_string(i + 1);
        if (name.size() != 5 || !std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return invalid(number + " names a clip that is not five digits");
        if (outTime <= inTime) return invalid(number + " ends before it starts");
        PlayItem item;
        item.clip = bdmv / "STREAM" / (name + ".M2TS");
        item.in = FromTicks(inTime);
        item.out = FromTicks(outTime);
        playlist.duration += item.out - item.in;
        if (std::any_of(playlist.items.begin(), playlist.items.end(), [&](const PlayItem& p) { return p.clip == item.clip; }))
            playlist.repeatedClip = true;
        playlist.items.push_back(item);
        itemAt += length + 2;
    }
    if (!in.Ok()) return invalid("it is cut short or damaged");
    // Entry marks are the chapters; a missing or damaged mark table leaves the title without.
    if (marksAt > 0 && in.Seek(marksAt)) {
        in.Read(4); // length
        const std::uint32_t count = in.Read(2);
        for (std::uint32_t i = 0; i < count && in.Ok(); ++i) {
            in.Read(1); // reserved
            const std::uint32_t type = in.Read(1);
            const std::uint32_t item = in.Read(2);
            const std::uint32_t stamp = in.Read(4);
            in.Read(2); // entry PID
            in.Read(4); // duration
            if (in.Ok() && type == 1 && item < playlist.items.size()) playlist.chapters.push_back({static_cast<int>(item), FromTicks(stamp)});
        }
        if (!in.Ok()) playlist.chapters.clear();
    }
    return playlist.repeatedClip ? S_FALSE : S_OK;
}

std::filesystem::path CHdmvClipInfo::BdmvFolder(const std::filesystem::path& folder)
{
    std::error_code error;
    std::filesystem::path at = folder;
    // A trailing separator leaves an empty last component.
    if (!at.has_filename()) at = at.parent_path();
    const std::string name = at.filename().string();
    if (name == "PLAYLIST" || name == "STREAM" || name == "CLIPINF") at = at.parent_path();
    if (at.filename() == "BDMV" && std::filesystem::is_directory(at / "PLAYLIST", error)) return at;
    if (std::filesystem::is_directory(at / "BDMV" / "PLAYLIST", error)) return at / "BDMV";
    return {};
}

HRESULT CHdmvClipInfo::FindMainPlaylist(const std::filesystem::path& folder, std::filesystem::path& found, Playlist& playlist)
{
    found.clear();
    playlist = Playlist{};
    const std::filesystem::path bdmv = BdmvFolder(folder);
    if (bdmv.empty()) return E_FAIL;
    std::vector<std::filesystem::path> names;
    for (const std::filesystem::path& entry : ListFolder(bdmv / "PLAYLIST")) {
        std::string extension = entry.extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) { return std::tolower(c); });
        if (extension == ".mpls") names.push_back(entry);
    }
    // In name order, so that equal lengths choose the same playlist every time.
    std::sort(names.begin(), names.end());
    for (const auto& name : names) {
        Playlist candidate;
        if (ReadPlaylist(name, candidate) == S_OK && candidate.duration > playlist.duration) {
            found = name;
            playlist = std::move(candidate);
        }
    }
    return found.empty() ? E_FAIL : S_OK;
}

#pragma once
// CHdmvClipInfo: what a Blu-ray folder says of its streams and titles. Clip information (CLPI)
// lists, for every PID of one M2TS clip, its coding type, language and audio or video
// parameters; playlists (MPLS) chain clips into titles. The splitter reads the clip information
// of the file it splits; the disc layer reads the playlists.
//
// Files are read whole and parsed with every length checked: a damaged or hostile file gives
// VFW_E_INVALID_FILE_FORMAT, never a read outside it.

#include <filesystem>
#include <string>
#include <vector>

#include "demux/splitter_title_info.h"
#include "pipeline/interfaces.h"

class CHdmvClipInfo {
public:
    // A playlist's play item: its clip and the stretch of it played, in 100 ns units.
    struct PlayItem {
        std::filesystem::path clip; // BDMV/STREAM/NNNNN.M2TS
        REFERENCE_TIME in = 0, out = 0;
    };
    // A playlist mark of type 1 (an entry mark: a chapter), on a play item's clip.
    struct Mark {
        int playItem = 0;
        REFERENCE_TIME time = 0; // on that item's clip, 100 ns units
    };
    struct Playlist {
        REFERENCE_TIME duration = 0; // the sum of the items' OUT − IN
        std::vector<PlayItem> items;
        std::vector<Mark> chapters;
        bool repeatedClip = false;
    };

    // Reads a CLPI file; S_OK fills the entries and sets the Blu-ray flag, otherwise the flag is
    // clear (the error of opening, or VFW_E_INVALID_FILE_FORMAT).
    HRESULT ReadClipInfo(const std::filesystem::path& path);
    // The clip information of an M2TS file: the sibling CLIPINF folder's NNNNN.clpi.
    static std::filesystem::path ClipInfoPathOf(const std::filesystem::path& m2ts);
    const ClipStreamInfo* FindClipStream(std::uint16_t pid) const;
    bool IsBluray() const { return m_bluray; }
    const std::vector<ClipStreamInfo>& Streams() const { return m_streams; }

    // Reads an MPLS file: S_OK, S_FALSE when a clip is played twice, or an error with the reason
    // in `why` ("it is cut short or damaged", "play item 2 ends before it starts").
    static HRESULT ReadPlaylist(const std::filesystem::path& path, Playlist& playlist, std::string* why = nullptr);
    // The longest playlist without a repeated clip of a Blu-ray folder (the folder holding BDMV,
    // BDMV itself, or its PLAYLIST or STREAM folder); S_OK, or E_FAIL when there is none.
    static HRESULT FindMainPlaylist(const std::filesystem::path& folder, std::filesystem::path& found, Playlist& playlist);
    // The BDMV folder of any of the folders FindMainPlaylist takes; empty when none is there.
    static std::filesystem::path BdmvFolder(const std::filesystem::path& folder);

private:
    std::uint32_t m_sequenceInfo = 0, m_programInfo = 0;
    std::vector<ClipStreamInfo> m_streams;
    bool m_bluray = false;
};

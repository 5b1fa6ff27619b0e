#pragma once
// SourceDisc: the open disc that the window, a run, a preview and the editor read. It holds the
// disc (any kind: DVD, Blu-ray folder, MPEG file) and its handle for the filters that read it
// through the disc-access operations, and answers what the title list and the runs ask of it.
// Made by Open and shared by whoever reads it; the disc closes when the last holder lets go.
//
// Any thread; the disc serialises its own calls.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dvd/disc.h"
#include "dvd/my_dvd.h"

class SourceDisc {
public:
    // Opens a disc (a device, a VIDEO_TS folder or the folder above it, an ISO image, a Blu-ray
    // folder, an MPEG file); null with the reason in `why` when it cannot be read.
    static std::shared_ptr<SourceDisc> Open(const std::string& path, std::string* why = nullptr);
    // What could not be opened, worded for its kind ("Open DVD error: WHY", "Open Blu-ray folder
    // error: WHY", "Open MPEG file error: WHY", else "Open disc error: WHY").
    static std::string OpenErrorText(const std::string& path, const std::string& why, const char* separator = ": ");

    ~SourceDisc();
    SourceDisc(const SourceDisc&) = delete;
    SourceDisc& operator=(const SourceDisc&) = delete;

    // For the filters that read the disc (the DVD source filter).
    DiscHandle Handle() const { return m_handle; }
    // The disc information record, read when the disc was opened.
    const DiscInfo& Info() const { return *m_info; }
    DiscKind Kind() const { return m_disc->Kind(); }
    // The name the title list shows (a volume's, a folder's, a file's), or empty.
    std::string VolumeName() const { return m_disc->VolumeName(); }
    // The main title (0-based), or -1; the earlier title a title repeats, or -1 (Disc).
    int MainTitle() const { return m_disc->MainTitle(); }
    int SameAs(int title) const { return Known(title) ? m_disc->SameAs(title) : -1; }
    // The picture of a title (0-based); the defaults for an unknown title.
    TitleVideo VideoOf(int title) const;
    // False for a title whose navigation could not be read, or an unknown title.
    bool TitleReadable(int title) const;
    // Why a title cannot be read, in words that follow "title 3 cannot be read: " (Disc).
    std::string UnreadableReason(int title) const { return Known(title) ? m_disc->UnreadableReason(title) : "the disc has no such title"; }
    // The cells from a chapter (−1: the whole title) to the title's end, with a last mark for
    // the end (Disc::CellMarks).
    std::vector<Disc::CellMark> CellMarks(int title, int chapter) const { return m_disc->CellMarks(title, chapter); }
    // The 16 colours of a title's subpictures (0xRRGGBB), or none (Disc::SubpicturePalette).
    std::vector<std::uint32_t> SubpicturePalette(int title) const
    {
        return Known(title) ? m_disc->SubpicturePalette(title) : std::vector<std::uint32_t>{};
    }
    // Per subpicture stream of a title: whether it is forced only (Disc::ForcedSubpictures).
    std::vector<bool> ForcedSubpictures(int title) const
    {
        return Known(title) ? m_disc->ForcedSubpictures(title) : std::vector<bool>{};
    }
    // Where each chapter of a title starts, in ms from the title's start (its playing time, as the
    // cells give it); empty for an unknown title.
    std::vector<double> ChapterStarts(int title) const;
    // Where a title comes from ("clip 00001"), what on the disc cannot be read, and the stretches
    // of a title whose data is missing (Disc).
    std::string TitleSource(int title) const { return m_disc->TitleSource(title); }
    std::vector<std::string> Unreadable() const { return m_disc->Unreadable(); }
    std::vector<Disc::MissingStretch> Missing(int title) const { return m_disc->Missing(title); }
    std::vector<Disc::UnplayedStretch> Unplayed() const { return m_disc->Unplayed(); }
    // While on, reads give up at once instead of retrying (a stop or a cancel).
    void Interrupt(bool on) { m_disc->Interrupt(on); }

private:
    SourceDisc(DiscHandle handle, std::shared_ptr<Disc> disc);
    bool Known(int title) const { return title >= 0 && title < m_info->titleCount; }

    const DiscHandle m_handle;
    const std::shared_ptr<Disc> m_disc;
    const std::unique_ptr<DiscInfo> m_info;
};

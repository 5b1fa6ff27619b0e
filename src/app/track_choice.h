#pragma once
// CTrackChoice: the main window's sound-track and subtitle lists. They show the track choice of
// the title list's current item's title: the first sound track shown, each converted one ticked
// (a click on a line's check box ticks it and keeps the list open), and the burned-in subtitle,
// "Forced only" (the forced subtitles in the sound's language; the default) or "No subtitles". A choice goes to the title's tasks and, while the title plays, to the
// preview.

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

#include "workspace/title_tasks.h"

class CColumnTreeCtrl;
class CPreviewPane;
class QComboBox;
class QTreeWidgetItem;
class QLabel;
class QWidget;

class CTrackChoice : public QObject {
    Q_OBJECT
public:
    // `info` gives the loaded disc's record (null: none); `keepsSeveral` whether the profile's
    // files keep several sound tracks.
    CTrackChoice(QWidget* window, CColumnTreeCtrl* list, CPreviewPane* preview, std::function<const DiscInfo*()> info,
                 std::function<bool()> keepsSeveral);

    QComboBox* AudioTracks() const;
    // What the closed sound-track box shows: the first track, and how many more are ticked
    // ("English(AC3 2ch) + 1").
    QString AudioBoxText() const;
    QComboBox* Subtitles() const { return m_subtitle; }
    // What the lists show now.
    std::int32_t SelectedAudioStreamId() const { return m_audioId; }
    std::int32_t SelectedSubtitleId() const { return m_subtitleId; }
    bool SubtitlesOn() const { return m_subtitlesOn; }

    // The audio line of the title list: "%s(%s %dch)" of language, coding and channels.
    static QString AudioLine(const TitleInfo& title, int stream);
    static QString SubtitleLine(const TitleInfo& title, int stream);

    // The lists show the choice of this item's title (the root leaves them as they are).
    void ShowFor(QTreeWidgetItem* item);
    void Clear();
    // The boxes' line runs from `left` to `right`: each box at its natural width (its longest
    // line, never narrower than the window's picture draws it), the subtitle's after the sound's.
    void Fit(int left, int right);

public slots:
    // A click on the list's item: it becomes current, and its choice is shown.
    void OnListClicked(QTreeWidgetItem* item);
    // Choosing a track (its line) makes it the title's first sound track, the one the preview
    // plays and the file's default: a ticked one swaps places with the first, an unticked one
    // replaces it; the other ticked tracks stay.
    void OnAudioChosen(int row);
    // Its check box ticks or unticks a track to be converted beside the first; unticking the
    // first makes the next ticked one first (one track stays ticked).
    void OnAudioTicked(int row);
    void OnSubtitleChosen(int row);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Fill(const TitleInfo& title, const ForcedSubtitles& forced);
    void ShowAudioTicks(const ConversionTask& task);
    void StoreAudioChoice(std::int32_t first, std::vector<std::int32_t> more);
    ConversionTask* CurrentTask() const;

    CColumnTreeCtrl* m_list;
    std::function<const DiscInfo*()> m_info;
    std::function<bool()> m_keepsSeveral;
    QWidget* m_window;
    CPreviewPane* m_preview;
    class TrackBox;
    TrackBox* m_audio = nullptr;
    QComboBox* m_subtitle = nullptr;
    QLabel* m_subtitleLabel = nullptr;
    int m_left = 430, m_right = 785; // the boxes' line
    QTreeWidgetItem* m_lastClicked = nullptr;
    std::int32_t m_audioId = 0, m_subtitleId = 0;
    bool m_subtitlesOn = true;
};

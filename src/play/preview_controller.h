#pragma once
// PreviewController: what the main window's preview does with its player — which title plays,
// whether it is paused, where it is, what happens when it ends — apart from the buttons and the
// slider that show it. It plays a task's title (a chapter plays its whole title) with the task's
// sound track and burned-in subtitle, and follows the user's track choices while that title
// plays.
//
// Threads: the face's; the player's graph events are taken here (HandleEvents) after the notify
// callback the graph calls from its threads has posted a call there.

#include <memory>
#include <optional>
#include <string>

#include "convert/conversion_task.h"
#include "play/preview_player.h"

class PreviewController {
public:
    explicit PreviewController(std::unique_ptr<PreviewPlayer> player);

    PreviewPlayer& Player() { return *m_player; }
    // The preview's graph for a disc, drawing into `window`; false when it cannot be built.
    // `notify` is called from the graph's threads when events wait.
    bool Prepare(std::shared_ptr<SourceDisc> disc, void* window, GraphNotifyCallback notify);
    // Lets go of the disc (before it closes, or its tray opens).
    void Teardown();

    // Plays the task's title from its start with its tracks; false when the title cannot be
    // set up (the player has said why).
    bool Play(const ConversionTask& task, int deinterlace);
    // Goes on from where it was paused; false when nothing is paused.
    bool Resume();
    void Pause();
    void Stop();
    // The title that plays or is paused (its number on the disc), or −1.
    int PlayingTitle() const { return m_title; }
    bool Paused() const { return m_paused; }

    // Where it plays, as a share of the title's length (0..1), when it can tell.
    std::optional<double> Position();
    // The playing title's length in seconds (none while nothing plays).
    std::optional<double> Length();
    void Seek(double share);
    // The graph's events: true when the title played to its end (or playing gave up): it has
    // stopped.
    bool HandleEvents();

    // A track chosen for `title`: heard or seen at once when that title plays.
    void ChooseAudio(int title, std::int32_t audioStreamId);
    void ChooseSubtitle(int title, std::int32_t subtitleId);

    // Saves the picture on screen to `path`; false when nothing plays or it cannot be saved.
    bool Snapshot(const std::string& path);

private:
    std::unique_ptr<PreviewPlayer> m_player;
    int m_title = -1;
    bool m_paused = false;
};

#pragma once
// TitleTasks: the loaded source's titles as the user chooses them. One entry per listed title
// (in the disc's order), and under a title of several chapters one per chapter; each has the
// ConversionTask the editor edits, a tick and its output file name. The ticks of a title with
// chapters are its chapters': a title is ticked when all of them are, unticked when none is,
// partly ticked otherwise; the whole list (its root) is the same over its titles.
//
// The title list of the window shows it; a run takes its RunTasks. Threads: the face's.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "convert/conversion_run.h"
#include "convert/conversion_task.h"
#include "convert/source_disc.h"

// The values are the title list's check pictures (1 unticked, 2 partly, 3 ticked).
enum class Tick { kUnticked = 1, kPartly = 2, kTicked = 3 };

// An entry: the title's place in the list (not its number on the disc) and the chapter's place
// under it (−1: the title itself). The root, the whole list, is {-1, -1}.
struct TaskKey {
    int title = -1;
    int chapter = -1;
    bool IsRoot() const { return title < 0; }
    bool operator==(const TaskKey&) const = default;
};

// Which titles a load ticks: all, the main title alone (all when the disc names none), or those
// longer than some minutes.
struct TickOnLoad {
    enum class Rule { kAll, kMainTitleOnly, kLongerThan } rule = Rule::kAll;
    double minutes = 0;
};

// The subtitle choice "Forced only": a title's forced-only subpicture streams by language, and
// the sound tracks' languages, so that the forced stream follows the chosen sound track.
struct ForcedSubtitles {
    std::vector<std::pair<std::int32_t, std::int32_t>> audioLanguage;  // (sound track, language)
    std::vector<std::pair<std::int32_t, std::int32_t>> forcedLanguage; // (language, forced-only stream)
    // The forced-only stream in the language of `audioStreamId`, or 0.
    std::int32_t For(std::int32_t audioStreamId) const;
    bool IsForced(std::int32_t subtitleId) const;
};
// `forced`: per subpicture stream, whether it holds forced subtitles only.
ForcedSubtitles MakeForcedSubtitles(const TitleInfo& title, const std::vector<bool>& forced);
// SetSubtitle's id for "Forced only".
inline constexpr std::int32_t kForcedOnlySubtitle = -1;

class TitleTasks {
public:
    struct Entry {
        ConversionTask task;
        Tick tick = Tick::kTicked; // a title with chapters: theirs
        std::string outputName;    // "Title_01.mp4", made by the naming below
        std::vector<Entry> chapters;
        bool main = false;  // the disc's main title
        int sameAs = -1;    // it plays this title's cells again (its number on the disc), or −1
        bool shortTitle = false; // left unticked as no longer than "Titles longer than" asks
        std::string source; // where a title comes from when the disc says so ("clip 00001")
        ForcedSubtitles forced;
    };

    // Lists the source's titles of 3 seconds or more with their chapters, each with its first
    // listed sound track and, burned in, only the forced subtitles in that track's language ("Forced
    // only"; none when the title has none); a title that repeats another's cells is left unticked.
    void Fill(const SourceDisc& disc, const TickOnLoad& ticks);
    void Clear();

    int TitleCount() const { return static_cast<int>(m_titles.size()); }
    int ChapterCount(int title) const;
    const Entry* At(TaskKey key) const;
    ConversionTask* Task(TaskKey key);
    const ConversionTask* Task(TaskKey key) const;
    // The place of the disc's main title in the list, or −1.
    int MainTitle() const;

    Tick TickOf(TaskKey key) const;
    // Ticks an entry that is not ticked, unticks one that is (with its chapters), whole.
    void Toggle(TaskKey key);
    void TickAll(bool ticked);
    // Ticks the main title alone; false (nothing changes) when the disc names none.
    bool TickMainOnly();

    // How the output names are made: a pattern of "{disc}", "{title}" and "{chapter}" (empty:
    // Title_01, Chapter_01_02), the disc's name and the profile's extension (".mp4"). Every
    // name is made again.
    void SetNaming(const std::string& pattern, const std::string& disc, const std::string& extension);
    // A name of the user's own, kept until the naming changes.
    void SetOutputName(TaskKey key, const std::string& name);

    // An entry's sound tracks (the first, then the others) or its burned-in subtitle (0: none;
    // kForcedOnlySubtitle: the forced ones in the first track's language), for the entry and, a
    // title's, each of its chapters.
    void SetAudio(TaskKey key, std::int32_t first, std::vector<std::int32_t> more);
    void SetSubtitle(TaskKey key, std::int32_t id);
    // Gives every ticked or partly ticked task these picture settings (a run applies the last
    // edited ones).
    void ApplyPictureToTicked(const PictureSettings& picture);

    // What a run converts, in list order: each title that is ticked whole (or not at all) as
    // one task, and for a title ticked in part each of its chapters.
    std::vector<RunTask> RunTasks() const;

private:
    Entry* Find(TaskKey key);
    std::string NameOf(const ConversionTask& task) const;

    std::vector<Entry> m_titles;
    std::string m_pattern, m_disc, m_extension;
};

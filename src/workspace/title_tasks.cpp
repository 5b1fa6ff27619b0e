#include "workspace/title_tasks.h"

#include <algorithm>

namespace {

// Each chapter of a title as a task of its own: what plays from a chapter to the title's end,
// less what plays from the next one.
std::vector<ConversionTask> ChapterTasks(const SourceDisc& disc, const ConversionTask& titleTask)
{
    const TitleInfo& title = disc.Info().titles[titleTask.titleIndex];
    std::vector<ConversionTask> chapters;
    if (title.chapterCount < 2) return chapters; // the title is its one chapter
    std::vector<double> toTheEnd;
    for (int c = 0; c < title.chapterCount && c < kMaxChapters; ++c) {
        const auto marks = disc.CellMarks(titleTask.titleIndex, c);
        toTheEnd.push_back(marks.empty() ? 0.0 : marks.back().ms);
    }
    for (std::size_t c = 0; c < toTheEnd.size(); ++c) {
        ConversionTask chapter = titleTask;
        chapter.chapterIndex = static_cast<std::int32_t>(c);
        const double length = toTheEnd[c] - (c + 1 < toTheEnd.size() ? toTheEnd[c + 1] : 0.0);
        chapter.sourceLength = std::max<std::int64_t>(static_cast<std::int64_t>(length + 0.5), 0);
        chapter.clip.trimStart = 0;
        chapter.clip.trimLength = chapter.sourceLength;
        chapters.push_back(std::move(chapter));
    }
    return chapters;
}

Tick Together(const std::vector<TitleTasks::Entry>& entries, Tick (*tickOf)(const TitleTasks::Entry&))
{
    if (entries.empty()) return Tick::kTicked;
    const Tick first = tickOf(entries.front());
    for (const TitleTasks::Entry& e : entries)
        if (tickOf(e) != first) return Tick::kPartly;
    return first;
}

Tick TitleTick(const TitleTasks::Entry& title)
{
    return title.chapters.empty() ? title.tick : Together(title.chapters, [](const TitleTasks::Entry& c) { return c.tick; });
}

void SetTicks(TitleTasks::Entry& entry, Tick tick)
{
    entry.tick = tick;
    for (TitleTasks::Entry& chapter : entry.chapters) chapter.tick = tick;
}

// A task's burned-in subtitle from its choice: the forced stream of its first track's language.
void ResolveForced(ConversionTask& task, const ForcedSubtitles& forced)
{
    if (!task.forcedOnly) return;
    const std::int32_t id = forced.For(task.audioStreamId);
    task.burnSubtitles = id != 0;
    if (id != 0) task.subtitleId = id;
}

} // namespace

std::int32_t ForcedSubtitles::For(std::int32_t audioStreamId) const
{
    for (const auto& [track, language] : audioLanguage) {
        if (track != audioStreamId) continue;
        for (const auto& [streamLanguage, stream] : forcedLanguage)
            if (streamLanguage == language && language != 0) return stream;
    }
    return 0;
}

bool ForcedSubtitles::IsForced(std::int32_t subtitleId) const
{
    return std::any_of(forcedLanguage.begin(), forcedLanguage.end(), [&](const auto& f) { return f.second == subtitleId; });
}

ForcedSubtitles MakeForcedSubtitles(const TitleInfo& title, const std::vector<bool>& forced)
{
    ForcedSubtitles made;
    for (int a = 0; a < std::clamp(title.audioCount, 0, kMaxAudioStreams); ++a)
        made.audioLanguage.emplace_back(title.audioStreamId[a], title.audioLanguage[a]);
    for (int s = 0; s < std::clamp(title.subpictureCount, 0, kMaxSubpictureStreams); ++s)
        if (static_cast<std::size_t>(s) < forced.size() && forced[static_cast<std::size_t>(s)])
            made.forcedLanguage.emplace_back(title.subpictureLanguage[s], title.subpictureStreamId[s]);
    return made;
}

void TitleTasks::Fill(const SourceDisc& disc, const TickOnLoad& ticks)
{
    m_titles.clear();
    const DiscInfo& info = disc.Info();
    const int main = disc.MainTitle();
    const bool mainOnly = ticks.rule == TickOnLoad::Rule::kMainTitleOnly && main >= 0;
    for (int i = 0; i < info.titleCount; ++i) {
        const TitleInfo& title = info.titles[i];
        if (!IsListedTitle(title)) continue;
        Entry entry;
        entry.task = MakeTitleTask(i, title, disc.VideoOf(i));
        if (title.audioCount > 0) entry.task.audioStreamId = title.audioStreamId[0];
        if (title.subpictureCount > 0) entry.task.subtitleId = title.subpictureStreamId[0];
        // Nothing burned in but what the disc forces in the sound's language.
        entry.forced = MakeForcedSubtitles(title, disc.ForcedSubpictures(i));
        entry.task.forcedOnly = true;
        ResolveForced(entry.task, entry.forced);
        entry.main = i == main;
        entry.sameAs = disc.SameAs(i);
        entry.source = disc.TitleSource(i);
        const bool longEnough = ticks.rule != TickOnLoad::Rule::kLongerThan || title.durationMs > ticks.minutes * 60000.0;
        const bool tick = entry.sameAs < 0 && (mainOnly ? entry.main : longEnough);
        entry.shortTitle = !mainOnly && !longEnough;
        entry.tick = tick ? Tick::kTicked : Tick::kUnticked;
        for (ConversionTask& chapter : ChapterTasks(disc, entry.task)) {
            Entry& added = entry.chapters.emplace_back();
            added.task = std::move(chapter);
            added.tick = entry.tick;
        }
        m_titles.push_back(std::move(entry));
    }
    SetNaming(m_pattern, m_disc, m_extension);
}

void TitleTasks::Clear() { m_titles.clear(); }

int TitleTasks::ChapterCount(int title) const
{
    return title >= 0 && title < TitleCount() ? static_cast<int>(m_titles[static_cast<std::size_t>(title)].chapters.size()) : 0;
}

TitleTasks::Entry* TitleTasks::Find(TaskKey key)
{
    if (key.title < 0 || key.title >= TitleCount()) return nullptr;
    Entry& title = m_titles[static_cast<std::size_t>(key.title)];
    if (key.chapter < 0) return &title;
    return key.chapter < static_cast<int>(title.chapters.size()) ? &title.chapters[static_cast<std::size_t>(key.chapter)] : nullptr;
}

const TitleTasks::Entry* TitleTasks::At(TaskKey key) const { return const_cast<TitleTasks*>(this)->Find(key); }

ConversionTask* TitleTasks::Task(TaskKey key)
{
    Entry* entry = Find(key);
    return entry ? &entry->task : nullptr;
}

const ConversionTask* TitleTasks::Task(TaskKey key) const { return const_cast<TitleTasks*>(this)->Task(key); }

int TitleTasks::MainTitle() const
{
    for (int i = 0; i < TitleCount(); ++i)
        if (m_titles[static_cast<std::size_t>(i)].main) return i;
    return -1;
}

Tick TitleTasks::TickOf(TaskKey key) const
{
    if (key.IsRoot()) return Together(m_titles, TitleTick);
    const Entry* entry = At(key);
    if (!entry) return Tick::kUnticked;
    return key.chapter < 0 ? TitleTick(*entry) : entry->tick;
}

void TitleTasks::Toggle(TaskKey key)
{
    const Tick now = TickOf(key) == Tick::kUnticked ? Tick::kTicked : Tick::kUnticked;
    if (key.IsRoot()) {
        TickAll(now == Tick::kTicked);
        return;
    }
    if (Entry* entry = Find(key)) SetTicks(*entry, now);
}

void TitleTasks::TickAll(bool ticked)
{
    for (Entry& title : m_titles) SetTicks(title, ticked ? Tick::kTicked : Tick::kUnticked);
}

bool TitleTasks::TickMainOnly()
{
    const int main = MainTitle();
    if (main < 0) return false;
    TickAll(false);
    SetTicks(m_titles[static_cast<std::size_t>(main)], Tick::kTicked);
    return true;
}

std::string TitleTasks::NameOf(const ConversionTask& task) const { return TaskOutputName(task, "", m_pattern, m_disc) + m_extension; }

void TitleTasks::SetNaming(const std::string& pattern, const std::string& disc, const std::string& extension)
{
    m_pattern = pattern;
    m_disc = disc;
    m_extension = extension;
    for (Entry& title : m_titles) {
        title.outputName = NameOf(title.task);
        for (Entry& chapter : title.chapters) chapter.outputName = NameOf(chapter.task);
    }
}

void TitleTasks::SetOutputName(TaskKey key, const std::string& name)
{
    if (Entry* entry = Find(key)) entry->outputName = name;
}

void TitleTasks::SetAudio(TaskKey key, std::int32_t first, std::vector<std::int32_t> more)
{
    Entry* entry = Find(key);
    if (!entry) return;
    more.erase(std::remove(more.begin(), more.end(), first), more.end());
    const ForcedSubtitles& forced = Find({key.title, -1})->forced;
    auto set = [&](ConversionTask& task) {
        task.audioStreamId = first;
        task.moreAudio = more;
        ResolveForced(task, forced);
    };
    set(entry->task);
    for (Entry& chapter : entry->chapters) set(chapter.task);
}

void TitleTasks::SetSubtitle(TaskKey key, std::int32_t id)
{
    Entry* entry = Find(key);
    if (!entry) return;
    // No subtitle (0) keeps the title's choice for later, and burns nothing in.
    const ForcedSubtitles& forced = Find({key.title, -1})->forced;
    auto set = [&](ConversionTask& task) {
        task.forcedOnly = id == kForcedOnlySubtitle;
        if (task.forcedOnly) {
            ResolveForced(task, forced);
            return;
        }
        task.burnSubtitles = id != 0;
        if (id != 0) task.subtitleId = id;
    };
    set(entry->task);
    for (Entry& chapter : entry->chapters) set(chapter.task);
}

void TitleTasks::ApplyPictureToTicked(const PictureSettings& picture)
{
    for (Entry& title : m_titles) {
        if (TitleTick(title) != Tick::kUnticked) title.task.clip.picture = picture;
        for (Entry& chapter : title.chapters)
            if (chapter.tick != Tick::kUnticked) chapter.task.clip.picture = picture;
    }
}

std::vector<RunTask> TitleTasks::RunTasks() const
{
    std::vector<RunTask> tasks;
    auto add = [&](const Entry& entry, Tick tick) {
        RunTask t;
        t.task = entry.task;
        t.outputName = entry.outputName;
        t.checked = tick == Tick::kTicked;
        tasks.push_back(std::move(t));
    };
    for (const Entry& title : m_titles) {
        const Tick tick = TitleTick(title);
        if (tick == Tick::kPartly)
            for (const Entry& chapter : title.chapters) add(chapter, chapter.tick);
        else
            add(title, tick);
    }
    return tasks;
}

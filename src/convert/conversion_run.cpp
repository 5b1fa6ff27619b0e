#include "convert/conversion_run.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cctype>
#include <cstring>
#include <filesystem>

#include "convert/file_marks.h"
#include "convert/text_files.h"
#include "convert/video_conversion_filter.h"
#include "write/settings_check.h"
#include "pipeline/event_codes.h"
#include "com/debug_log.h"

namespace {

std::int64_t SteadyMilliseconds()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

ConversionRun::ConversionRun(std::shared_ptr<SourceDisc> disc, std::vector<RunTask> tasks, RunSettings settings,
                             MessageFn message, Clock clock)
    : m_disc(std::move(disc)), m_tasks(std::move(tasks)), m_settings(std::move(settings)), m_message(std::move(message)),
      m_clock(clock ? std::move(clock) : Clock(SteadyMilliseconds)), m_engine(m_message),
      m_part(m_settings.partNameSeed)
{
}

ConversionRun::~ConversionRun()
{
    // A run that ends unfinished (its window closed) ends as a cancel does.
    m_engine.Teardown();
    CloseFirstPass();
    CloseFile(FileEnd::kCancelled);
    m_passFolder.Remove();
}

bool ConversionRun::TwoPass() const
{
    const WriterSettings& w = m_settings.profile;
    return w.hasVideo && w.rateControl == kTwoPass && !OutputWriter::IsCopy(w.VideoCodecName);
}

bool ConversionRun::CloseFirstPass()
{
    if (!m_firstPassOpen) return true;
    m_firstPassOpen = false;
    const bool closed = m_engine.CloseOutput();
    // Only the statistics matter: the first pass's pictures go.
    m_passFolder.KeepStatsOnly();
    return closed;
}

void ConversionRun::Fail(const std::string& message)
{
    ++m_failed;
    if (m_message) m_message(message);
}

std::size_t ConversionRun::NextTask(std::size_t from) const
{
    for (std::size_t i = from; i < m_tasks.size(); ++i)
        if (TakesPart(m_tasks[i])) return i;
    return m_tasks.size();
}

bool ConversionRun::Start()
{
    if (m_started) return !m_finished;
    m_started = true;
    // What runs that were killed left in the temporary folder.
    for (const std::string& folder : RemoveDeadPassFolders()) DebugLog("run: removed %s, left by a run that was stopped\n", folder.c_str());
    if (const std::string refusal = MergeRefusal(m_tasks, m_settings); !refusal.empty()) {
        Fail(refusal);
        m_finished = true;
        return false;
    }
    if (const std::string refusal = CopyMergeRefusal(*m_disc, m_tasks, m_settings); !refusal.empty()) {
        Fail(refusal);
        m_finished = true;
        return false;
    }
    // Two files of one name would take each other's place (or, with --overwrite, replace one
    // another): the run does not begin.
    if (const std::string refusal = SameNameRefusal(m_tasks, m_settings.merge); !refusal.empty()) {
        Fail(refusal);
        m_finished = true;
        return false;
    }
    // Text subtitle streams in files that keep none: said before anything is converted.
    for (const RunTask& t : m_tasks) {
        if (const std::string refusal = TextStreamRefusal(ExtensionOf(t.outputName), m_settings); !refusal.empty() && TakesPart(t)) {
            Fail(refusal);
            m_finished = true;
            return false;
        }
    }
    // A setting the encoder refuses (a profile saved long ago, an H.263 size) fails now, not on
    // the first picture of every file.
    if (const std::string refusal = SettingsRefusal(m_settings.choices, m_settings.profile); !refusal.empty()) {
        Fail(refusal);
        m_finished = true;
        return false;
    }
    const bool moreChosen = std::any_of(m_tasks.begin(), m_tasks.end(), [](const RunTask& t) { return TakesPart(t) && !t.task.moreAudio.empty(); });
    if (moreChosen && !m_settings.severalSoundStreams && m_message)
        m_message("This format keeps one audio track: each title's first chosen track is converted");
    double total = 0;
    for (RunTask& t : m_tasks) {
        if (!t.checked) continue;
        t.task.clip.picture = PictureOfTask(t);
        if (TakesPart(t)) total += static_cast<double>(t.task.clip.trimLength);
    }
    m_totalSeconds = total / 1000 * (TwoPass() ? 2 : 1);
    m_clockCarried = 0;
    m_clockTick = Now();
    m_clockOn = true;
    m_current = NextTask(0);
    m_newFile = true;
    if (m_current >= m_tasks.size()) {
        m_finished = true;
        return false;
    }
    StartCurrent();
    return !m_finished;
}

PictureSettings ConversionRun::PictureOfTask(const RunTask& task) const
{
    // The run's picture settings, with a crop of a title's whole picture (no crop at all: that
    // of the title it was made on) made the task's own whole picture, so that a merged title of
    // another size keeps all of its own; a real crop stays, within the task's picture.
    PictureSettings p = m_settings.picture;
    const TitleVideo own = m_disc->VideoOf(task.task.titleIndex);
    const bool whole = p.cropLeft == 0 && p.cropTop == 0 && std::any_of(m_tasks.begin(), m_tasks.end(), [&](const RunTask& t) {
        const TitleVideo frame = m_disc->VideoOf(t.task.titleIndex);
        return p.cropRight == frame.width && p.cropBottom == frame.height;
    });
    if (whole) {
        p.cropRight = own.width;
        p.cropBottom = own.height;
    } else {
        p.cropRight = std::min(p.cropRight, own.width);
        p.cropBottom = std::min(p.cropBottom, own.height);
    }
    return p;
}

bool ConversionRun::CloseFile(FileEnd end)
{
    if (!m_fileOpen) return true;
    m_fileOpen = false;
    const bool closed = m_engine.CloseOutput();
    const IfNameTaken rule = m_settings.overwrite ? IfNameTaken::kReplace : m_ifNameTaken;
    const FilePlacement placement = PlaceFile(m_part, m_filePath, end, rule, closed, closed ? std::string() : m_engine.Writer().LastReason());
    if (placement.placed) {
        if (!placement.notice.empty() && m_message) m_message(placement.notice);
        m_files.push_back(placement.file);
        m_damage.Rename(m_filePath, placement.file);
        KeepText(placement.file);
        return true;
    }
    m_damage.Drop(m_filePath);
    if (end == FileEnd::kDiscard) {
        if (!placement.failure.empty() && m_message) m_message(placement.failure);
    } else {
        Fail(placement.failure);
    }
    return false;
}

void ConversionRun::KeepText(const std::string& file)
{
    const std::vector<TextResult>& results = m_engine.Writer().TextResults();
    if (results.empty()) return;
    FileText& kept = m_textReports.emplace_back();
    kept.file = file;
    kept.results = results;
    // What the reader said of itself (English data for another language) is said once a run.
    for (const std::string& note : TextReaderNotes(results))
        if (std::find(m_textNotes.begin(), m_textNotes.end(), note) == m_textNotes.end()) m_textNotes.push_back(note);
    const TextFiles files = WriteTextFiles(file, results);
    for (const std::string& written : files.written) m_textFiles.push_back(written);
    m_textFilesFailed += static_cast<int>(files.failures.size());
    if (m_message)
        for (const std::string& failure : files.failures) m_message(failure);
}

bool ConversionRun::OpenFile(const RunTask& t, std::string* why)
{
    if (TwoPass()) {
        const std::string stats = m_passFolder.StatsPath();
        if (stats.empty()) {
            *why = "no temporary folder for the first pass's statistics";
            return false;
        }
        m_engine.Writer().SetPass({m_pass, stats});
        if (m_pass == 1) {
            // The first pass writes into the run's temporary folder, and nothing of it stays.
            AspectRatio shown;
            const WriterSettings profile = FileProfile(t, &shown);
            m_fileChapters.clear();
            const std::string name = "first-pass" + std::filesystem::path(t.outputName).extension().string();
            if (!m_engine.OpenOutput((std::filesystem::path(m_passFolder.Path()) / name).string(), profile, shown, -1, FileMarks{})) {
                *why = m_engine.Writer().LastReason();
                return false;
            }
            m_firstPassOpen = true;
            return true;
        }
    } else {
        m_engine.Writer().SetPass({});
    }
    // The file's frame and shape: the first title's, framed by the zoom mode.
    AspectRatio shown;
    const WriterSettings profile = FileProfile(t, &shown);
    // A folder in the file's place is found now, not after the conversion.
    std::error_code error;
    if (std::filesystem::is_directory(m_filePath, error)) {
        *why = std::strerror(EISDIR);
        return false;
    }
    if (!m_part.Create(m_filePath, why)) return false;
    if (!m_engine.OpenOutput(m_filePath, profile, shown, m_part.Descriptor(), MarksOfFile(t))) {
        *why = m_engine.Writer().LastReason();
        m_part.Discard();
        return false;
    }
    return true;
}

std::int32_t DeinterlaceFor(const TitleScanResult& scan)
{
    switch (scan.fields) {
    case PictureFields::kTelecined: return scan.softTelecine ? kDeinterlaceFilmFrames : kDeinterlaceInverseTelecine;
    case PictureFields::kInterlaced: return kDeinterlaceOn;
    case PictureFields::kProgressive: return kDeinterlaceOff;
    case PictureFields::kUnknown: break;
    }
    return kDeinterlaceAuto;
}

bool KeepsFrameSize(const WriterSettings& profile)
{
    const std::string codec = profile.VideoCodecName;
    const int w = profile.Width, h = profile.Height;
    // DVD, VCD and SVCD pictures keep the disc's sizes; DV and H.263 have a few sizes only.
    const bool discSize = IsDvdFrameSize(w, h) || (w == 352 && (h == 240 || h == 288)) || (w == 480 && (h == 480 || h == 576));
    return codec == "h263" || codec == "dvvideo" || ((codec == "mpeg1video" || codec == "mpeg2video") && discSize);
}

namespace {

constexpr std::int32_t kFilmRate = 23976; // 23.976 pictures a second, as profiles write it

// Whether a profile's rate lets the scan decide how pictures are deinterlaced.
bool FilmRateAllowed(const WriterSettings& profile) { return profile.FrameRate == 0 || profile.FrameRate == kFilmRate; }

} // namespace

const TitleScanResult* ConversionRun::ScanOf(const RunTask& t)
{
    const WriterSettings& profile = m_settings.profile;
    if (!profile.hasVideo || OutputWriter::IsCopy(profile.VideoCodecName)) return nullptr;
    const bool deinterlace = m_settings.deinterlace == kDeinterlaceAuto && FilmRateAllowed(profile);
    if (!deinterlace && !m_settings.autoCrop) return nullptr;
    auto found = m_scans.find(t.task.titleIndex);
    if (found == m_scans.end()) found = m_scans.emplace(t.task.titleIndex, ScanTitle(m_disc, t.task.titleIndex)).first;
    return found->second.pictures > 0 ? &found->second : nullptr;
}

bool ConversionRun::Silent(const RunTask& t) const
{
    const DiscInfo& info = m_disc->Info();
    return t.task.titleIndex >= 0 && t.task.titleIndex < info.titleCount && info.titles[t.task.titleIndex].audioCount <= 0;
}

WriterSettings ConversionRun::FileProfile(const RunTask& t, AspectRatio* shown)
{
    WriterSettings profile = m_settings.profile;
    // A file of pictures whose titles have no sound has no sound stream; one of sound only (or
    // with a title that has sound) keeps silence in their place.
    if (profile.hasAudio && Silent(t)) {
        bool silent = true;
        for (std::size_t i = NextTask(m_current + 1); m_settings.merge && i < m_tasks.size(); i = NextTask(i + 1)) silent = silent && Silent(m_tasks[i]);
        if (silent && profile.hasVideo) profile.hasAudio = 0;
    }
    const TitleVideo video = m_disc->VideoOf(t.task.titleIndex);
    const AspectRatio source = TitleAspect(video);
    *shown = OutputDisplayAspect(profile.Width, profile.Height, t.task.clip.picture.zoomMode, source);
    if (!profile.hasVideo) return profile;
    const TitleScanResult* scan = ScanOf(t);
    // "Same as source": the file takes its first title's own rate, and telecined film its own.
    if (profile.FrameRate == 0) {
        const bool film = scan && m_settings.deinterlace == kDeinterlaceAuto && scan->fields == PictureFields::kTelecined;
        profile.FrameRate = film ? kFilmRate : m_disc->VideoOf(t.task.titleIndex).frameRate;
        if (profile.FrameRate == 0) profile.FrameRate = 29970;
    }
    const PictureSettings& p = t.task.clip.picture;
    // What is kept of the picture (the whole of it when the crop says nothing usable).
    int cropWidth = std::clamp(p.cropRight, 0, video.width) - std::clamp(p.cropLeft, 0, video.width);
    int cropHeight = std::clamp(p.cropBottom, 0, video.height) - std::clamp(p.cropTop, 0, video.height);
    if (cropWidth < 2 || cropHeight < 2) {
        cropWidth = video.width;
        cropHeight = video.height;
    }
    if (profile.Width >= 0 && profile.Height == 0) {
        // Size "Same as source" (the stored pixels, shown at the disc's shape) or a width alone
        // (square pixels, the height following the picture's shape).
        const FollowingFrame following = FrameFollowingCrop(profile.Width, video.width, video.height, source, cropWidth, cropHeight);
        profile.Width = following.frame.width;
        profile.Height = following.frame.height;
        *shown = following.shown;
    } else if (m_settings.autoCrop && scan && !KeepsFrameSize(profile)) {
        const FrameSize frame = FrameForCrop(profile.Width, profile.Height, video.width, video.height, source, cropWidth, cropHeight);
        profile.Width = frame.width;
        profile.Height = frame.height;
        *shown = OutputDisplayAspect(profile.Width, profile.Height, p.zoomMode, source);
    }
    return profile;
}

std::vector<std::int32_t> ConversionRun::SubtitlesOf(const RunTask& t) const
{
    const DiscInfo& info = m_disc->Info();
    if (t.task.titleIndex < 0 || t.task.titleIndex >= info.titleCount) return {};
    return SubtitleTracksOf(t, info.titles[t.task.titleIndex], m_settings, ExtensionOf(t.outputName), m_disc->Kind());
}

void ConversionRun::SayOnce(const std::string& text)
{
    if (std::find(m_said.begin(), m_said.end(), text) != m_said.end()) return;
    m_said.push_back(text);
    if (m_message) m_message(text);
}

std::vector<std::int32_t> ConversionRun::TracksOf(const RunTask& t) const
{
    const DiscInfo& info = m_disc->Info();
    if (t.task.titleIndex < 0 || t.task.titleIndex >= info.titleCount) return {};
    return SoundTracksOf(t, info.titles[t.task.titleIndex], m_settings);
}

FileMarks ConversionRun::MarksOfFile(const RunTask& first)
{
    FileMarks marks;
    m_fileChapters.clear();
    // A merged file's later tasks begin, until they run, where the earlier ones would end.
    REFERENCE_TIME offset = 0;
    for (std::size_t i = m_current; i < m_tasks.size(); i = NextTask(i + 1)) {
        const RunTask& t = m_tasks[i];
        const std::string prefix = m_settings.merge ? MergedChapterPrefix(t.task) : std::string();
        for (OutputChapter& chapter : TaskChapters(*m_disc, t.task, prefix)) {
            m_fileChapters.push_back({i, chapter.start});
            chapter.start += offset;
            marks.chapters.push_back(std::move(chapter));
        }
        offset += t.task.clip.trimLength * 10000;
        if (!m_settings.merge) break;
    }
    const DiscInfo& info = m_disc->Info();
    const TitleInfo& title = info.titles[first.task.titleIndex];
    const std::string extension = ExtensionOf(first.outputName);
    const WriterSettings& profile = m_settings.profile;
    const bool keepSound = OutputWriter::IsCopy(profile.AudioCodecName);
    for (std::int32_t track : TracksOf(first)) {
        if (!keepSound) {
            marks.audio.push_back(ConvertedTrackLabel(title, track, profile));
            continue;
        }
        if (TrackKeeping(title, track, extension) == SoundKeeping::kConverted)
            SayOnce("Audio track " + StreamIdText(static_cast<std::uint16_t>(track)) + " cannot be kept as it is in " + extension +
                    " files; it is converted to " + EncoderCodingName(m_settings.soundFallback));
        marks.audio.push_back(KeptTrackLabel(title, track, extension, profile, m_settings.soundFallback));
    }
    // Subtitle tracks asked for that the format cannot keep are said, never dropped without a word.
    const std::vector<std::int32_t> wanted = SubtitleTracksOf(first, title, m_settings, extension, m_disc->Kind(), false);
    const bool graphicsDropped = std::any_of(wanted.begin(), wanted.end(), [&](std::int32_t id) {
        return IsGraphicsSubtitle(id, m_disc->Kind()) && !HoldsSubtitles(extension, true);
    });
    const bool pictures = m_settings.subtitleText == RunSettings::SubtitleText::kNone;
    if (pictures && !wanted.empty() && !HoldsSubtitles(extension, false) && !HoldsSubtitles(extension, true))
        SayOnce("This format keeps no subtitle tracks: choose MKV or MP4 to keep them");
    else if (pictures && graphicsDropped)
        SayOnce("This format keeps no Blu-ray graphics subtitles as tracks: choose MKV to keep them");
    std::vector<bool> forced = m_disc->ForcedSubpictures(first.task.titleIndex);
    // A stream burned into the pictures is not flagged forced as a track as well: players show a
    // forced track on their own, and the subtitles would be on the screen twice.
    if (m_settings.subtitles && first.task.burnSubtitles) {
        const std::int32_t burned = first.task.subtitleId ? first.task.subtitleId : m_settings.selectedSubtitleId;
        const int count = std::min<int>(title.subpictureCount, static_cast<int>(forced.size()));
        for (int i = 0; i < count; ++i)
            if (title.subpictureStreamId[i] == burned) forced[static_cast<std::size_t>(i)] = false;
    }
    for (std::int32_t track : SubtitlesOf(first)) {
        StreamLabel label = SubtitleLabel(title, track, forced);
        // Read into text: a text stream where the file keeps one, else the pictures where it
        // keeps them, else (SubRip files only) no stream at all.
        label.textStream = m_settings.TextStreams() && HoldsTextSubtitles(extension);
        label.copy = !label.textStream && HoldsSubtitles(extension, IsGraphicsSubtitle(track, m_disc->Kind()));
        label.sidecar = m_settings.TextFiles();
        if (label.textStream) label.title = label.forced ? label.title.substr(0, label.title.size() - 1) + ", text)" : label.title + " (text)";
        marks.subtitles.push_back(std::move(label));
    }
    return marks;
}

void ConversionRun::PlaceTaskChapters(REFERENCE_TIME at)
{
    for (std::size_t i = 0; i < m_fileChapters.size(); ++i)
        if (m_fileChapters[i].task == m_current)
            m_engine.Writer().MoveChapter(i, at < 0 ? -1 : at + m_fileChapters[i].start);
}

ConversionEngine::BuildOptions ConversionRun::BuildOptionsFor(const RunTask& t, const TitleScanResult* scan)
{
    ConversionEngine::BuildOptions options;
    options.subpictures = m_settings.subtitles && t.task.burnSubtitles;
    options.deinterlace = m_settings.deinterlace;
    if (scan && m_settings.deinterlace == kDeinterlaceAuto && FilmRateAllowed(m_settings.profile)) {
        options.deinterlace = DeinterlaceFor(*scan);
        // Film pictures in a file at another rate than the film's (a merged file that began
        // with a PAL title) would judder: there they are deinterlaced instead.
        const bool filmFile = m_engine.Profile().FrameRate == kFilmRate;
        if (!filmFile && (options.deinterlace == kDeinterlaceInverseTelecine || options.deinterlace == kDeinterlaceFilmFrames))
            options.deinterlace = kDeinterlaceAuto;
        DebugLog("run: %s: %s pictures (%s): deinterlace mode %d\n", t.outputName.c_str(), FieldsName(scan->fields),
                 scan->reason.c_str(), options.deinterlace);
    }
    options.subtitleId =
        static_cast<std::uint16_t>(t.task.subtitleId ? t.task.subtitleId : m_settings.selectedSubtitleId);
    options.audioStreamId =
        static_cast<std::uint16_t>(t.task.audioStreamId ? t.task.audioStreamId : m_settings.selectedAudioStreamId);
    const std::vector<std::int32_t> tracks = TracksOf(t);
    for (std::size_t i = 1; i < tracks.size(); ++i) options.moreAudio.push_back(static_cast<std::uint16_t>(tracks[i]));
    for (std::int32_t id : SubtitlesOf(t)) options.subtitleTracks.push_back(static_cast<std::uint16_t>(id));
    options.preview = m_settings.preview;
    options.notify = m_settings.notify;
    return options;
}

void ConversionRun::StartCurrent()
{
    while (m_current < m_tasks.size()) {
        RunTask& t = m_tasks[m_current];
        // The scan's findings: the title's own black bars, cropped in the shape they leave.
        const TitleScanResult* scan = ScanOf(t);
        if (m_settings.autoCrop && scan) {
            PictureSettings& p = t.task.clip.picture;
            p.zoomMode = 0;
            p.cropLeft = scan->bars.left;
            p.cropTop = scan->bars.top;
            p.cropRight = scan->width - scan->bars.right;
            p.cropBottom = scan->height - scan->bars.bottom;
        }
        if (m_newFile) {
            // Two passes: a file begins with its first (unless this is its second beginning).
            if (TwoPass() && m_pass != 2) {
                m_pass = 1;
                m_fileFirstTask = m_current;
            }
            m_filePath = (std::filesystem::path(m_settings.outputFolder) / t.outputName).string();
            m_ifNameTaken = t.ifNameTaken;
            // A file that cannot be created is reported, and its task fails (instead of running
            // without output).
            std::string why;
            if (!OpenFile(t, &why)) {
                m_pass = 0; // the next file begins with its own first pass
                Fail("Could not create output file " + m_filePath + (why.empty() ? "" : ": " + why));
                m_doneSeconds += static_cast<double>(t.task.clip.trimLength) / 1000;
                m_current = NextTask(m_current + 1);
                continue;
            }
            m_fileOpen = m_pass != 1;
            m_newFile = false;
            m_fileOffset = 0;
        }
        m_engine.Teardown();
        const ConversionEngine::BuildOptions options = BuildOptionsFor(t, scan);
        if (Silent(t) && m_engine.Profile().hasAudio)
            SayOnce("Title " + std::to_string(t.task.titleIndex + 1) + " has no sound: " +
                    std::filesystem::path(m_filePath).filename().string() + " holds silence in its place");
        if (!m_engine.Build(m_disc, t.task.titleIndex, t.task.chapterIndex, t.task.clip, options)) {
            m_engine.Teardown();
            if (m_engine.NothingReadable()) {
                ++m_unusable;
                Fail(ConversionEngine::NothingReadableText(t.task.titleIndex));
            } else {
                Fail("Could not convert " + t.outputName);
            }
            m_doneSeconds += static_cast<double>(t.task.clip.trimLength) / 1000;
            PlaceTaskChapters(-1);
            if (!m_settings.merge) {
                // Nothing was written for this task: no half-made file is left.
                CloseFile(FileEnd::kDiscard);
                m_newFile = true;
            }
            m_current = NextTask(m_current + 1);
            continue;
        }
        PlaceTaskChapters(m_fileOffset);
        m_engine.Run();
        m_engine.ShowPreview(true);
        m_running = true;
        return;
    }
    Finish();
}

void ConversionRun::CompleteCurrent(bool failed, HRESULT why)
{
    m_running = false;
    m_engine.Stop();
    const RunTask& t = m_tasks[m_current];
    // The file could not be written (a full disk): it is given up at once, and with it a merged
    // file's remaining tasks.
    const bool unwritable = m_engine.Writer().Failed();
    if (unwritable)
        Fail("Could not write output file " + m_filePath + ": " + m_engine.Writer().LastReason());
    else if (failed)
        Fail(why == ZZ_E_SCRAMBLED ? ConversionEngine::EncryptedText(t.task.titleIndex, m_disc->Kind()) : "Could not convert " + t.outputName);
    if (m_pass == 1) {
        // The first pass of two: on to the file's next task, or to the second pass from its first.
        m_doneSeconds += static_cast<double>(t.task.clip.trimLength) / 1000;
        const std::size_t next = NextTask(m_current + 1);
        if (!m_settings.merge || next >= m_tasks.size() || unwritable) {
            const bool closed = CloseFirstPass();
            if (unwritable || !closed || (failed && !m_settings.merge)) {
                // The file cannot be made: its second pass is not tried.
                if (!failed && !unwritable) Fail("Could not convert " + t.outputName + ": " + m_engine.Writer().LastReason());
                m_pass = 0;
                m_newFile = true;
                m_doneSeconds += static_cast<double>(t.task.clip.trimLength) / 1000;
                m_current = next;
                if (m_current < m_tasks.size())
                    StartCurrent();
                else
                    Finish();
                return;
            }
            m_pass = 2;
            m_newFile = true;
            m_current = m_fileFirstTask;
        } else {
            m_current = next;
        }
        StartCurrent();
        return;
    }
    if (!failed && !unwritable && m_engine.Sink()) NoteDamage(*m_engine.Sink());
    if (failed) PlaceTaskChapters(-1);
    if (!m_settings.merge || unwritable) {
        m_newFile = true;
        CloseFile(failed || unwritable ? FileEnd::kDiscard : FileEnd::kComplete);
        m_pass = 0; // the next file begins with its first pass
    }
    m_doneSeconds += static_cast<double>(t.task.clip.trimLength) / 1000;
    m_current = unwritable && m_settings.merge ? m_tasks.size() : NextTask(m_current + 1);
    if (m_current < m_tasks.size())
        StartCurrent();
    else
        Finish();
}

void ConversionRun::NoteDamage(CConvFilter& sink)
{
    std::vector<LostStretch> lost = m_engine.Lost();
    // Where this task's pictures (or sound) end in the file.
    const REFERENCE_TIME length = m_settings.profile.hasVideo ? sink.NextVideoSlot() : sink.AudioPosition();
    // A chosen track the title's data lacks is lost for the whole task, and said so.
    for (std::uint16_t id : m_engine.SoundNotFound()) {
        if (m_message)
            m_message(std::filesystem::path(m_filePath).filename().string() + ": audio track " + StreamIdText(id) +
                      " is not in the title's data; its stream holds no sound");
        lost.push_back({0, length});
    }
    // A subtitle stream may well hold nothing in a title: said, not counted as lost.
    for (std::uint16_t id : m_engine.SubtitlesNotFound())
        if (m_message)
            m_message(std::filesystem::path(m_filePath).filename().string() + ": subtitle " + StreamIdText(id) +
                      " is not in the title's data; its stream holds no subtitles");
    m_damage.Note(m_filePath, lost, m_fileOffset);
    // A copy begins at the key picture before the range's start: its chapters move with it, but
    // for the one it begins in.
    if (const REFERENCE_TIME shift = m_engine.StartShift(); shift > 0) {
        for (std::size_t i = 0; i < m_fileChapters.size(); ++i)
            if (m_fileChapters[i].task == m_current && m_fileChapters[i].start > 0)
                m_engine.Writer().MoveChapter(i, m_fileOffset + m_fileChapters[i].start + shift);
    }
    // The next merged task follows where this one's pictures (or sound) ended.
    m_fileOffset += length;
}

void ConversionRun::StopClock()
{
    if (!m_clockOn) return;
    m_clockCarried += Now() - m_clockTick;
    m_clockOn = false;
}

void ConversionRun::NoteUnreached()
{
    const int main = m_disc->MainTitle();
    const bool mainConverted = main >= 0 && std::any_of(m_tasks.begin(), m_tasks.end(), [&](const RunTask& t) {
        return TakesPart(t) && t.task.titleIndex == main;
    });
    if (!mainConverted) return;
    for (const Disc::UnplayedStretch& u : m_disc->Unplayed()) m_unreached.push_back(UnreachedText(u.what, u.fromMs, u.toMs));
}

void ConversionRun::Finish()
{
    StopClock();
    if (!m_cancelled) NoteUnreached();
    m_engine.Teardown();
    CloseFirstPass();
    CloseFile(m_cancelled ? FileEnd::kCancelled : FileEnd::kComplete);
    m_passFolder.Remove();
    m_running = false;
    m_finished = true;
    if (onFinished && !m_cancelled) onFinished();
}

bool ConversionRun::Step(int ms)
{
    if (m_finished) return false;
    LONG code = 0;
    LONG_PTR param1 = 0, param2 = 0;
    bool waited = false;
    while (!m_finished && m_engine.NextEvent(code, param1, param2, waited ? 0 : ms)) {
        waited = true;
        switch (code) {
        case EC_COMPLETE:
            DebugLog("EC_COMPLETE\r\n");
            CompleteCurrent(false);
            break;
        case EC_ERRORABORT:
            // A stream that failed ends no more: the task counts as failed and the run goes on.
            DebugLog("EC_ERRORABORT\r\n");
            CompleteCurrent(true, static_cast<HRESULT>(param1));
            break;
        case EC_USERABORT: DebugLog("EC_USERABORT\r\n"); break;
        case EC_PAUSED: DebugLog("EC_PAUSED\r\n"); break;
        default: DebugLog("other event:0x%x\n", static_cast<unsigned>(code)); break;
        }
    }
    return !m_finished;
}

void ConversionRun::Pause()
{
    if (!m_running) return;
    m_running = false;
    StopClock();
    m_engine.Pause();
}

void ConversionRun::Continue()
{
    if (m_running || m_finished) return;
    m_clockTick = Now();
    m_clockOn = true;
    m_running = true;
    m_engine.Run();
}

void ConversionRun::Cancel()
{
    if (m_finished) return;
    m_cancelled = true;
    m_engine.Progress(m_stoppedPosition, m_stoppedDuration);
    m_engine.Stop();
    Finish();
}

RunProgress ConversionRun::Progress()
{
    RunProgress p;
    p.tasks = 0;
    std::size_t last = m_tasks.size();
    for (std::size_t i = NextTask(0); i < m_tasks.size(); i = NextTask(i + 1)) {
        if (i == m_current) p.task = p.tasks;
        ++p.tasks;
        last = i;
    }
    if (m_settings.merge && NextTask(0) < m_tasks.size()) {
        p.file = m_tasks[NextTask(0)].outputName; // the merged file takes the first task's name
    } else if (m_current < m_tasks.size()) {
        p.file = m_tasks[m_current].outputName;
    } else if (last < m_tasks.size()) {
        // Past the end: the run's last task.
        p.task = p.tasks - 1;
        p.file = m_tasks[last].outputName;
    }
    p.running = m_running;
    if (m_fileOpen) p.textCues = m_engine.Writer().TextCuesRead();
    if (!m_finished) {
        m_engine.Progress(p.position, p.duration);
    } else if (m_cancelled) {
        p.position = m_stoppedPosition;
        p.duration = m_stoppedDuration;
    }
    const double position = static_cast<double>(p.position) / 1e7;
    const double duration = std::max(static_cast<double>(p.duration) / 1e7, 1e-7);
    p.fraction = std::clamp(position / duration, 0.0, 1.0);
    p.elapsedMs = m_clockCarried + (m_clockOn ? Now() - m_clockTick : 0);
    if (m_totalSeconds > 0) p.overall = std::clamp((m_doneSeconds + (m_finished && !m_cancelled ? 0 : position)) / m_totalSeconds, 0.0, 1.0);
    if (p.elapsedMs > 100 && p.overall > 0)
        p.remainingMs = static_cast<std::int64_t>((1 - p.overall) * static_cast<double>(p.elapsedMs) / p.overall + 0.5);
    if (m_finished) {
        p.overall = m_cancelled ? p.overall : 1.0;
        p.fraction = m_cancelled ? p.fraction : 1.0;
    }
    return p;
}

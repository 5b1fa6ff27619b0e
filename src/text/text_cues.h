#pragma once
// Cues of a subtitle track read into text, and the files made of them: SubRip (".srt") and the
// list of cues a person should check. Pure functions, no threads.

#include <cstdint>
#include <string>
#include <vector>

// One cue on the file's time line (100 ns): its text (UTF-8, lines joined with "\n", empty when
// nothing could be read), and the reader's confidence, 0 to 100.
struct TextCue {
    std::int64_t start = 0;
    std::int64_t end = 0;
    std::string text;
    int confidence = 0;
};

// Below this confidence a cue is listed to be checked.
inline constexpr int kCheckBelow = 75;
// A cue to check: read with little confidence, or not read at all.
inline bool ToCheck(const TextCue& cue) { return cue.text.empty() || cue.confidence < kCheckBelow; }

// "01:02:03,450", as SubRip writes times.
std::string CueTime(std::int64_t time);
// A SubRip file: the cues with text, numbered from 1, in order; a cue without text is left out
// (it is on the list to check).
std::string FormatSrt(const std::vector<TextCue>& cues);
// The cues to check, one line each: "00:01:02,000 --> 00:01:04,500  (confidence 41)  text";
// empty when none.
std::string FormatCheckList(const std::vector<TextCue>& cues);

// A language's ISO 639-2 codes: the bibliographic one ("ger", "fre"), which Matroska and media
// servers' sidecar names use, and the terminology one ("deu", "fra"), which names the reader's
// data. Either form, or a code without two forms, is taken; lower case is given back.
std::string BibliographicCode(const std::string& language);
std::string TerminologyCode(const std::string& language);

// The name of the reader's data for a language as ISO 639-2 names it (either form): the
// terminology code, Chinese as simplified Chinese ("chi_sim"); English for none or "und".
std::string ReaderDataCode(const std::string& language);

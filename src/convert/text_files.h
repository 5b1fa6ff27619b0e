#pragma once
// The SubRip files of a file's subtitles read into text, beside it and named as media servers
// read them: "NAME.eng.srt", "NAME.eng.forced.srt", "NAME.ger.srt" (ISO 639-2/B, as Matroska
// names languages), a second track of one language "NAME.eng.2.srt". Beside a file whose cues
// need a look: "NAME.eng.srt.check.txt", with their times.

#include <string>
#include <vector>

#include "write/output_writer.h"

struct TextFiles {
    std::vector<std::string> written; // the files, in the order of the tracks
    std::vector<std::string> failures; // what could not be written, and why
};

// The names of the SubRip files for `video`'s tracks (those with `sidecar` set), in order.
std::vector<std::string> TextFileNames(const std::string& video, const std::vector<TextResult>& results);
// Writes them (each whole or not at all: written beside and renamed into place).
TextFiles WriteTextFiles(const std::string& video, const std::vector<TextResult>& results);
// What a file's reading came to, per track: "English: 412 cues read, 3 to check"; empty
// without tracks read.
std::string TextReport(const std::vector<TextResult>& results);
// The cues of a file to check, one line each, with the track and times:
// "English 00:01:02,000 --> 00:01:04,500 (confidence 41): text".
std::vector<std::string> CuesToCheck(const std::vector<TextResult>& results);
// What the run says of the reader itself: a language read with English data (naming the
// package to install), a reader that could not start. One line each, empty when all was well.
std::vector<std::string> TextReaderNotes(const std::vector<TextResult>& results);

// Whether subtitles in a language (ISO 639-2, either form; empty: undetermined) are read with
// that language's own data, and else the Debian package that would bring them (they are read
// with English data meanwhile).
struct TextReadability {
    bool ownData = false;
    std::string package;
};
TextReadability ReadabilityOf(const std::string& language);

#pragma once
// Inputs other than DVD-Video, read as discs: an unencrypted Blu-ray folder (BDMV) and a single
// MPEG program or transport stream file.
//
// A Blu-ray folder's titles are its playlists of at least 3 seconds that play no clip twice, the
// longest first (the main title). A title's clips are read one after the other through
// CMultiFiles; its length is the playlist's, its streams those the scanner finds in its first clip
// with the languages of the clip information, and its chapters the playlist's entry marks.
//
// A media file (.vob, .mpg, .mpeg, .ts, .m2ts, .mts) is one title of one chapter; its length runs
// from its first time stamp to its last, and its streams are those the scanner finds.

#include <memory>
#include <string>

#include "dvd/disc.h"

// Adds both kinds to the disc-access library's openers. Call once at start.
void RegisterMediaDiscs();

// What could not be opened, worded for its kind: "Open DVD error: WHY", "Open Blu-ray folder
// error: WHY", "Open MPEG file error: WHY", or "Open disc error: WHY" when `path` is none of them
// (it does not exist, or holds neither a VIDEO_TS nor a BDMV folder).
std::string OpenErrorText(const std::string& path, const std::string& why, const char* separator = ": ");

// Opens a Blu-ray folder or a media file: null with `why` empty when `path` is neither, null with
// the reason in `why` when it is but cannot be read ("the clips in PATH are encrypted ...").
std::unique_ptr<Disc> OpenMediaDisc(const std::string& path, std::string* why);

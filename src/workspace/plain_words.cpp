// SPDX-License-Identifier: GPL-2.0-or-later
#include "workspace/plain_words.h"

#include <array>

namespace {

struct Words {
    std::string_view start;    // how the failure's first line begins
    std::string_view contains; // and what it holds besides (empty: anything)
    std::string_view sentence;
};

// First match wins: the narrower entries come before the wider ones.
constexpr std::array kWords{
    Words{"connect splitter and", "(subtitle)",
          "The title's subtitles could not be read. Convert it without burned-in subtitles, or choose another subtitle."},
    Words{"connect splitter and", "(audio)",
          "The title's sound could not be read or decoded. Choose another sound track, or convert the title without sound."},
    Words{"render splitter error(audio)", "",
          "The title's sound could not be read or decoded. Choose another sound track, or convert the title without sound."},
    Words{"connect splitter and", "(video)",
          "The title's picture could not be read: the disc may be damaged there. Try another title, or a copy of the disc on your "
          "hard disk."},
    Words{"get splitter", "", "The title could not be opened for reading: the disc may be damaged or not a video disc. Try another title."},
    Words{"get source", "", "The disc could not be read. Clean it and try again, or load a copy of it from your hard disk."},
    Words{"SetDvdReader error", "", "The disc could not be read. Clean it and try again, or load a copy of it from your hard disk."},
    Words{"get audio", "", "The sound could not be converted to the chosen format. Choose another profile or sound setting."},
    Words{"connect audio", "", "The sound could not be converted to the chosen format. Choose another profile or sound setting."},
    Words{"get video", "", "The picture could not be converted to the chosen format. Choose another profile or picture size."},
    Words{"connect video", "", "The picture could not be converted to the chosen format. Choose another profile or picture size."},
    Words{"connect decoder", "", "The picture could not be converted to the chosen format. Choose another profile or picture size."},
    Words{"get decoder", "", "The picture could not be decoded: the disc may be damaged there. Try another title."},
    Words{"get mConver", "", "The file could not be prepared for writing. Choose another profile, or check the output folder."},
    Words{"get tee", "", "The preview of the conversion could not be prepared. Turn off Show Preview and try again."},
    Words{"connect tee", "", "The preview of the conversion could not be prepared. Turn off Show Preview and try again."},
    Words{"Create Tee error", "", "The preview of the conversion could not be prepared. Turn off Show Preview and try again."},
    Words{"Add Video Render Filter error", "", "The preview could not be shown. The conversion works without it."},
    Words{"get format error", "", "The chosen profile could not be read. Choose the profile again, or another one."},
    Words{"CoCreateInstance error", "",
          "A part of the program could not be started. Reinstall ZuZidero; if it happens again, report it with the debug log."},
    Words{"Load DVD error", "", "The disc could not be read. Clean it and try again, or load a copy of it from your hard disk."},
    Words{"Open DVD error", "",
          "Check that the disc is in the drive, or that the folder is a DVD's VIDEO_TS folder (or the folder above it) you may read."},
    Words{"Open Blu-ray folder error", "", "Check that the folder is a Blu-ray's BDMV folder (or the folder above it) you may read."},
    Words{"Open MPEG file error", "", "Check that the file is an MPEG program or transport stream you may read."},
    Words{"Open disc error", "",
          "Check the path: load a disc from a drive, a DVD or Blu-ray folder, an ISO image, or an MPEG or TS video file."},
    Words{"Could not create output file", "",
          "Choose another output folder: this one may be full, read-only, or not yours, or the file's name may be too long."},
    Words{"GetItemData error", "", "Select a title or chapter in the list first."},
};

} // namespace

std::string PlainWordsFor(std::string_view failure)
{
    const std::string_view first = failure.substr(0, failure.find('\n'));
    for (const Words& words : kWords)
        if (first.substr(0, words.start.size()) == words.start && first.find(words.contains) != std::string_view::npos)
            return std::string(words.sentence);
    return {};
}

#pragma once
// The format selector's content: the 19 categories and the 115 formats in the order shown, each
// with the command identifier it sends and the profile that command selects. Plain data, shared
// by the program and by the skin generator that draws the pictures it names.

#include <span>
#include <string_view>

struct FormatCategory {
    int id;                      // 1..17, 19 and 20 (18 is the program's own group of saved profiles)
    std::string_view name;
    std::string_view titlePicture; // in the skin folder
};

struct FormatEntry {
    int category;
    int command; // 32801..32935
    int profile; // profile identifier in the catalogue
    std::string_view displayName;
    std::string_view picture; // in the skin folder
    std::string_view description;
};

std::span<const FormatCategory> FormatCategories();
std::span<const FormatEntry> FormatEntries();
// The profile a format command selects; 0 for a command not in the table.
int ProfileForCommand(int command);
// The format with this command, or none.
const FormatEntry* FindFormat(int command);
// The format that selects this profile, or none.
const FormatEntry* FormatOfProfile(int profile);

// Whether files of a profile keep several sound streams: general and HD video formats in MP4, MOV,
// M4V, MKV, AVI and MPEG program streams do; audio formats and the devices' (phones, players,
// consoles, whose players expect one track) take the first.
bool TakesSeveralSoundStreams(int profile, bool hasVideo, std::string_view extension);

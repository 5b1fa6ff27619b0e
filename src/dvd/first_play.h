#pragma once
// Where a DVD's player would go first: libdvdnav follows the disc's first-play program chain,
// skipping still pictures and waits and pressing each menu's highlighted (default) button, until
// playback reaches one of the titles asked about. It reads the disc the way a player does, so it
// is asked only to break a tie between titles of the main title's length.

#include <string>
#include <vector>

// The first of `candidates` (titles counted from 0, as the disc lists them) that playback reaches
// from the first-play chain within a bounded number of blocks, or -1 when none is reached (the
// disc cannot be opened by libdvdnav, a menu waits for a choice, playback stops).
int FirstPlayedTitle(const std::string& root, const std::vector<int>& candidates);

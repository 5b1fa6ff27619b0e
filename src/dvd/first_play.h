#pragma once
// Where a DVD's player would go first: libdvdnav follows the disc's first-play program chain,
// skipping still pictures and waits and pressing each menu's highlighted (default) button, until
// playback reaches one of the titles asked about. It reads the disc the way a player does, so it
// is asked only to break a tie between titles of the main title's length.
//
// libdvdnav runs the disc's own commands, and asserts, frees twice or reads through null pointers
// on hostile ones (a jump to a title that is not there, a system call from the wrong domain, a
// menu table that ends early). So the walk runs in a helper process, zuzidero-first-play, with a
// time and a memory limit: whatever it does there, the program gets an answer or a refusal.

#include <string>
#include <vector>

// The first of `candidates` (titles counted from 0, as the disc lists them) that playback reaches
// from the first-play chain, asked of the helper; -1 when none is reached or the helper gives no
// usable answer (it crashed, hung, reported a sanitizer finding or wrote nonsense), with the
// reason in `why` and the debug log. Any thread; blocks for at most the helper's time limit.
int FirstPlayedTitle(const std::string& root, const std::vector<int>& candidates, std::string* why = nullptr);

// The same answer, walked in this process: what the helper runs. Never call it elsewhere.
int WalkFirstPlay(const std::string& root, const std::vector<int>& candidates);

// The helper's program name, and the line it answers with ("first-play 1").
constexpr const char* kFirstPlayHelper = "zuzidero-first-play";
constexpr const char* kFirstPlayAnswer = "first-play ";

// Tests: the helper to run instead of the one found next to the program (empty: that one again),
// and its time limit.
void SetFirstPlayHelperForTests(const std::string& program, int timeLimitMs = 0);

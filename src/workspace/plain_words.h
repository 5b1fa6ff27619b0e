#pragma once
// Plain words for the engine's failures. The engine names the step that failed in fixed texts
// ("connect splitter and decoder error(video)", "Load DVD error"); they tell a user neither what
// happened nor what to do. This one table gives each such text a sentence of what it means for
// the user and what to try. The window shows the sentence, with the fixed text as the heading and
// the technical cause folded under "Details"; the command line prints it after the fixed text.

#include <string>
#include <string_view>

// The sentence for a failure (matched on its first line), or empty for a text that says it
// already (it is no engine step's name).
std::string PlainWordsFor(std::string_view failure);

#pragma once
// The text reader's common mistakes on subtitle letters, corrected where the language leaves
// no doubt: a bar for a capital I or a small l, a zero inside a word of letters, two
// apostrophes for a quotation mark, a lone small l for the English "I". Text that could be meant
// as read stays as it is.

#include <functional>
#include <string>

// `language` as ISO 639-2/T ("eng", "deu"); `text` UTF-8.
std::string CorrectReading(const std::string& text, const std::string& language);

// Music notes framing a line (lyrics: "♪ Happy birthday to you ♪"), which the reader takes for
// letters ("S Happy birthday to you sf", "J ... J"): a pair of such short signs at both ends of a
// line becomes the notes again. One sign alone, or at one end only, stays as read.
std::string MarkMusic(const std::string& line);

// Whether a word is in the language's dictionary.
using KnownWord = std::function<bool(const std::string&)>;
// Word by word, with the language's dictionary: in English, the pronoun "I" read as another
// bar-like sign alone ("! saw", "i still"), at a word's start ("lt", "Ilt") or glued to the next
// word ("inever", "!was"), and two words read as one ("thatis"). Only a word the dictionary does
// not know is changed, and only into words it knows.
std::string CorrectWords(const std::string& text, const std::string& language, const KnownWord& known);

#pragma once
// The text reader's common mistakes on subtitle letters, corrected where the language leaves
// no doubt: a bar for a capital I or a small l, a zero inside a word of letters, two
// apostrophes for a quotation mark, a lone small l for the English "I". Text that could be meant
// as read stays as it is.

#include <string>

// `language` as ISO 639-2/T ("eng", "deu"); `text` UTF-8.
std::string CorrectReading(const std::string& text, const std::string& language);

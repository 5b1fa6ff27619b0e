#include "text/text_corrections.h"

#include <cctype>

namespace {

// ASCII letters, and the lead and continuation bytes of other UTF-8 letters (accents, umlauts).
bool Letter(unsigned char c) { return std::isalpha(c) != 0 || c >= 0x80; }
bool Lower(unsigned char c) { return std::islower(c) != 0 || c >= 0x80; }
bool WordEdge(const std::string& s, std::size_t at) { return at >= s.size() || !Letter(static_cast<unsigned char>(s[at])); }

} // namespace

std::string CorrectReading(const std::string& text, const std::string& language)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool before = i > 0 && Letter(static_cast<unsigned char>(text[i - 1]));
        const bool after = i + 1 < text.size() && Letter(static_cast<unsigned char>(text[i + 1]));
        if (c == '|') {
            // Inside a word a small l ("he|lo"); at its start a capital I ("|t's", "| waited").
            out += before ? 'l' : 'I';
            continue;
        }
        if (c == '0' && before && after) {
            // A zero between letters is the letter O, in the case of the letter after it.
            out += Lower(static_cast<unsigned char>(text[i + 1])) ? 'o' : 'O';
            continue;
        }
        if (c == '\'' && i + 1 < text.size() && text[i + 1] == '\'') {
            out += '"';
            ++i;
            continue;
        }
        if (c == 'l' && language == "eng" && !before && WordEdge(text, i + 1)) {
            // English has no word "l"; its pronoun "I" is read so.
            out += 'I';
            continue;
        }
        out += c;
    }
    return out;
}

#include "text/text_corrections.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <vector>

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

namespace {

// A word's letters without the punctuation around it ("\"Run!\"" → "Run").
void SplitPunctuation(const std::string& token, std::string& lead, std::string& core, std::string& tail)
{
    std::size_t begin = 0, end = token.size();
    while (begin < end && std::string_view("\"'(\xC2\xBF\xC2\xA1").find(token[begin]) != std::string_view::npos && token[begin] != '!') ++begin;
    while (end > begin && std::string_view(".,!?;:\"')").find(token[end - 1]) != std::string_view::npos) --end;
    lead = token.substr(0, begin);
    core = token.substr(begin, end - begin);
    tail = token.substr(end);
}

bool BarLike(char c) { return c == 'i' || c == 'l' || c == '|' || c == '!' || c == '1'; }
bool AllLower(const std::string& word)
{
    return !word.empty() && std::all_of(word.begin(), word.end(), [](char c) { return std::islower(static_cast<unsigned char>(c)) != 0; });
}

// The English corrections of one word (`next`: the word after it, or empty).
std::string CorrectEnglishWord(const std::string& token, const std::string& next, const KnownWord& known)
{
    // A bar alone before a word in small letters is the pronoun ("! saw" is no punctuation).
    const bool beforeWord = !next.empty() && std::islower(static_cast<unsigned char>(next[0])) != 0;
    if ((token == "i" || token == "l" || token == "|" || token == "!") && beforeWord) return "I";
    std::string lead, core, tail;
    SplitPunctuation(token, lead, core, tail);
    if (core.size() < 2 || known(core)) return token;
    if (BarLike(core[0])) {
        // "inever" → "I never" (a glued word of three small letters or more); "lt" → "It".
        const std::string rest = core.substr(1);
        if (rest.size() >= 3 && AllLower(rest) && known(rest)) return lead + "I " + rest + tail;
        if (known("I" + rest)) return lead + "I" + rest + tail;
    }
    // Two words read as one: "thatis" → "that is", each part a word of two letters or more, the
    // first as long as it can be (the dictionary knows many short pieces).
    if (core.size() >= 5 && AllLower(core)) {
        for (std::size_t at = core.size() - 2; at >= 2; --at)
            if (known(core.substr(0, at)) && known(core.substr(at))) return lead + core.substr(0, at) + " " + core.substr(at) + tail;
    }
    return token;
}

} // namespace

std::string MarkMusic(const std::string& line)
{
    const std::size_t firstSpace = line.find(' '), lastSpace = line.rfind(' ');
    if (firstSpace == std::string::npos || firstSpace == lastSpace) return line;
    const std::string first = line.substr(0, firstSpace), last = line.substr(lastSpace + 1);
    // What the reader makes of a note: one or two of these signs.
    const auto note = [](const std::string& token) {
        if (token == "\u266A" || token == "\u266B") return true;
        if (token.empty() || token.size() > 2) return false;
        return std::all_of(token.begin(), token.end(), [](char c) { return std::string_view("JjSsfd#&$}/").find(c) != std::string_view::npos; });
    };
    if (!note(first) || !note(last)) return line;
    return "\u266A" + line.substr(firstSpace, lastSpace - firstSpace + 1) + "\u266A";
}

std::string CorrectWords(const std::string& text, const std::string& language, const KnownWord& known)
{
    if (language != "eng" || !known) return text;
    std::vector<std::string> words;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t space = std::min(text.find(' ', at), text.size());
        if (space > at) words.push_back(text.substr(at, space - at));
        at = space + 1;
    }
    std::string out;
    for (std::size_t i = 0; i < words.size(); ++i)
        out += (i ? " " : "") + CorrectEnglishWord(words[i], i + 1 < words.size() ? words[i + 1] : std::string(), known);
    return out;
}

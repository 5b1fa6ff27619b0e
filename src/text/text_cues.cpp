#include "text/text_cues.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <utility>

namespace {

// The twenty languages whose ISO 639-2 codes differ: bibliographic, terminology.
constexpr std::array<std::pair<const char*, const char*>, 20> kTwoCodes{{
    {"alb", "sqi"}, {"arm", "hye"}, {"baq", "eus"}, {"bur", "mya"}, {"chi", "zho"}, {"cze", "ces"}, {"dut", "nld"},
    {"fre", "fra"}, {"geo", "kat"}, {"ger", "deu"}, {"gre", "ell"}, {"ice", "isl"}, {"mac", "mkd"}, {"mao", "mri"},
    {"may", "msa"}, {"per", "fas"}, {"rum", "ron"}, {"slo", "slk"}, {"tib", "bod"}, {"wel", "cym"},
}};

std::string Lower(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

std::string CueTime(std::int64_t time)
{
    const std::int64_t ms = (time < 0 ? 0 : time + 5000) / 10000;
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld,%03lld", static_cast<long long>(ms / 3600000),
                  static_cast<long long>(ms / 60000 % 60), static_cast<long long>(ms / 1000 % 60),
                  static_cast<long long>(ms % 1000));
    return text;
}

std::string FormatSrt(const std::vector<TextCue>& cues)
{
    std::string srt;
    int number = 0;
    for (const TextCue& cue : cues) {
        if (cue.text.empty()) continue;
        srt += std::to_string(++number) + "\n" + CueTime(cue.start) + " --> " + CueTime(cue.end) + "\n" + cue.text + "\n\n";
    }
    return srt;
}

std::string FormatCheckList(const std::vector<TextCue>& cues)
{
    std::string list;
    for (const TextCue& cue : cues) {
        if (!ToCheck(cue)) continue;
        std::string text = cue.text.empty() ? "(nothing read)" : cue.text;
        for (char& c : text)
            if (c == '\n') c = '|';
        list += CueTime(cue.start) + " --> " + CueTime(cue.end) + "  (confidence " + std::to_string(cue.confidence) + ")  " +
                text + "\n";
    }
    return list;
}

std::string BibliographicCode(const std::string& language)
{
    const std::string code = Lower(language);
    for (const auto& [bibliographic, terminology] : kTwoCodes)
        if (code == terminology) return bibliographic;
    return code;
}

std::string TerminologyCode(const std::string& language)
{
    const std::string code = Lower(language);
    for (const auto& [bibliographic, terminology] : kTwoCodes)
        if (code == bibliographic) return terminology;
    return code;
}

std::string ReaderDataCode(const std::string& language)
{
    const std::string code = TerminologyCode(language);
    if (code.empty() || code == "und") return "eng";
    if (code == "zho") return "chi_sim";
    return code;
}

#include "dvd/iso639.h"

#include <array>
#include <cctype>

namespace {

const Iso639Language kLanguages[] = {
#include "dvd/iso639_table.inc"
};

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    }
    return true;
}

} // namespace

std::span<const Iso639Language> Iso639Table() { return kLanguages; }

const Iso639Language* FindLanguageByAlpha2(std::string_view code)
{
    if (code.size() != 2) return nullptr;
    for (const auto& language : kLanguages) {
        if (EqualsIgnoringCase(language.alpha2, code)) return &language;
    }
    return nullptr;
}

const Iso639Language* FindLanguageByAlpha3(std::string_view code)
{
    if (code.size() < 3) return nullptr;
    code = code.substr(0, 3);
    for (const auto& language : kLanguages) {
        if (EqualsIgnoringCase(language.alpha3, code)) return &language;
    }
    return nullptr;
}

std::string_view ShortLanguageName(const Iso639Language* language)
{
    if (!language) return {};
    std::string_view name = language->name;
    return name.substr(0, name.find(';'));
}

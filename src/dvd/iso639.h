#pragma once
// The shared ISO 639 language table: every language of the standard, with its name, three-letter
// code, two-letter code (empty where it has none) and locale identifier (0 where none is known).

#include <cstdint>
#include <span>
#include <string_view>

struct Iso639Language {
    const char* name;         // "English", "Spanish; Castilian"
    const char* alpha3;       // "eng"
    const char* alpha2;       // "en", or ""
    std::uint32_t localeId;   // 0x0409, or 0
};

// All rows; terminology and bibliographic three-letter codes both have a row.
std::span<const Iso639Language> Iso639Table();
// Looks a language up by its two-letter code (case ignored); null when unknown.
const Iso639Language* FindLanguageByAlpha2(std::string_view code);
// Looks a language up by the first three letters of a code (case ignored); null when unknown.
const Iso639Language* FindLanguageByAlpha3(std::string_view code);
// The name as the program shows it: up to its first ';' ("Spanish"), empty for null.
std::string_view ShortLanguageName(const Iso639Language* language);

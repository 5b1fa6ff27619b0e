#include "convert/time_text.h"

#include <vector>

std::optional<std::int64_t> ParseTimeText(std::string_view text)
{
    // The fields between colons; the fraction only after the last.
    std::vector<std::string_view> fields;
    for (std::size_t at = 0;;) {
        const std::size_t colon = text.find(':', at);
        fields.push_back(text.substr(at, colon == std::string_view::npos ? std::string_view::npos : colon - at));
        if (colon == std::string_view::npos) break;
        at = colon + 1;
    }
    if (fields.size() > 3) return std::nullopt;
    std::string_view fraction;
    std::string_view& last = fields.back();
    if (const std::size_t dot = last.find('.'); dot != std::string_view::npos) {
        fraction = last.substr(dot + 1);
        last = last.substr(0, dot);
        if (fraction.empty() || fraction.size() > 3) return std::nullopt;
    }
    auto digits = [](std::string_view field, std::size_t most) -> std::optional<std::int64_t> {
        if (field.empty() || field.size() > most) return std::nullopt;
        std::int64_t value = 0;
        for (char c : field) {
            if (c < '0' || c > '9') return std::nullopt;
            value = value * 10 + (c - '0');
        }
        return value;
    };
    std::int64_t seconds = 0;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        // Nine digits at most: whatever the field, the sum cannot overflow before the limit check.
        const auto value = digits(fields[i], 9);
        if (!value) return std::nullopt;
        if (i > 0 && *value > 59) return std::nullopt; // minutes or seconds below a larger field
        seconds = seconds * 60 + *value;
        if (seconds * 1000 > kLongestTimeMs) return std::nullopt;
    }
    std::int64_t ms = seconds * 1000;
    if (!fraction.empty()) {
        const auto value = digits(fraction, 3);
        if (!value) return std::nullopt;
        ms += *value * (fraction.size() == 1 ? 100 : fraction.size() == 2 ? 10 : 1);
    }
    if (ms > kLongestTimeMs) return std::nullopt;
    return ms;
}

#pragma once
// Times as users type them: "HH:MM:SS[.mmm]", "MM:SS[.mmm]" or seconds "SS[.mmm]".

#include <cstdint>
#include <optional>
#include <string_view>

// The longest time a user may give: no disc holds a title of 100 hours.
inline constexpr std::int64_t kLongestTimeMs = 100LL * 3600 * 1000;

// The time in milliseconds; nothing when malformed or too long. Minutes and seconds below a
// larger field are 0..59 (seconds alone may be more); a fraction of up to three digits may follow
// the seconds only ("1.2.3", "25:61:61" and "1:xx" are refused).
std::optional<std::int64_t> ParseTimeText(std::string_view text);

#include "profiles/profile_record.h"

#include <algorithm>
#include <cstring>

std::string FitText(std::string_view text, std::size_t capacity)
{
    if (capacity == 0) return {};
    std::size_t characters = 0;
    std::size_t bytes = 0;
    while (bytes < text.size()) {
        // The length of the UTF-8 sequence starting here.
        const auto lead = static_cast<unsigned char>(text[bytes]);
        std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        if (bytes + length > text.size()) length = text.size() - bytes;
        if (characters + 1 >= capacity) break;
        bytes += length;
        ++characters;
    }
    return std::string(text.substr(0, bytes));
}

void StoreCodecName(char (&field)[ProfileRecord::kCodecName], std::string_view name)
{
    const std::string fitted = FitText(name, ProfileRecord::kCodecName);
    std::memset(field, 0, sizeof field);
    std::memcpy(field, fitted.data(), std::min(fitted.size(), sizeof field - 1));
}

namespace {

// Calls `visit(value, label)` for each item until it returns true.
template <class Visit>
void ForEachItem(std::string_view list, Visit visit)
{
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        const std::string_view item = list.substr(0, comma);
        const std::size_t dollar = item.find('$');
        const std::string_view value = item.substr(0, dollar);
        const std::string_view label = dollar == std::string_view::npos ? item : item.substr(dollar + 1);
        if (visit(value, label)) return;
        if (comma == std::string_view::npos) return;
        list.remove_prefix(comma + 1);
    }
}

} // namespace

std::string LookupLabel(std::string_view list, std::string_view value)
{
    std::string found;
    ForEachItem(list, [&](std::string_view v, std::string_view label) {
        if (v != value) return false;
        found = label;
        return true;
    });
    return found;
}

std::string LookupValue(std::string_view list, std::string_view label)
{
    std::string found;
    ForEachItem(list, [&](std::string_view value, std::string_view l) {
        if (l != label) return false;
        found = value;
        return true;
    });
    return found;
}

std::vector<std::string> OptionLabels(std::string_view list)
{
    std::vector<std::string> labels;
    ForEachItem(list, [&](std::string_view, std::string_view label) {
        labels.emplace_back(label);
        return false;
    });
    return labels;
}

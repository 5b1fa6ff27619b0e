#include "convert/damage_report.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

REFERENCE_TIME FileDamage::Total() const
{
    REFERENCE_TIME total = 0;
    for (const LostStretch& s : lost) total += s.stop - s.start;
    return total;
}

std::string DamageText(const FileDamage& damage)
{
    auto clock = [](REFERENCE_TIME t) {
        const long long seconds = std::max<long long>(0, t / 10000000);
        char text[32];
        std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
        return std::string(text);
    };
    char total[32];
    if (damage.Total() < 500000)
        std::snprintf(total, sizeof total, "under 0.1");
    else
        std::snprintf(total, sizeof total, "%.1f", static_cast<double>(damage.Total()) / 1e7);
    std::string text = std::filesystem::path(damage.file).filename().string() + ": " + total + " s could not be read, at ";
    for (std::size_t i = 0; i < damage.lost.size(); ++i) {
        if (i > 0) text += ", ";
        // Whole seconds that hold the stretch: its start rounded down, its end up (a second at
        // least).
        const REFERENCE_TIME start = damage.lost[i].start / 10000000 * 10000000;
        const REFERENCE_TIME stop = std::max(damage.lost[i].stop + 9999999, start + 10000000);
        text += clock(start) + "\u2013" + clock(stop);
    }
    return text;
}

void DamageReport::Note(const std::string& file, const std::vector<LostStretch>& lost, REFERENCE_TIME offset)
{
    if (lost.empty()) return;
    if (m_files.empty() || m_files.back().file != file) m_files.push_back(FileDamage{file, {}});
    for (LostStretch s : lost) {
        s.start += offset;
        s.stop += offset;
        m_files.back().lost.push_back(s);
    }
}

void DamageReport::Drop(const std::string& file)
{
    if (!m_files.empty() && m_files.back().file == file) m_files.pop_back();
}

void DamageReport::Rename(const std::string& file, const std::string& placed)
{
    if (!m_files.empty() && m_files.back().file == file) m_files.back().file = placed;
}

std::string UnreachedText(const std::string& what, double fromMs, double toMs)
{
    const FileDamage stretch{what, {{static_cast<REFERENCE_TIME>(fromMs * 10000), static_cast<REFERENCE_TIME>(toMs * 10000)}}};
    std::string text = DamageText(stretch);
    // "clip 00001.m2ts: 1.0 s could not be read, at …": said as what it is.
    const std::string read = " could not be read, at ";
    if (const auto at = text.find(read); at != std::string::npos) text.replace(at, read.size(), " is in no file, at ");
    return text + ": no title plays it, and a playlist that may play it cannot be read";
}

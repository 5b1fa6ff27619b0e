#include "text/subtitle_picture.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr std::uint32_t kOpaque = 0x80; // alpha at or above this counts as drawn

bool Opaque(const IndexedPicture& p, std::uint8_t index)
{
    return index < p.colours.size() && (p.colours[index] >> 24) >= kOpaque;
}

bool WellFormed(const IndexedPicture& p)
{
    return p.width > 0 && p.height > 0 && p.pixels.size() >= static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height);
}

// Ink rows between gaps: [first, last] of each line.
std::vector<std::pair<int, int>> LineRows(const std::vector<std::uint8_t>& ink, int width, int height)
{
    std::vector<std::pair<int, int>> lines;
    int start = -1;
    for (int y = 0; y <= height; ++y) {
        bool any = false;
        if (y < height) {
            const std::uint8_t* row = ink.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
            any = std::any_of(row, row + width, [](std::uint8_t v) { return v != 0; });
        }
        if (any && start < 0) start = y;
        if (!any && start >= 0) {
            lines.emplace_back(start, y - 1);
            start = -1;
        }
    }
    // Dots over letters and accents standing apart (a gap of a row or two) belong to the line below.
    std::vector<std::pair<int, int>> merged;
    for (const auto& line : lines) {
        const int height_ = line.second - line.first + 1;
        if (!merged.empty()) {
            auto& last = merged.back();
            const int lastHeight = last.second - last.first + 1;
            const int gap = line.first - last.second - 1;
            if ((lastHeight * 3 < height_ || height_ * 3 < lastHeight) && gap <= std::max(2, std::min(lastHeight, height_) / 2)) {
                last.second = line.second;
                continue;
            }
        }
        merged.push_back(line);
    }
    return merged;
}

} // namespace

TextColours FindTextColours(const IndexedPicture& picture)
{
    TextColours roles;
    if (!WellFormed(picture)) return roles;
    const int w = picture.width, h = picture.height;
    std::array<std::size_t, 256> count{}, border{};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint8_t index = picture.pixels[static_cast<std::size_t>(y) * w + x];
            if (!Opaque(picture, index)) continue;
            ++count[index];
            const auto ground = [&](int nx, int ny) {
                return nx < 0 || ny < 0 || nx >= w || ny >= h || !Opaque(picture, picture.pixels[static_cast<std::size_t>(ny) * w + nx]);
            };
            if (ground(x - 1, y) || ground(x + 1, y) || ground(x, y - 1) || ground(x, y + 1)) ++border[index];
        }
    std::vector<int> drawn;
    for (int i = 0; i < 256; ++i)
        if (count[static_cast<std::size_t>(i)] > 0) drawn.push_back(i);
    if (drawn.empty()) return roles;
    if (drawn.size() >= 2) {
        // The outline: the largest share of its pixels on the ground's edge.
        roles.outline = *std::max_element(drawn.begin(), drawn.end(), [&](int a, int b) {
            return border[static_cast<std::size_t>(a)] * count[static_cast<std::size_t>(b)] <
                   border[static_cast<std::size_t>(b)] * count[static_cast<std::size_t>(a)];
        });
        drawn.erase(std::find(drawn.begin(), drawn.end(), roles.outline));
    }
    roles.fill = *std::max_element(drawn.begin(), drawn.end(),
                                   [&](int a, int b) { return count[static_cast<std::size_t>(a)] < count[static_cast<std::size_t>(b)]; });
    return roles;
}

std::vector<GreyLine> PrepareLines(const IndexedPicture& picture, int letterHeight)
{
    std::vector<GreyLine> lines;
    const TextColours roles = FindTextColours(picture);
    if (roles.fill < 0) return lines;
    const int w = picture.width, h = picture.height;
    // Ink where the fill is: the letters without their outline.
    std::vector<std::uint8_t> ink(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    for (std::size_t i = 0; i < ink.size(); ++i) ink[i] = picture.pixels[i] == roles.fill ? 1 : 0;
    for (const auto& [top, bottom] : LineRows(ink, w, h)) {
        int left = w, right = -1;
        for (int y = top; y <= bottom; ++y)
            for (int x = 0; x < w; ++x)
                if (ink[static_cast<std::size_t>(y) * w + x]) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
        if (right < left) continue;
        const int inkWidth = right - left + 1, inkHeight = bottom - top + 1;
        // A line's ink runs from the tallest letter's top to the lowest descender: some 1.4 letters.
        const double scale = std::clamp(letterHeight * 1.4 / inkHeight, 0.25, 8.0);
        const int pad = std::max(8, letterHeight / 3);
        GreyLine line;
        line.width = static_cast<int>(std::lround(inkWidth * scale)) + 2 * pad;
        line.height = static_cast<int>(std::lround(inkHeight * scale)) + 2 * pad;
        line.grey.assign(static_cast<std::size_t>(line.width) * static_cast<std::size_t>(line.height), 255);
        // Each page pixel takes the share of ink under it (area sampling: smooth edges both ways).
        for (int y = pad; y < line.height - pad; ++y) {
            const double sy0 = (y - pad) / scale, sy1 = (y - pad + 1) / scale;
            for (int x = pad; x < line.width - pad; ++x) {
                const double sx0 = (x - pad) / scale, sx1 = (x - pad + 1) / scale;
                double covered = 0, area = 0;
                for (int sy = static_cast<int>(sy0); sy < std::min<double>(std::ceil(sy1), inkHeight); ++sy)
                    for (int sx = static_cast<int>(sx0); sx < std::min<double>(std::ceil(sx1), inkWidth); ++sx) {
                        const double share = (std::min<double>(sx + 1, sx1) - std::max<double>(sx, sx0)) *
                                             (std::min<double>(sy + 1, sy1) - std::max<double>(sy, sy0));
                        area += share;
                        covered += share * ink[static_cast<std::size_t>(top + sy) * w + left + sx];
                    }
                if (area > 0) line.grey[static_cast<std::size_t>(y) * line.width + x] = static_cast<std::uint8_t>(std::lround(255 * (1 - covered / area)));
            }
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

std::uint64_t PictureHash(const IndexedPicture& picture)
{
    // FNV-1a over the size, the pixels and the colours.
    std::uint64_t hash = 1469598103934665603ULL;
    const auto mix = [&hash](std::uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            hash ^= (value >> (8 * i)) & 0xFF;
            hash *= 1099511628211ULL;
        }
    };
    mix(static_cast<std::uint64_t>(picture.width), 4);
    mix(static_cast<std::uint64_t>(picture.height), 4);
    for (std::uint8_t p : picture.pixels) mix(p, 1);
    for (std::uint32_t c : picture.colours) mix(c, 4);
    return hash;
}

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

namespace {

// A line's ink cut out of the picture: inkWidth × inkHeight, 1 where the fill is.
struct LineInk {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> ink;
};

// How well a shear lines up the letters' strokes: the sum of the squared ink counts of the columns
// once each row has moved left by `slant` pixels per row above the line's foot. Upright strokes
// make tall, narrow peaks; slanted ones smear them.
double StrokeScore(const LineInk& line, double slant)
{
    const int reach = static_cast<int>(std::ceil(slant * line.height));
    std::vector<int> columns(static_cast<std::size_t>(line.width + reach + 1), 0);
    for (int y = 0; y < line.height; ++y) {
        const int shift = static_cast<int>(std::lround(slant * (line.height - 1 - y)));
        const std::uint8_t* row = line.ink.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(line.width);
        for (int x = 0; x < line.width; ++x)
            if (row[x]) ++columns[static_cast<std::size_t>(x - shift + reach)];
    }
    double score = 0;
    for (int c : columns) score += static_cast<double>(c) * c;
    return score;
}

// The slant of a line's letters (the shear that stands them upright, as a tangent), 0 for
// upright letters. Oblique and italic faces lean 9° to 15°; a lean is only taken when it lines
// the strokes up clearly better than none does.
constexpr double kClearlyBetter = 1.04;
double MeasureSlant(const LineInk& line)
{
    const double upright = StrokeScore(line, 0);
    double best = 0, bestScore = upright;
    for (int step = 1; step <= 8; ++step) {
        const double slant = step * 0.05;
        const double score = StrokeScore(line, slant);
        if (score > bestScore) {
            best = slant;
            bestScore = score;
        }
    }
    return best >= 0.1 && bestScore > upright * kClearlyBetter ? best : 0.0;
}

// The ink scaled by `scale` onto a white page with `pad` pixels around it, its letters stood
// upright (each source row moved left by `slant` pixels per row above the line's foot, in
// fractions of a pixel, so strokes stay straight). Each page pixel takes the share of ink under
// it (area sampling: smooth edges both ways).
GreyLine ScaleOntoPage(const LineInk& line, double slant, double scale, int pad)
{
    const double reach = slant * line.height;
    GreyLine page;
    page.width = static_cast<int>(std::lround((line.width + reach) * scale)) + 2 * pad;
    page.height = static_cast<int>(std::lround(line.height * scale)) + 2 * pad;
    page.grey.assign(static_cast<std::size_t>(page.width) * static_cast<std::size_t>(page.height), 255);
    for (int y = pad; y < page.height - pad; ++y) {
        const double sy0 = (y - pad) / scale, sy1 = (y - pad + 1) / scale;
        for (int x = pad; x < page.width - pad; ++x) {
            double covered = 0, area = 0;
            for (int sy = static_cast<int>(sy0); sy < std::min<double>(std::ceil(sy1), line.height); ++sy) {
                const double rowShare = std::min<double>(sy + 1, sy1) - std::max<double>(sy, sy0);
                // Where this page column lies in the source row, once the row is moved back.
                const double shift = slant * (line.height - 0.5 - sy) - reach;
                const double sx0 = (x - pad) / scale + shift, sx1 = (x - pad + 1) / scale + shift;
                for (int sx = static_cast<int>(std::floor(sx0)); sx < std::ceil(sx1); ++sx) {
                    const double share = rowShare * (std::min<double>(sx + 1, sx1) - std::max<double>(sx, sx0));
                    area += share;
                    if (sx >= 0 && sx < line.width) covered += share * line.ink[static_cast<std::size_t>(sy) * line.width + sx];
                }
            }
            if (area > 0) page.grey[static_cast<std::size_t>(y) * page.width + x] = static_cast<std::uint8_t>(std::lround(255 * (1 - covered / area)));
        }
    }
    return page;
}

// How far letters may be grown sideways: half the outline's width. An outline spaces the letters
// apart by twice its width, which can bring the gaps between letters close to those between
// words. The outline's width is its pixels over the fill's edge pixels (those beside something
// else).
int LetterGrowth(const IndexedPicture& picture, const TextColours& roles)
{
    if (roles.outline < 0) return 0;
    const int w = picture.width, h = picture.height;
    std::size_t outline = 0, edge = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint8_t p = picture.pixels[static_cast<std::size_t>(y) * w + x];
            if (p == roles.outline) ++outline;
            if (p != roles.fill) continue;
            const auto other = [&](int nx, int ny) {
                return nx < 0 || ny < 0 || nx >= w || ny >= h || picture.pixels[static_cast<std::size_t>(ny) * w + nx] != roles.fill;
            };
            if (other(x - 1, y) || other(x + 1, y) || other(x, y - 1) || other(x, y + 1)) ++edge;
        }
    if (edge == 0) return 0;
    const double outlineWidth = static_cast<double>(outline) / static_cast<double>(edge);
    return static_cast<int>(std::lround(outlineWidth)) / 2;
}

// Grows a line's letters sideways by up to `reach` pixels, each stopping a pixel short of any
// other letter, so that none runs into the next. Dots, accents and marks (pieces of ink less
// than a quarter of the line high) stay as they are: grown, the two dots of an umlaut would run
// together.
void GrowLetters(LineInk& line, int reach)
{
    if (reach <= 0) return;
    const int w = line.width, h = line.height;
    // Each piece of ink (four ways connected) numbered from 1, with how high it reaches.
    std::vector<int> piece(line.ink.size(), 0);
    std::vector<int> tall(1, 0);
    std::vector<std::size_t> stack;
    for (std::size_t first = 0; first < line.ink.size(); ++first) {
        if (!line.ink[first] || piece[first]) continue;
        const int number = static_cast<int>(tall.size());
        int top = h, bottom = -1;
        stack.assign(1, first);
        piece[first] = number;
        while (!stack.empty()) {
            const std::size_t at = stack.back();
            stack.pop_back();
            const int x = static_cast<int>(at % w), y = static_cast<int>(at / w);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
            for (const auto& [nx, ny] : {std::pair{x - 1, y}, std::pair{x + 1, y}, std::pair{x, y - 1}, std::pair{x, y + 1}}) {
                if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
                const std::size_t next = static_cast<std::size_t>(ny) * w + nx;
                if (line.ink[next] && !piece[next]) {
                    piece[next] = number;
                    stack.push_back(next);
                }
            }
        }
        tall.push_back(bottom - top + 1);
    }
    const std::vector<int> drawn = piece;
    const auto other = [&](std::size_t row, int x, int own) {
        return x >= 0 && x < w && piece[row + static_cast<std::size_t>(x)] != 0 && piece[row + static_cast<std::size_t>(x)] != own;
    };
    for (int y = 0; y < h; ++y) {
        const std::size_t row = static_cast<std::size_t>(y) * w;
        for (int x = 0; x < w; ++x) {
            const int own = drawn[row + static_cast<std::size_t>(x)];
            if (!own || tall[static_cast<std::size_t>(own)] * 4 < h) continue;
            for (const int step : {-1, 1})
                for (int k = 1; k <= reach; ++k) {
                    const int at = x + step * k;
                    if (at < 0 || at >= w || other(row, at, own) || other(row, at + step, own)) break;
                    piece[row + static_cast<std::size_t>(at)] = own;
                    line.ink[row + static_cast<std::size_t>(at)] = 1;
                }
        }
    }
}

} // namespace

std::vector<GreyLine> PrepareLines(const IndexedPicture& picture, int letterHeight, bool growLetters)
{
    std::vector<GreyLine> lines;
    const TextColours roles = FindTextColours(picture);
    if (roles.fill < 0) return lines;
    const int w = picture.width, h = picture.height;
    // Ink where the fill is: the letters without their outline.
    std::vector<std::uint8_t> ink(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    for (std::size_t i = 0; i < ink.size(); ++i) ink[i] = picture.pixels[i] == roles.fill ? 1 : 0;
    const int grow = growLetters ? LetterGrowth(picture, roles) : 0;
    for (const auto& [top, bottom] : LineRows(ink, w, h)) {
        int left = w, right = -1;
        for (int y = top; y <= bottom; ++y)
            for (int x = 0; x < w; ++x)
                if (ink[static_cast<std::size_t>(y) * w + x]) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
        if (right < left) continue;
        LineInk cut;
        cut.width = right - left + 1;
        cut.height = bottom - top + 1;
        cut.ink.resize(static_cast<std::size_t>(cut.width) * static_cast<std::size_t>(cut.height));
        for (int y = 0; y < cut.height; ++y)
            std::copy_n(ink.begin() + static_cast<std::ptrdiff_t>(top + y) * w + left, cut.width,
                        cut.ink.begin() + static_cast<std::ptrdiff_t>(y) * cut.width);
        // Slanted letters are stood upright first: the reader's models know upright ones best.
        // (Grown, their strokes read worse: they are left as they are.)
        const double slant = MeasureSlant(cut);
        const bool grown = slant == 0 && grow > 0;
        if (grown) GrowLetters(cut, grow);
        // A line's ink runs from the tallest letter's top to the lowest descender: some 1.4 letters.
        const double scale = std::clamp(letterHeight * 1.4 / cut.height, 0.25, 8.0);
        GreyLine line = ScaleOntoPage(cut, slant, scale, std::max(8, letterHeight / 3));
        line.italic = slant > 0;
        line.grown = grown;
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

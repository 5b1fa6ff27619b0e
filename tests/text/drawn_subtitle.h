#pragma once
// Subtitle pictures drawn as a disc draws them (letters filled in one colour, outlined in
// another, on a transparent ground), for the text reader's tests.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "convert/text_renderer.h"
#include "text/subtitle_picture.h"

inline constexpr std::uint32_t kGround = 0x00000000, kFill = 0xFFF0F0F0, kOutline = 0xFF101010;

// Lines of text as a DVD subpicture draws them: fill 1, a two-pixel outline 2, ground 0; with
// `slant`, the letters lean right by that many pixels per row (an oblique face).
inline IndexedPicture Subtitle(const std::vector<std::u16string>& lines, int pixelSize = 22, double slant = 0)
{
    OverlayFont font;
    font.pixelSize = pixelSize;
    std::vector<RgbPicture> drawn;
    int width = 0, height = 0;
    for (const std::u16string& line : lines) {
        RgbPicture picture;
        EXPECT_TRUE(RenderText(line, font, 0x000000, picture));
        width = std::max(width, picture.width);
        height += picture.height + 6;
        drawn.push_back(std::move(picture));
    }
    const int margin = 6;
    int tallest = 0;
    for (const RgbPicture& p : drawn) tallest = std::max(tallest, p.height);
    const int lean = static_cast<int>(std::ceil(slant * tallest));
    IndexedPicture subtitle;
    subtitle.width = width + lean + 2 * margin;
    subtitle.height = height + 2 * margin;
    subtitle.pixels.assign(static_cast<std::size_t>(subtitle.width) * subtitle.height, 0);
    subtitle.colours = {kGround, kFill, kOutline, 0xFF808080};
    int top = margin;
    for (const RgbPicture& p : drawn) {
        const int left = margin + (width - p.width) / 2;
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x)
                if (p.rgb[(static_cast<std::size_t>(y) * p.width + x) * 3] < 128)
                    subtitle.pixels[static_cast<std::size_t>(top + y) * subtitle.width + left + x +
                                    static_cast<int>(std::lround(slant * (p.height - 1 - y)))] = 1;
        top += p.height + 6;
    }
    // The outline: ground within two pixels of the fill.
    const std::vector<std::uint8_t> filled = subtitle.pixels;
    for (int y = 0; y < subtitle.height; ++y)
        for (int x = 0; x < subtitle.width; ++x) {
            if (filled[static_cast<std::size_t>(y) * subtitle.width + x] != 0) continue;
            for (int dy = -2; dy <= 2; ++dy)
                for (int dx = -2; dx <= 2; ++dx) {
                    const int nx = x + dx, ny = y + dy;
                    if (nx >= 0 && ny >= 0 && nx < subtitle.width && ny < subtitle.height &&
                        filled[static_cast<std::size_t>(ny) * subtitle.width + nx] == 1)
                        subtitle.pixels[static_cast<std::size_t>(y) * subtitle.width + x] = 2;
                }
        }
    return subtitle;
}


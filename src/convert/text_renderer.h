#pragma once
// Draws a line of text into an RGB picture of exactly the text's extent, with FreeType and a font
// that fontconfig picks for a family name, size and style.

#include <cstdint>
#include <string>
#include <vector>

// A font as the editor describes it (family name, size in pixels, style).
struct OverlayFont {
    char family[64] = "DejaVu Sans";
    std::int32_t pixelSize = 24;
    std::int32_t bold = 0;
    std::int32_t italic = 0;
};

struct RgbPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb; // width × height × 3, rows top to bottom
};

// Renders `text` in `colour` (0x00BBGGRR) on white; false when no font can be had or the text
// has no extent.
bool RenderText(const std::u16string& text, const OverlayFont& font, std::uint32_t colour, RgbPicture& picture);

#include "convert/text_renderer.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <memory>
#include <mutex>

namespace {

// FreeType's library handle: made once and used under one lock (a library is not thread-safe).
std::mutex g_lock;
FT_Library g_library = nullptr;

struct FaceDone {
    void operator()(FT_Face face) const { FT_Done_Face(face); }
};
using FacePtr = std::unique_ptr<std::remove_pointer_t<FT_Face>, FaceDone>;

struct PatternDestroy {
    void operator()(FcPattern* p) const { FcPatternDestroy(p); }
};
using PatternPtr = std::unique_ptr<FcPattern, PatternDestroy>;

// The file and face index fontconfig matches for the font.
bool FindFontFile(const OverlayFont& font, std::string& file, int& index)
{
    PatternPtr pattern(FcPatternCreate());
    if (!pattern) return false;
    FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(font.family));
    FcPatternAddDouble(pattern.get(), FC_PIXEL_SIZE, font.pixelSize);
    FcPatternAddInteger(pattern.get(), FC_WEIGHT, font.bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern.get(), FC_SLANT, font.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultNoMatch;
    PatternPtr match(FcFontMatch(nullptr, pattern.get(), &result));
    if (!match) return false;
    FcChar8* path = nullptr;
    if (FcPatternGetString(match.get(), FC_FILE, 0, &path) != FcResultMatch || !path) return false;
    file = reinterpret_cast<const char*>(path);
    if (FcPatternGetInteger(match.get(), FC_INDEX, 0, &index) != FcResultMatch) index = 0;
    return true;
}

std::u32string CodePoints(const std::u16string& text)
{
    std::u32string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            out.push_back(0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

} // namespace

bool RenderText(const std::u16string& text, const OverlayFont& font, std::uint32_t colour, RgbPicture& picture)
{
    const std::u32string codes = CodePoints(text);
    if (codes.empty() || font.pixelSize <= 0) return false;
    std::string file;
    int index = 0;
    if (!FindFontFile(font, file, index)) return false;

    std::lock_guard lock(g_lock);
    if (!g_library && FT_Init_FreeType(&g_library) != 0) return false;
    FT_Face raw = nullptr;
    if (FT_New_Face(g_library, file.c_str(), index, &raw) != 0) return false;
    FacePtr face(raw);
    if (FT_Set_Pixel_Sizes(face.get(), 0, static_cast<FT_UInt>(font.pixelSize)) != 0) return false;

    // Measure: the sum of the advances, and the line's ascent and descent.
    const int ascent = static_cast<int>((face->size->metrics.ascender + 63) >> 6);
    const int descent = static_cast<int>((-face->size->metrics.descender + 63) >> 6);
    int width = 0;
    for (char32_t code : codes) {
        if (FT_Load_Char(face.get(), code, FT_LOAD_DEFAULT) != 0) continue;
        width += static_cast<int>((face->glyph->advance.x + 32) >> 6);
    }
    const int height = ascent + descent;
    if (width <= 0 || height <= 0) return false;

    picture.width = width;
    picture.height = height;
    picture.rgb.assign(static_cast<std::size_t>(width) * height * 3, 0xFF);
    const int red = colour & 0xFF, green = (colour >> 8) & 0xFF, blue = (colour >> 16) & 0xFF;
    int pen = 0;
    for (char32_t code : codes) {
        if (FT_Load_Char(face.get(), code, FT_LOAD_RENDER) != 0) continue;
        const FT_GlyphSlot glyph = face->glyph;
        const FT_Bitmap& bitmap = glyph->bitmap;
        for (unsigned row = 0; row < bitmap.rows; ++row) {
            const int y = ascent - glyph->bitmap_top + static_cast<int>(row);
            if (y < 0 || y >= height) continue;
            for (unsigned col = 0; col < bitmap.width; ++col) {
                const int x = pen + glyph->bitmap_left + static_cast<int>(col);
                if (x < 0 || x >= width) continue;
                const int coverage = bitmap.buffer[row * bitmap.pitch + col];
                if (!coverage) continue;
                std::uint8_t* p = &picture.rgb[(static_cast<std::size_t>(y) * width + x) * 3];
                p[0] = static_cast<std::uint8_t>((p[0] * (255 - coverage) + red * coverage) / 255);
                p[1] = static_cast<std::uint8_t>((p[1] * (255 - coverage) + green * coverage) / 255);
                p[2] = static_cast<std::uint8_t>((p[2] * (255 - coverage) + blue * coverage) / 255);
            }
        }
        pen += static_cast<int>((glyph->advance.x + 32) >> 6);
    }
    return true;
}

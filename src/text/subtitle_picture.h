#pragma once
// A picture subtitle made ready for a text reader: DVD subpictures and Blu-ray graphics are
// pictures of a few colours (a fill, an outline and a transparent ground, perhaps an
// anti-aliasing shade). The reader wants dark letters on a white page, one line at a time, with
// letters some 30 to 40 pixels high. Pure functions, no threads.

#include <array>
#include <cstdint>
#include <vector>

// A subtitle picture as its decoder gives it: an index per pixel into its colours (0xAARRGGBB).
struct IndexedPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels; // width × height indexes, rows top to bottom
    std::vector<std::uint32_t> colours;
};

// A line of text as the reader takes it: 8-bit grey, 0 ink, 255 page.
struct GreyLine {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> grey;
    bool italic = false; // its letters leaned and were stood upright
    bool grown = false;  // its letters were grown sideways (PrepareLines' `growLetters`)
};

// The roles of a picture's colours: the letters' fill, their outline (−1 when there is none).
struct TextColours {
    int fill = -1;
    int outline = -1;
};

// The fill is the most frequent opaque colour inside the outline; the outline is the opaque
// colour that borders the transparent ground most, where there are two or more. A picture
// with nothing opaque has neither.
TextColours FindTextColours(const IndexedPicture& picture);

// The lines of text in a picture, each cut to its ink, slanted letters stood upright (the line
// marked italic), scaled so that its letters are about
// `letterHeight` pixels high, and padded with page. Empty for a picture without letters (no
// visible pixels, one colour only) and for a malformed one (indexes beyond its colours are ground,
// pixels short of its size: none).
// With `growLetters`, upright letters in an outline are grown sideways by half its width: an
// outline spaces letters apart by twice its width, which can bring the gaps between letters
// close to those between words (the reader then runs words together); each stops a pixel short
// of the next, and dots and accents stay as they are. The lines are the same either way.
std::vector<GreyLine> PrepareLines(const IndexedPicture& picture, int letterHeight = 36, bool growLetters = false);

// A hash of the picture's pixels and colours: the same bitmap again (discs repeat cues) is read once.
std::uint64_t PictureHash(const IndexedPicture& picture);

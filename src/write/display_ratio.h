#pragma once
// Display and sample aspect ratios: what the writer stamps on a file and what framing works with.
// Pure values and functions.

#include <cstdint>

// A display aspect ratio, x:y; 0:0 when unknown.
struct AspectRatio {
    std::int32_t x = 0;
    std::int32_t y = 0;
    bool Known() const { return x > 0 && y > 0; }
    double Value() const { return Known() ? static_cast<double>(x) / y : 0; }
    bool operator==(const AspectRatio&) const = default;
};

// x:y in lowest terms (0:0 unless both are positive).
AspectRatio ReducedAspect(std::int64_t x, std::int64_t y);

inline constexpr AspectRatio kAspect4x3{4, 3};
inline constexpr AspectRatio kAspect16x9{16, 9};

// The sample (pixel) aspect of a frame of width × height shown at `display`, reduced; 1:1 when
// the display aspect is unknown.
AspectRatio SampleAspect(int width, int height, AspectRatio display);

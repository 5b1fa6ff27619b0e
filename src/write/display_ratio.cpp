#include "write/display_ratio.h"

#include <numeric>

AspectRatio ReducedAspect(std::int64_t x, std::int64_t y)
{
    if (x <= 0 || y <= 0) return {};
    const std::int64_t divisor = std::gcd(x, y);
    return {static_cast<std::int32_t>(x / divisor), static_cast<std::int32_t>(y / divisor)};
}

AspectRatio SampleAspect(int width, int height, AspectRatio display)
{
    if (!display.Known() || width <= 0 || height <= 0) return {1, 1};
    return ReducedAspect(static_cast<std::int64_t>(display.x) * height, static_cast<std::int64_t>(display.y) * width);
}

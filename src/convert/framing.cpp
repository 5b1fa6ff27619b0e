#include "convert/framing.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>

namespace {

// The ratios of modes 2 and 3, as single-precision values.
constexpr float kWideRatio = 1.7777778f;
constexpr float kStandardRatio = 1.3333334f;

// Width over height of one pixel of a frame of width × height shown at `display`.
double PixelAspect(int width, int height, AspectRatio display)
{
    if (!display.Known() || width <= 0 || height <= 0) return 1.0;
    return display.Value() * height / width;
}

} // namespace

bool IsDvdFrameSize(int width, int height)
{
    return (width == 720 || width == 704 || width == 352) && (height == 480 || height == 576);
}

AspectRatio OutputDisplayAspect(int width, int height, int zoomMode, AspectRatio source)
{
    if (!IsDvdFrameSize(width, height)) return ReducedAspect(width, height);
    if (zoomMode == 2) return kAspect16x9;
    if (zoomMode == 3) return kAspect4x3;
    // The nearer of the two: a source between them (2.21:1 is wider than both) takes 16:9 above
    // their middle.
    const double middle = (kAspect4x3.Value() + kAspect16x9.Value()) / 2;
    return source.Known() && source.Value() > middle ? kAspect16x9 : kAspect4x3;
}

FrameRect FitPicture(int zoomMode, int sourceWidth, int sourceHeight, AspectRatio sourceAspect, int cropWidth,
                     int cropHeight, int outputWidth, int outputHeight, AspectRatio outputAspect)
{
    FrameRect target{0, 0, outputWidth, outputHeight};
    if (cropWidth <= 0 || cropHeight <= 0 || outputWidth <= 0 || outputHeight <= 0) return target;
    // The shape to show, as displayed.
    double shown = 0;
    switch (zoomMode) {
    case 0: shown = cropWidth * PixelAspect(sourceWidth, sourceHeight, sourceAspect) / cropHeight; break;
    case 2: shown = kWideRatio; break;
    case 3: shown = kStandardRatio; break;
    default: return target;
    }
    // The same shape in the output's pixels.
    const auto ratio = static_cast<float>(shown / PixelAspect(outputWidth, outputHeight, outputAspect));
    const int w = target.Width(), h = target.Height();
    if (ratio > static_cast<float>(w) / static_cast<float>(h)) {
        const int bar = (h - static_cast<int>(std::trunc(w / ratio))) / 2;
        target.top += bar;
        target.bottom -= bar;
    } else {
        const int bar = (w - static_cast<int>(std::trunc(ratio * h))) / 2;
        target.left += bar;
        target.right -= bar;
    }
    return target;
}

AspectRatio CropDisplayAspect(int sourceWidth, int sourceHeight, AspectRatio sourceAspect, int cropWidth, int cropHeight)
{
    if (sourceWidth <= 0 || sourceHeight <= 0 || cropWidth <= 0 || cropHeight <= 0) return {};
    if (!sourceAspect.Known()) sourceAspect = {sourceWidth, sourceHeight};
    const std::int64_t x = static_cast<std::int64_t>(cropWidth) * sourceAspect.x * sourceHeight;
    const std::int64_t y = static_cast<std::int64_t>(cropHeight) * sourceAspect.y * sourceWidth;
    const std::int64_t d = std::gcd(x, y);
    // Kept within the int range a ratio is stored in.
    std::int64_t rx = x / d, ry = y / d;
    while (rx > 0xFFFF || ry > 0xFFFF) {
        rx = (rx + 1) / 2;
        ry = (ry + 1) / 2;
    }
    return {static_cast<std::int32_t>(rx), static_cast<std::int32_t>(std::max<std::int64_t>(ry, 1))};
}

FrameSize FrameForCrop(int width, int height, int sourceWidth, int sourceHeight, AspectRatio sourceAspect, int cropWidth,
                       int cropHeight)
{
    if (width <= 0 || height <= 0 || sourceWidth <= 0 || sourceHeight <= 0 || cropWidth <= 0 || cropHeight <= 0)
        return {width, height};
    if (!sourceAspect.Known()) sourceAspect = {sourceWidth, sourceHeight};
    // The crop's displayed width over its height.
    const double shape = static_cast<double>(cropWidth) * sourceAspect.x * sourceHeight /
                         (static_cast<double>(cropHeight) * sourceAspect.y * sourceWidth);
    const auto even = [](double value) { return std::max(2, static_cast<int>(std::lround(value / 2)) * 2); };
    FrameSize frame{width & ~1, even(width / shape)};
    if (frame.height > height) frame = {even(height * shape), height & ~1};
    return frame;
}

FollowingFrame FrameFollowingCrop(int profileWidth, int sourceWidth, int sourceHeight, AspectRatio sourceAspect, int cropWidth,
                                  int cropHeight)
{
    if (cropWidth < 2 || cropHeight < 2) {
        cropWidth = sourceWidth;
        cropHeight = sourceHeight;
    }
    FollowingFrame result;
    if (profileWidth <= 0) {
        result.frame = {cropWidth & ~1, cropHeight & ~1};
        result.shown = CropDisplayAspect(sourceWidth, sourceHeight, sourceAspect, cropWidth, cropHeight);
        return result;
    }
    result.frame = FrameForCrop(profileWidth, 1 << 14, sourceWidth, sourceHeight, sourceAspect, cropWidth, cropHeight);
    result.shown = ReducedAspect(result.frame.width, result.frame.height);
    return result;
}

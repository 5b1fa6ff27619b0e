#pragma once
// Framing: where a cropped picture goes in an output frame, by the shape it is shown at.
//
// A DVD's pixels are not square: a 720 × 480 picture is shown at 4:3 or 16:9. Framing therefore
// works with display aspects: the source's (the title's video attributes, or the stream's
// sequence header), and the output's, which is its own width over height (square pixels) except
// for DVD frame sizes, which keep the DVD's geometry and show 4:3 or 16:9 (anamorphic files).
// Crop values stay in source pixels; the cropped region keeps its share of the source's shape.
//
// Pure functions; used by the video conversion filter, the run (the file's aspect) and the editor.

#include <cstdint>

#include "write/display_ratio.h"

// 720 × 480, 720 × 576, 704 × 480, 704 × 576, 352 × 480, 352 × 576.
bool IsDvdFrameSize(int width, int height);

// The display aspect of an output of width × height for a source shown at `source`: DVD sizes
// show 16:9 (zoom mode 2, or a wide source in modes 0 and 1) or 4:3; every other size has square
// pixels and shows width:height.
AspectRatio OutputDisplayAspect(int width, int height, int zoomMode, AspectRatio source);

struct FrameRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

// The rectangle of an output frame of outputWidth × outputHeight (shown at `outputAspect`) that a
// crop of cropWidth × cropHeight pixels of a sourceWidth × sourceHeight picture (shown at
// `sourceAspect`) fills, before the bars are rounded to even sizes:
//   mode 0 "Keep Original": the crop's displayed shape, bars split evenly;
//   mode 2 "16:9", mode 3 "4:3": that shape;
//   mode 1 "Full Screen" (and any other): the whole frame.
// Unknown aspects mean square pixels.
FrameRect FitPicture(int zoomMode, int sourceWidth, int sourceHeight, AspectRatio sourceAspect, int cropWidth,
                     int cropHeight, int outputWidth, int outputHeight, AspectRatio outputAspect);

// The frame for a crop of cropWidth × cropHeight of a sourceWidth × sourceHeight picture shown at
// `sourceAspect`, within a profile's frame of width × height: the crop's displayed shape, as
// large as fits, in even sizes and square pixels (a 2.35:1 crop into 640 × 480 gives 640 × 272).
// The shape a crop of cropWidth × cropHeight of a sourceWidth × sourceHeight picture shown at
// `sourceAspect` is shown at (reduced; unknown source aspects mean square pixels).
AspectRatio CropDisplayAspect(int sourceWidth, int sourceHeight, AspectRatio sourceAspect, int cropWidth, int cropHeight);

struct FrameSize {
    int width = 0, height = 0;
};
FrameSize FrameForCrop(int width, int height, int sourceWidth, int sourceHeight, AspectRatio sourceAspect, int cropWidth,
                       int cropHeight);

// The frame and shape of a file whose size follows the crop: a profile of 0 × 0 ("Same as source")
// keeps the cropped pixels (even sizes) at their share of the source's shape; a width alone gives
// square pixels at that width. A crop under 2 pixels either way counts as the whole picture.
struct FollowingFrame {
    FrameSize frame;
    AspectRatio shown;
};
FollowingFrame FrameFollowingCrop(int profileWidth, int sourceWidth, int sourceHeight, AspectRatio sourceAspect, int cropWidth,
                                  int cropHeight);

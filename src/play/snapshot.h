#pragma once
// Snapshots: a picture from the renderer saved as an image file, its type taken from the file
// name's extension (BMP, JPEG or JPG, GIF; any case), written by FFmpeg's image encoders.

#include <string>

#include "pipeline/interfaces.h"

// `dib`: a BITMAPINFOHEADER followed by 32-bit pixels (blue, green, red, unused); a negative
// height puts the top row first. False when the type is unknown or the file cannot be written.
bool SaveSnapshot(const BYTE* dib, const std::string& path);

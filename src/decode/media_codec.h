#pragma once
// What libavcodec calls the coded streams the splitter's media types describe, and the set-up
// bytes it wants for them: shared by the decoders and by the sink that copies streams as they are.

#include <cstdint>
#include <vector>

#include "pipeline/format_blocks.h"
#include "pipeline/media_type.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

// The wave format of a sound media type, or null.
const WAVEFORMATEX* WaveFormatOf(const CMediaType& type);
// The coding of a sound media type (AV_CODEC_ID_NONE: not one we know).
AVCodecID AudioCodecOf(const CMediaType& type);
// The picture header of a video media type, or null.
const BITMAPINFOHEADER* VideoBitmapHeaderOf(const CMediaType& type);
// The coding of a video media subtype (AV_CODEC_ID_NONE: not one we know).
AVCodecID VideoCodecOf(const GUID& subtype);
// The codec's set-up bytes as libavcodec wants them: MPEG sequence headers as they are, H.264
// parameter sets (each behind a 2-byte length) as an avcC record with 4-byte unit lengths,
// the VC-1 sequence header after its leading byte.
std::vector<std::uint8_t> VideoExtradataOf(const CMediaType& type);

#pragma once
// The one-line names the splitter gives its streams (stream selection, properties window), built
// from the media type, the Blu-ray clip information and the transport program map.

#include <cstdint>
#include <string>

#include "demux/splitter_title_info.h"
#include "pipeline/media_type.h"

// The name of a stream-type code ("Dolby Digital" for 81h), or null.
const char* StreamTypeName(int streamType);
// "%.2f mbit/s" above 20 000 000 bits per second, else "%.1f kbit/s".
std::string BitRateText(double bitsPerSecond);
// The description of a track (possibly empty): "Audio - Dolby Digital, 48.0 kHz, 2 chn, …".
std::string TrackDescription(const CMediaType& mt, const ClipStreamInfo* clip, int streamType);
// The name IAMStreamSelect::Info gives a stream of class `group` (0 video, 1 audio, 2 subpicture).
std::string StreamName(int group, const CMediaType& mt, const ClipStreamInfo* clip, int streamType, std::uint16_t pid,
                       std::uint8_t pesId, std::uint8_t subId);

#pragma once
// The DVD title record the application hands to the splitter: one process-wide copy, cleared when
// a splitter is made and read by the stream scanner for the streams a title announces.

#include "dvd/disc_info.h"

class SplitterTitleInfo {
public:
    static void Clear();
    static void Set(const TitleInfo& title);
    static TitleInfo Get();
};

// What Blu-ray clip information says of one stream (filled by the clip-information reader).
struct ClipStreamInfo {
    std::uint16_t pid = 0;
    std::uint8_t streamType = 0;     // the stream coding type
    char language[4] = {};           // three letters, zero-terminated
    std::uint32_t locale = 0;        // from the ISO 639 table, 0 when unknown
    std::uint8_t videoFormat = 0;    // 4 bits each
    std::uint8_t frameRate = 0;
    std::uint8_t aspectRatio = 0;
    std::uint8_t presentationType = 0;
    std::uint8_t sampleRateCode = 0;
};

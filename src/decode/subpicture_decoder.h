#pragma once
// DVD subpictures and Blu-ray presentation graphics: decoded with libavcodec as they arrive, kept
// with their display interval, and blended into the pictures that fall into it.

#include <cstdint>
#include <mutex>
#include <vector>

#include "pipeline/interfaces.h"
#include "ffmpeg/ffmpeg_errors.h"
#include "ffmpeg/ffmpeg_handles.h"

class SubpictureDecoder {
public:
    enum Kind { kDvd, kPresentationGraphics };

    SubpictureDecoder(); // DVD subpictures until Open says otherwise
    // Decodes this kind from now on, forgetting what the last one decoded (before streaming);
    // false when libavcodec has no decoder for it.
    bool Open(Kind kind);
    // The 16 colours (0xRRGGBB) DVD subpictures are drawn with, from the disc's navigation; none
    // leaves libavcodec to guess them from the subpictures' opacity. Set while not streaming.
    void SetPalette(std::vector<std::uint32_t> palette);

    // Decodes a sample of subpicture data (subpicture thread). A unit may span several samples;
    // its time is that of the sample it starts in.
    void Decode(const std::uint8_t* data, int size, bool hasTime, REFERENCE_TIME start);
    // Forgets every subpicture and any unit half received (a flush or a seek).
    void Flush();
    // Blends the subpictures shown at `time` into a 4:2:0 picture (picture thread).
    void Blend(REFERENCE_TIME time, std::uint8_t* y, int yStride, std::uint8_t* cb, std::uint8_t* cr, int cStride,
               int width, int height);
    // Subpictures decoded and not yet ended before the last blended time (tests, diagnostics).
    std::size_t Count();
    // The errors libav reported for the subpicture data since the last ResetErrors.
    int Errors() const { return m_errors.Count(); }
    void ResetErrors() { m_errors.Reset(); }

private:
    // One rectangle of a subpicture, as Y, Cb, Cr and opacity per pixel.
    struct Picture {
        REFERENCE_TIME start = 0;
        REFERENCE_TIME stop = 0;
        int x = 0, y = 0, width = 0, height = 0;
        std::vector<std::uint8_t> luma, cb, cr, alpha;
    };

    void Add(const AVSubtitle& subtitle, REFERENCE_TIME pts);

    ffmpeg::CodecContextPtr m_codec; // subpicture thread
    Kind m_kind = kDvd;
    std::vector<std::uint32_t> m_palette; // set while not streaming
    ffmpeg::PacketPtr m_packet;      // subpicture thread
    REFERENCE_TIME m_unitStart = 0;  // subpicture thread
    bool m_unitTimed = false;        // subpicture thread
    ffmpeg::ErrorTally m_errors{"subpicture decoder"};
    std::mutex m_lock;
    std::vector<Picture> m_pictures; // guarded by m_lock, in order of their start
};

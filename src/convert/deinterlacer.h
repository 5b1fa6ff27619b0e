#pragma once
// Deinterlacer: libavfilter's bwdif (yadif where bwdif is missing) over 4:2:0 pictures laid out
// as YV12 (Y, then Cr, then Cb, in one buffer). One picture comes out for every picture that goes
// in, one picture late (the filter looks at the next picture too); End lets the last one out.
// Pictures keep the number they went in with, so their times can be found again.
//
//
// As an inverse telecine it takes film telecined to 29.97 interlaced frames (3:2 pulldown in the
// fields) and gives back the film's pictures: libavfilter's fieldmatch puts each picture's
// fields back together, bwdif mends what no field matches, and decimate drops the one picture
// in five that repeats. There the numbers are times (100 ns), and the pictures come out at four
// fifths of the rate they went in, with times of their own.
//
// Used by one thread at a time (the video conversion filter's streaming thread, under its receive
// lock). Nothing is allocated per picture but what libavfilter allocates itself: the pictures go
// in through a buffer pool.

#include <cstdint>
#include <vector>

#include "ffmpeg/ffmpeg_errors.h"
#include "ffmpeg/ffmpeg_handles.h"

struct AVFilterGraph;
struct AVFilterContext;

class Deinterlacer {
public:
    Deinterlacer();
    ~Deinterlacer();
    Deinterlacer(const Deinterlacer&) = delete;
    Deinterlacer& operator=(const Deinterlacer&) = delete;

    // Prepares for pictures of width × height. `all`: every picture is deinterlaced; otherwise
    // only those marked as interlaced, the others pass untouched. False when libavfilter cannot
    // (the filter is missing, or the size is unusable).
    bool Open(int width, int height, bool all);
    // Prepares the inverse telecine for pictures of width × height coming every `period` (100 ns;
    // 333667 for 29.97 a second).
    bool OpenInverseTelecine(int width, int height, std::int64_t period);
    void Close();
    bool IsOpen() const { return m_graph != nullptr; }
    // Forgets the pictures inside (a flush or a new run); stays open.
    bool Reset();

    // One picture in; false when libavfilter refused it.
    bool Push(const std::uint8_t* yv12, bool interlaced, bool topFieldFirst, std::int64_t number);
    // No more pictures: the held ones come out.
    bool End();
    // The next picture out, into `yv12` (width × height × 3 / 2 bytes), with its number; false
    // when none is ready.
    bool Pull(std::uint8_t* yv12, std::int64_t& number);

    // The filter in use ("bwdif" or "yadif"; "fieldmatch" for the inverse telecine), or null
    // before Open.
    const char* FilterName() const { return m_filterName; }

private:
    bool Open(int width, int height);
    bool Build();

    int m_width = 0;
    int m_height = 0;
    bool m_all = false;
    std::int64_t m_telecinePeriod = 0; // 0: deinterlacing
    const char* m_filterName = nullptr;
    ffmpeg::FilterGraphPtr m_graph; // owns the filter contexts
    ffmpeg::ErrorTally m_errors{"deinterlacer"};
    AVFilterContext* m_source = nullptr;
    AVFilterContext* m_sink = nullptr;
    ffmpeg::BufferPoolPtr m_pool;   // picture buffers for the source
    ffmpeg::FramePtr m_in;          // reused for every picture pushed
    ffmpeg::FramePtr m_out;         // reused for every picture pulled
};

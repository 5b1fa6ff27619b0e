#pragma once
// The title scan: a look at a title's pictures before it is converted, to find what the disc
// does not say. About ten stretches of a dozen pictures each, spread over the title (its first and
// last 5 % left out, where logos and credits sit), are decoded; from them come
//   - the black bars around the picture: rows and columns at black level in every picture seen;
//   - how the pictures are made: progressive, interlaced, or film telecined to 29.97 frames a
//     second, either in the fields (hard: 3:2 pulldown woven into the frames) or in the stream's
//     flags (soft: progressive pictures shown over two and three fields).
//
// ScanTitle builds a graph of its own (reader, splitter, video decoder, PictureGrabber) for each
// stretch and waits for it: any thread but a window's (the workspace's worker, the command line's).
// The rest is pure and works on pictures handed to it.

#include <cstdint>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "convert/source_disc.h"

// Margins of a stored picture, in pixels.
struct BlackBars {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool Any() const { return left || top || right || bottom; }
    bool operator==(const BlackBars&) const = default;
};

enum class PictureFields { kUnknown, kProgressive, kInterlaced, kTelecined };
// "progressive", "interlaced", "telecined" ("unknown" before a scan saw pictures).
const char* FieldsName(PictureFields fields);

struct TitleScanResult {
    int pictures = 0;           // pictures looked at; 0: the title could not be scanned
    int width = 0, height = 0;  // of the stored picture
    BlackBars bars;
    PictureFields fields = PictureFields::kUnknown;
    bool softTelecine = false;  // telecined by the stream's repeat-first-field flags
    std::string reason;         // why the pictures were called so (for the debug log)
};

// The black bars of one picture's luma plane: rows from the top and bottom, columns from the left
// and right, whose level stays at black (mean at most 24, no sample above 48 — room for the noise
// of compression). None for a picture black all over (it tells nothing).
std::optional<BlackBars> FindBlackBars(const std::uint8_t* luma, int stride, int width, int height);

// Gathers what the sampled pictures show. Feed each stretch's pictures in order, with
// BeginStretch before each stretch.
class PictureSurvey {
public:
    PictureSurvey(int width, int height);
    ~PictureSurvey();
    PictureSurvey(const PictureSurvey&) = delete;
    PictureSurvey& operator=(const PictureSurvey&) = delete;

    void BeginStretch();
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    // A 4:2:0 picture (planes Y, Cb, Cr at their strides) with the stream's marks for it.
    void Add(const std::uint8_t* const planes[3], const int strides[3], bool progressiveMark, bool repeatFirstField);
    // The bars common to every picture that was not black all over, rounded to even sizes and
    // leaving at least 32 pixels each way; the kind of pictures, with the reason.
    TitleScanResult Result() const;

private:
    class FieldDetector;
    int m_width, m_height;
    int m_pictures = 0;
    int m_progressiveMarks = 0, m_repeatMarks = 0;
    BlackBars m_bars;
    bool m_barsSeen = false;
    int m_combed = 0, m_clean = 0, m_repeatedFields = 0, m_fieldPictures = 0;
    std::unique_ptr<FieldDetector> m_detector;
};

// Scans a title (or, where the disc has none, nothing: pictures 0). A stop asked for ends it at
// once, with nothing (pictures 0).
TitleScanResult ScanTitle(const std::shared_ptr<SourceDisc>& disc, int titleIndex, std::stop_token stop = {});

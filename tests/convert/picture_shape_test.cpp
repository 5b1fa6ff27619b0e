// Pictures as a viewer sees them: a square shown on the disc stays a square (or takes the shape
// the zoom mode asks for), black bars lie exactly where framing puts them, DVD-sized outputs
// carry their display aspect, and interlaced titles come out without combing. Every output is
// read back with ffmpeg and ffprobe.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <ostream>

#include "convert/conversion_support.h"
#include "convert/video_conversion_filter.h"
#include "support/ffmpeg_tools.h"
#include "support/memory_source.h"

namespace {

using namespace testing_filters;

constexpr int kMp4Profile = 5;   // H.264, 640 × 480 (square pixels)
constexpr int kMpeg2Profile = 9; // MPEG-2, 720 × 480 (a DVD size: anamorphic)

// The sample aspect ffprobe reads from a file's video stream, as a number (1 when square).
double SampleAspectOf(const std::string& file)
{
    const std::string text = ToolOutput({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                                         "stream=sample_aspect_ratio", "-of", "default=nw=1:nk=1", file});
    int x = 0, y = 0;
    return std::sscanf(text.c_str(), "%d:%d", &x, &y) == 2 && x > 0 && y > 0 ? static_cast<double>(x) / y : 1.0;
}

// One picture of a file as 8-bit grey at its own size.
std::vector<std::uint8_t> GreyPicture(const std::string& file, int index, int width, int height)
{
    const std::string raw = TemporaryPath("shape.gray");
    RunTool({"ffmpeg", "-v", "error", "-y", "-i", file, "-vf", "select=eq(n\\," + std::to_string(index) + ")", "-frames:v",
             "1", "-f", "rawvideo", "-pix_fmt", "gray", raw});
    std::vector<std::uint8_t> picture = ReadFileBytes(raw);
    std::filesystem::remove(raw);
    EXPECT_EQ(picture.size(), static_cast<std::size_t>(width) * height);
    return picture;
}

// The width of the bright shape along a line of samples, in pixels: each sample counts by how far
// it lies from the background's grey towards the shape's white.
double ShapeExtent(const std::vector<int>& line)
{
    const int white = *std::max_element(line.begin(), line.end());
    std::vector<int> background;
    for (int v : line)
        if (v > 40 && v < white - 40) background.push_back(v);
    if (background.empty()) return 0;
    std::nth_element(background.begin(), background.begin() + static_cast<std::ptrdiff_t>(background.size() / 2),
                     background.end());
    const double grey = background[background.size() / 2];
    double extent = 0;
    for (int v : line) extent += std::clamp((v - grey) / (white - grey), 0.0, 1.0);
    return extent;
}

// The shape's width over its height as shown (pixels times the sample aspect), at the middle.
double ShownShapeRatio(const std::string& file, int width, int height)
{
    const auto picture = GreyPicture(file, 45, width, height);
    if (picture.size() != static_cast<std::size_t>(width) * height) return 0;
    std::vector<int> row, column;
    for (int x = 0; x < width; ++x) row.push_back(picture[static_cast<std::size_t>(height / 2) * width + x]);
    for (int y = 0; y < height; ++y) column.push_back(picture[static_cast<std::size_t>(y) * width + width / 2]);
    const double tall = ShapeExtent(column);
    return tall > 0 ? ShapeExtent(row) / tall * SampleAspectOf(file) : 0;
}

// ffmpeg's cropdetect over the whole file: "W:H:X:Y" of what is not black.
std::string PictureArea(const std::string& file)
{
    const std::string log = RunTool({"ffmpeg", "-v", "info", "-i", file, "-vf", "cropdetect=limit=40:round=2:reset=0", "-f",
                                     "null", "-"})
                                .err;
    const std::vector<std::string> found = ValuesAfter(log, "crop=", "0123456789:");
    return found.empty() ? std::string() : found.back();
}

struct ShapeCase {
    const char* name;
    const char* disc;
    int title;   // 0-based
    int profile;
    int zoom;
    int crop[4]; // left, top, right, bottom; all 0: the whole picture
    double shown;      // the square's width over height as shown
    const char* area;  // what cropdetect finds, "W:H:X:Y"
    double sampleAspect;
};

void PrintTo(const ShapeCase& c, std::ostream* os) { *os << c.name; }

class PictureShape : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(PictureShape, TheSquareTakesTheShapeOfTheZoomModeBetweenExactBars)
{
    const ShapeCase& c = GetParam();
    OpenTestDisc disc(c.disc);
    const ProfileRecord& profile = Profile(c.profile);
    const RunTask task = MakeRunTask(disc, c.title, profile);
    RunSettings settings = Settings(profile, OutputFolder(std::string("shape-") + c.name));
    settings.picture = task.task.clip.picture;
    settings.picture.zoomMode = c.zoom;
    if (c.crop[2] > 0) {
        settings.picture.cropLeft = c.crop[0];
        settings.picture.cropTop = c.crop[1];
        settings.picture.cropRight = c.crop[2];
        settings.picture.cropBottom = c.crop[3];
    }
    const auto result = Convert(disc, {task}, settings);
    ASSERT_EQ(result.files.size(), 1u);
    const std::string& file = result.files[0];
    const Probe probe = ProbeFile(file);
    ASSERT_EQ(probe.width, profile.writer.Width);
    ASSERT_EQ(probe.height, profile.writer.Height);
    EXPECT_NEAR(SampleAspectOf(file), c.sampleAspect, 1e-6);
    EXPECT_NEAR(ShownShapeRatio(file, probe.width, probe.height), c.shown, c.shown * 0.01);
    EXPECT_EQ(PictureArea(file), c.area);
}

// Squares of the fixtures (as displayed): NTSC 4:3 180 × 160 coded, 16:9 216 × 256; PAL 4:3
// 180 × 192, 16:9 180 × 256, each centred on grey.
INSTANTIATE_TEST_SUITE_P(
    ZoomModes, PictureShape,
    ::testing::Values(
        // Keep Original: the picture as displayed; a 4:3 title fills 640 × 480, a 16:9 one is
        // 640 × 360 between bars of 60 rows.
        ShapeCase{"ntsc_4x3_keep", "shapes_ntsc", 0, kMp4Profile, 0, {}, 1.0, "640:480:0:0", 1.0},
        ShapeCase{"ntsc_16x9_keep", "shapes_ntsc", 1, kMp4Profile, 0, {}, 1.0, "640:360:0:60", 1.0},
        ShapeCase{"pal_4x3_keep", "shapes_pal", 0, kMp4Profile, 0, {}, 1.0, "640:480:0:0", 1.0},
        ShapeCase{"pal_16x9_keep", "shapes_pal", 1, kMp4Profile, 0, {}, 1.0, "640:360:0:60", 1.0},
        // Full Screen: stretched to the output; 16:9 shown at 4:3 makes the square 0.75 wide.
        ShapeCase{"ntsc_4x3_full", "shapes_ntsc", 0, kMp4Profile, 1, {}, 1.0, "640:480:0:0", 1.0},
        ShapeCase{"ntsc_16x9_full", "shapes_ntsc", 1, kMp4Profile, 1, {}, 0.75, "640:480:0:0", 1.0},
        // 16:9 and 4:3: the picture shown at that shape inside the output.
        ShapeCase{"ntsc_4x3_as_16x9", "shapes_ntsc", 0, kMp4Profile, 2, {}, 4.0 / 3, "640:360:0:60", 1.0},
        ShapeCase{"pal_16x9_as_16x9", "shapes_pal", 1, kMp4Profile, 2, {}, 1.0, "640:360:0:60", 1.0},
        ShapeCase{"ntsc_16x9_as_4x3", "shapes_ntsc", 1, kMp4Profile, 3, {}, 0.75, "640:480:0:0", 1.0},
        ShapeCase{"pal_4x3_as_4x3", "shapes_pal", 0, kMp4Profile, 3, {}, 1.0, "640:480:0:0", 1.0},
        // A crop keeps its share of the shape: the middle half of a 16:9 picture is shown
        // 426 wide (bars rounded to even, 108 each), and the square stays square.
        ShapeCase{"ntsc_16x9_cropped", "shapes_ntsc", 1, kMp4Profile, 0, {180, 0, 540, 480}, 1.0, "424:480:108:0", 1.0},
        // DVD sizes keep the DVD's geometry and carry the display aspect.
        ShapeCase{"ntsc_16x9_dvd", "shapes_ntsc", 1, kMpeg2Profile, 0, {}, 1.0, "720:480:0:0", 32.0 / 27},
        ShapeCase{"ntsc_4x3_dvd", "shapes_ntsc", 0, kMpeg2Profile, 0, {}, 1.0, "720:480:0:0", 8.0 / 9},
        ShapeCase{"pal_16x9_dvd", "shapes_pal", 1, kMpeg2Profile, 0, {}, 1.0, "720:480:0:0", 32.0 / 27},
        ShapeCase{"ntsc_4x3_dvd_as_16x9", "shapes_ntsc", 0, kMpeg2Profile, 2, {}, 4.0 / 3, "720:480:0:0", 32.0 / 27}),
    [](const ::testing::TestParamInfo<ShapeCase>& test) { return std::string(test.param.name); });

// ffmpeg's idet over a file: the share of pictures it calls top or bottom field first.
double InterlacedShare(const std::string& file)
{
    const std::string log = RunTool({"ffmpeg", "-v", "info", "-i", file, "-vf", "idet", "-f", "null", "-"}).err;
    const std::string line = log.substr(std::min(log.find("Multi frame"), log.size()));
    int tff = 0, bff = 0, progressive = 0, undetermined = 0;
    const auto at = line.find("TFF:");
    if (at == std::string::npos ||
        std::sscanf(line.c_str() + at, "TFF: %d BFF: %d Progressive: %d Undetermined: %d", &tff, &bff, &progressive,
                    &undetermined) != 4)
        return -1;
    const int all = tff + bff + progressive + undetermined;
    return all > 0 ? static_cast<double>(tff + bff) / all : -1;
}

TEST(Deinterlacing, AnInterlacedTitleLosesItsCombingUnlessTurnedOff)
{
    OpenTestDisc disc("shapes_ntsc"); // title 3: two fields 1/60 s apart in every frame
    const ProfileRecord& profile = Profile(kMp4Profile);
    const RunTask task = MakeRunTask(disc, 2, profile);
    double share[3] = {};
    for (std::int32_t mode : {kDeinterlaceAuto, kDeinterlaceOn, kDeinterlaceOff}) {
        RunSettings settings = Settings(profile, OutputFolder("interlaced-" + std::to_string(mode)));
        settings.deinterlace = mode;
        const auto result = Convert(disc, {task}, settings);
        ASSERT_EQ(result.files.size(), 1u);
        const Probe probe = ProbeFile(result.files[0]);
        EXPECT_NEAR(probe.frames, 180, 1) << "one picture out per frame";
        share[mode] = InterlacedShare(result.files[0]);
    }
    // A share of -1 is a measurement that failed, not a clean picture.
    for (std::int32_t mode : {kDeinterlaceAuto, kDeinterlaceOn}) {
        EXPECT_GE(share[mode], 0) << "mode " << mode;
        EXPECT_LE(share[mode], 0.05) << "mode " << mode;
    }
    EXPECT_GE(share[kDeinterlaceOff], 0.5);
}

TEST(Deinterlacing, AProgressiveTitleIsLeftAlone)
{
    OpenTestDisc disc("ntsc_4x3");
    const ProfileRecord& profile = Profile(kMp4Profile);
    std::string files[2];
    for (std::int32_t mode : {kDeinterlaceAuto, kDeinterlaceOff}) {
        RunSettings settings = Settings(profile, OutputFolder("progressive-" + std::to_string(mode)));
        settings.deinterlace = mode;
        const auto result = Convert(disc, {MakeRunTask(disc, 1, profile)}, settings);
        ASSERT_EQ(result.files.size(), 1u);
        files[mode == kDeinterlaceAuto ? 0 : 1] = result.files[0];
    }
    const std::vector<std::string> psnr =
        ValuesAfter(RunTool({"ffmpeg", "-v", "info", "-i", files[0], "-i", files[1], "-lavfi", "psnr", "-f", "null", "-"}).err,
                "average:", "abcdefghijklmnopqrstuvwxyz0123456789.");
    ASSERT_EQ(psnr.size(), 1u);
    EXPECT_TRUE(psnr[0] == "inf" || std::stod(psnr[0]) > 60) << psnr[0];
}

} // namespace

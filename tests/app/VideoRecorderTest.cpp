// The video recorder: frame rates from the step, the YUV conversion of known colours and odd
// sizes, real-time frames repeated and dropped, frames of another size fitted, and the file
// replacing its target only when finished.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/VideoRecorder.h"
#include "tests/support/ProgramRun.h"

namespace fs = std::filesystem;

namespace {

fs::path Folder(const std::string& name) {
    fs::path dir = fs::path(testing::TempDir()) / ("sg_video_" + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

// The first luma byte of each frame of a YUV4MPEG2 file, and its header line.
std::vector<int> FirstLumaOfFrames(const std::string& file, std::string* header) {
    std::vector<int> result;
    *header = file.substr(0, file.find('\n'));
    for (size_t at = file.find("FRAME\n"); at != std::string::npos; at = file.find("FRAME\n", at + 6))
        if (at + 6 < file.size()) result.push_back(static_cast<unsigned char>(file[at + 6]));
    return result;
}

std::vector<DWORD> Solid(DWORD colour, UINT width, UINT height) { return std::vector<DWORD>(width * height, colour); }

TEST(VideoRecorder, FrameRateFromTheStep) {
    const struct {
        double step;
        unsigned num, den;
    } cases[] = {{0.0, 60, 1},  {0.0333, 30, 1}, {0.04, 25, 1}, {1.0 / 60, 60, 1}, {0.0167, 60, 1},
                 {0.3, 10, 3},  {7.0, 1, 7},     {60.0, 1, 60}, {0.02, 50, 1},     {0.000001, 1000000, 1}};
    for (const auto& c : cases) {
        const FrameRate r = VideoFrameRate(c.step);
        EXPECT_EQ(r.num, c.num) << c.step;
        EXPECT_EQ(r.den, c.den) << c.step;
    }
}

TEST(VideoRecorder, FormatsByExtension) {
    EXPECT_EQ(VideoFormatOf("-"), VideoFormat::Y4mToStandardOutput);
    EXPECT_EQ(VideoFormatOf("a.Y4M"), VideoFormat::Y4m);
    EXPECT_EQ(VideoFormatOf("d.x/a.mp4"), VideoFormat::Mp4);
    EXPECT_EQ(VideoFormatOf("a.mkv"), VideoFormat::Mkv);
    for (const char* bad : {"", "a", "a.mp4.", ".mkv", "d.mp4/a", "dir/.y4m", "a.webm", "--"})
        EXPECT_EQ(VideoFormatOf(bad), VideoFormat::Unknown) << bad;
}

// Studio-range BT.601: white 235, black 16, no colour 128; red's known values; an odd picture's
// last chroma column and row come from the pixels that are there.
TEST(VideoRecorder, YuvOfKnownColoursAndOddSizes) {
    std::vector<unsigned char> planes;
    const DWORD white = 0xFFFFFFFF, black = 0xFF000000, red = 0xFFFF0000;
    std::vector<DWORD> p = {white, black};
    ToYuv420(p.data(), 2, 1, &planes);
    ASSERT_EQ(planes.size(), 4u);
    EXPECT_EQ(planes[0], 235);
    EXPECT_EQ(planes[1], 16);
    EXPECT_EQ(planes[2], 128);  // the average grey has no colour
    EXPECT_EQ(planes[3], 128);
    // 3 x 3: chroma 2 x 2; the right column and bottom row are red alone.
    std::vector<DWORD> odd = {black, black, red, black, black, red, red, red, red};
    ToYuv420(odd.data(), 3, 3, &planes);
    ASSERT_EQ(planes.size(), 9u + 4u + 4u);
    EXPECT_EQ(planes[2], 82);  // red's luma
    EXPECT_EQ(planes[9 + 0], 128);
    EXPECT_EQ(planes[9 + 1], 90);   // red's Cb
    EXPECT_EQ(planes[13 + 1], 240);  // red's Cr
    EXPECT_EQ(planes[13 + 3], 240);
    EXPECT_EQ(planes[13 + 0], 128);
}

// In real time at 60 frames a second: a picture fills the video's frames until the next one
// arrives; a picture within a frame already covered replaces the one waiting (it is dropped).
TEST(VideoRecorder, RealTimeRepeatsAndDropsFramesToKeepTime) {
    const fs::path dir = Folder("realtime");
    VideoRecorder recorder;
    std::string error;
    ASSERT_TRUE(recorder.Open((dir / "clip.y4m").string(), 0.0, &error)) << error;
    const DWORD grey[] = {0xFF101010, 0xFF505050, 0xFF909090, 0xFFD0D0D0, 0xFFFFFFFF};
    const double times[] = {10.0, 10.005, 10.051, 10.052, 10.060};
    for (int i = 0; i < 5; ++i) {
        std::vector<DWORD> picture = Solid(grey[i], 4, 2);
        ASSERT_TRUE(recorder.AddFrame(picture.data(), 4, 2, times[i], &error)) << error;
    }
    ASSERT_TRUE(recorder.Finish(&error)) << error;
    std::string header;
    const std::vector<int> luma = FirstLumaOfFrames(ReadWhole(dir / "clip.y4m"), &header);
    EXPECT_EQ(header, "YUV4MPEG2 W4 H2 F60:1 Ip A1:1 C420jpeg");
    // Frames 0..2 (to 0.05 s) show the second picture, frame 3 the fourth; the fifth falls on
    // frame 3 as well and, the last one held, ends the video.
    std::vector<DWORD> expectedGrey = {grey[1], grey[1], grey[1], grey[4]};
    ASSERT_EQ(luma.size(), expectedGrey.size());
    for (size_t i = 0; i < luma.size(); ++i) {
        std::vector<unsigned char> planes;
        ToYuv420(&expectedGrey[i], 1, 1, &planes);
        EXPECT_EQ(luma[i], planes[0]) << "frame " << i;
    }
    EXPECT_EQ(recorder.FramesWritten(), 4u);
}

// With a fixed step every picture is one frame, whatever the times say; a picture of another
// size is fitted into the first one's with its aspect kept, on black.
TEST(VideoRecorder, FixedStepFramesAndFittedSizes) {
    const fs::path dir = Folder("fixed");
    VideoRecorder recorder;
    std::string error;
    ASSERT_TRUE(recorder.Open((dir / "clip.y4m").string(), 0.04, &error)) << error;
    std::vector<DWORD> wide = Solid(0xFF000000, 4, 2), square = Solid(0xFFFFFFFF, 2, 2);
    ASSERT_TRUE(recorder.AddFrame(wide.data(), 4, 2, 5.0, &error));
    ASSERT_TRUE(recorder.AddFrame(wide.data(), 4, 2, 5.0, &error));
    ASSERT_TRUE(recorder.AddFrame(square.data(), 2, 2, 1.0, &error));
    ASSERT_TRUE(recorder.Finish(&error)) << error;
    const std::string file = ReadWhole(dir / "clip.y4m");
    std::string header;
    ASSERT_EQ(FirstLumaOfFrames(file, &header).size(), 3u);
    EXPECT_EQ(header, "YUV4MPEG2 W4 H2 F25:1 Ip A1:1 C420jpeg");
    const size_t last = file.rfind("FRAME\n") + 6;
    EXPECT_EQ(file.substr(last, 8), std::string("\x10\xEB\xEB\x10\x10\xEB\xEB\x10", 8));
}

// The target keeps what it held until the video is complete; an unfinished or empty recording
// leaves neither the target changed nor a file of its own behind.
TEST(VideoRecorder, TargetIsReplacedOnlyByAFinishedVideo) {
    const fs::path dir = Folder("replace");
    const fs::path target = dir / "clip.y4m";
    std::ofstream(target) << "old";
    std::vector<DWORD> picture = Solid(0xFF336699, 6, 4);
    std::string error;
    {
        VideoRecorder unfinished;
        ASSERT_TRUE(unfinished.Open(target.string(), 0.02, &error)) << error;
        ASSERT_TRUE(unfinished.AddFrame(picture.data(), 6, 4, 0.0, &error));
        EXPECT_EQ(ReadWhole(target), "old");
    }
    EXPECT_EQ(ReadWhole(target), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
    VideoRecorder empty;
    ASSERT_TRUE(empty.Open(target.string(), 0.02, &error));
    EXPECT_FALSE(empty.Finish(&error));
    EXPECT_EQ(error, "no frame was presented");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
    VideoRecorder done;
    ASSERT_TRUE(done.Open(target.string(), 0.02, &error));
    ASSERT_TRUE(done.AddFrame(picture.data(), 6, 4, 0.0, &error));
    ASSERT_TRUE(done.Finish(&error)) << error;
    EXPECT_EQ(ReadWhole(target).rfind("YUV4MPEG2 W6 H4 F50:1", 0), 0u);
    EXPECT_FALSE(done.AddFrame(picture.data(), 6, 4, 0.0, &error));
    // A folder or an unknown kind is refused at the start.
    VideoRecorder refused;
    EXPECT_FALSE(refused.Open(dir.string() + "/", 0.0, &error));
    fs::create_directories(dir / "sub.mp4");
    EXPECT_FALSE(refused.Open((dir / "sub.mp4").string(), 0.0, &error));
    EXPECT_EQ(error, "it is a folder");
}

}  // namespace

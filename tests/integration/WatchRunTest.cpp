// Watching the boil, as a user runs the built program: pause, single steps and speed from
// scripted keys; --record read back through FFmpeg's own libraries and compared with the
// captures of the same run; YUV4MPEG2 byte for byte; signals ending a recording; a full disk;
// and, in a real window under a window manager, keys released when the window loses focus.
#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/PngPicture.h"
#include "tests/support/ProgramRun.h"

namespace fs = std::filesystem;

namespace {

// [SECTION] Running the program

fs::path Scratch(const std::string& name) { return ScratchFolder("sg_watch_" + name); }

RunResult RunDemo(const std::string& args, const fs::path& cwd) {
    const std::string command = "cd '" + cwd.string() + "' && '" SG_PROGRAM "' " + args + " >stdout.txt 2>stderr.txt";
    RunResult result;
    const int raw = std::system(command.c_str());
    result.status = raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = ReadWhole(cwd / "stdout.txt");
    result.err = ReadWhole(cwd / "stderr.txt");
    return result;
}

// The simulation's part of each --stats line ("Temperatures: ... | bubbles N"), by frame from 1.
std::vector<std::string> SimulationStats(const std::string& out) {
    std::vector<std::string> result{""};
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        const size_t from = line.find("Temperatures:"), to = line.find(" | wall");
        result.push_back(from == std::string::npos || to == std::string::npos ? line : line.substr(from, to - from));
    }
    return result;
}

std::string Heating(int from, int to) {
    std::string keys;
    for (int f = from; f < to; ++f) keys += (keys.empty() ? "" : ",") + std::to_string(f) + ":press:SPACE";
    return keys;
}

Picture Captured(const fs::path& dir, unsigned frame) { return CapturedFrame(dir, frame); }

// Pixels below the heads-up lines (the help hint included) that changed.
int ChangedBelowText(const Picture& a, const Picture& b) { return ChangedPixelsFrom(a, b, 60); }

// Files of the folder whose names start with "sg" and end in ".tmp": a recording's unfinished file.
int LeftoverFiles(const fs::path& dir) {
    int n = 0;
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        if (name.rfind("sg", 0) == 0 && e.path().extension() == ".tmp") ++n;
    }
    return n;
}

// [SECTION] Reading a video back through FFmpeg

struct Video {
    bool opened = false;
    int frames = 0;
    double framesPerSecond = 0.0;
    Picture first, last;  // RGB, at the size the codec stores
};

Picture ToPicture(const AVFrame* frame) {
    Picture p;
    p.width = static_cast<unsigned>(frame->width);
    p.height = static_cast<unsigned>(frame->height);
    p.data.resize(static_cast<size_t>(p.width) * p.height * 3);
    SwsContext* sws = sws_getContext(frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                     frame->width, frame->height, AV_PIX_FMT_RGB24, SWS_BILINEAR, nullptr, nullptr,
                                     nullptr);
    uint8_t* to[1] = {p.data.data()};
    const int stride[1] = {static_cast<int>(p.width * 3)};
    sws_scale(sws, frame->data, frame->linesize, 0, frame->height, to, stride);
    sws_freeContext(sws);
    return p;
}

Video ReadVideo(const fs::path& path) {
    Video video;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return video;
    avformat_find_stream_info(format, nullptr);
    const AVCodec* codec = nullptr;
    const int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (index >= 0 && codec) {
        AVStream* stream = format->streams[index];
        video.framesPerSecond = av_q2d(stream->avg_frame_rate);
        AVCodecContext* decoder = avcodec_alloc_context3(codec);
        avcodec_parameters_to_context(decoder, stream->codecpar);
        if (avcodec_open2(decoder, codec, nullptr) >= 0) {
            video.opened = true;
            AVPacket* packet = av_packet_alloc();
            AVFrame* frame = av_frame_alloc();
            auto drain = [&] {
                while (avcodec_receive_frame(decoder, frame) == 0) {
                    if (video.frames++ == 0) video.first = ToPicture(frame);
                    video.last = ToPicture(frame);
                }
            };
            while (av_read_frame(format, packet) >= 0) {
                if (packet->stream_index == index) avcodec_send_packet(decoder, packet);
                av_packet_unref(packet);
                drain();
            }
            avcodec_send_packet(decoder, nullptr);
            drain();
            av_frame_free(&frame);
            av_packet_free(&packet);
        }
        avcodec_free_context(&decoder);
    }
    avformat_close_input(&format);
    return video;
}

// Peak signal-to-noise ratio of b against a over a's area, in dB.
double Psnr(const Picture& a, const Picture& b) {
    if (a.data.empty() || b.width < a.width || b.height < a.height) return 0.0;
    double sum = 0.0;
    for (unsigned y = 0; y < a.height; ++y)
        for (unsigned x = 0; x < a.width; ++x)
            for (int c = 0; c < 3; ++c) {
                const double d = a.At(x, y)[c] - b.At(x, y)[c];
                sum += d * d;
            }
    const double mse = sum / (static_cast<double>(a.width) * a.height * 3);
    return mse <= 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// [SECTION] Pause, step and speed

// The same heated run with and without a pause: while paused nothing of the water changes and
// the camera still turns; each "." is exactly one step; after P the run goes on where it stood.
TEST(WatchRun, PauseFreezesTheWaterStepsOneFrameAndTheCameraStillMoves) {
    const fs::path dir = Scratch("pause");
    const std::string common = "--headless --frames 110 --fixed-step 0.0333 --size 160x120 --stats --keys " + Heating(0, 60);
    RunResult plain = RunDemo(common, dir);
    ASSERT_EQ(plain.status, 0) << plain.err;
    // Paused after frame 60; "." after 90 and 95; a held Left, a drag and heat keys while paused; resumed
    // after 100. Frame 61 is the first paused one.
    RunResult paused = RunDemo(common + ",60:press:P,70:down:LEFT,85:up:LEFT,72:drag:-80:30,75:press:SPACE,90:press:.,95:press:PERIOD,"
                                    "100:press:P --capture shots --every 1",
                           dir);
    ASSERT_EQ(paused.status, 0) << paused.err;
    const std::vector<std::string> a = SimulationStats(plain.out), b = SimulationStats(paused.out);
    ASSERT_EQ(a.size(), 111u);
    ASSERT_EQ(b.size(), 111u);
    for (int f = 1; f <= 60; ++f) EXPECT_EQ(b[f], a[f]) << "frame " << f;
    EXPECT_NE(a[60], a[61]);  // the water is still changing when the pause comes
    for (int f = 61; f <= 90; ++f) EXPECT_EQ(b[f], a[60]) << "frame " << f;
    for (int f = 91; f <= 95; ++f) EXPECT_EQ(b[f], a[61]) << "frame " << f;
    for (int f = 96; f <= 100; ++f) EXPECT_EQ(b[f], a[62]) << "frame " << f;
    for (int f = 101; f <= 110; ++f) EXPECT_EQ(b[f], a[f - 38]) << "frame " << f;
    // The orbit went on while the water stood still.
    EXPECT_GT(ChangedBelowText(Captured(dir / "shots", 70), Captured(dir / "shots", 88)), 500);
}

// "[" and "]" change the simulation's pace (never past 1/8 or 4) and not the frames' count.
TEST(WatchRun, SpeedKeysScaleTheSimulationStep) {
    const fs::path dir = Scratch("speed");
    const std::string common = "--headless --frames 40 --fixed-step 0.0333 --size 96x72 --stats --keys " + Heating(0, 30);
    RunResult normal = RunDemo(common, dir), fast = RunDemo(common + ",0:press:]", dir),
              slow = RunDemo(common + ",0:press:[,0:press:[,0:press:[,0:press:[,0:press:[", dir),
              eighth = RunDemo(common + ",0:press:[,0:press:[,0:press:[", dir);
    ASSERT_EQ(normal.status, 0) << normal.err;
    ASSERT_EQ(fast.status, 0) << fast.err;
    ASSERT_EQ(slow.status, 0) << slow.err;
    const std::vector<std::string> n = SimulationStats(normal.out), f = SimulationStats(fast.out),
                                   s = SimulationStats(slow.out), e = SimulationStats(eighth.out);
    ASSERT_EQ(n.size(), 41u);
    EXPECT_NE(n[40], f[40]);
    EXPECT_NE(n[40], s[40]);
    // Five halvings stop at 1/8, where three already are.
    EXPECT_EQ(s, e);
}

// Rows of the top line's yellow text (the frame statistics) in a picture.
int YellowRows(const Picture& p) {
    int first = -1, last = -1;
    for (unsigned y = 0; y < p.height / 4; ++y)
        for (unsigned x = 0; x < p.width / 2; ++x) {
            const unsigned char* c = p.At(x, y);
            if (c[0] > 200 && c[1] > 200 && c[2] < 80) {
                if (first < 0) first = static_cast<int>(y);
                last = static_cast<int>(y);
                break;
            }
        }
    return first < 0 ? 0 : last - first + 1;
}

// The heads-up text is the design's at 640x480 and twice as tall at twice the size.
TEST(WatchRun, HeadsUpTextGrowsWithTheWindow) {
    const fs::path dir = Scratch("hud");
    ASSERT_EQ(RunDemo("--headless --frames 2 --size 640x480 --screenshot small.png", dir).status, 0);
    ASSERT_EQ(RunDemo("--headless --frames 2 --size 1280x960 --screenshot large.png", dir).status, 0);
    const int small = YellowRows(ReadPicture(dir / "small.png")), large = YellowRows(ReadPicture(dir / "large.png"));
    EXPECT_GE(small, 8);
    EXPECT_LE(small, 16);
    EXPECT_GE(large, small * 17 / 10);
    EXPECT_LE(large, small * 23 / 10);
}

// [SECTION] Recording

// 90 frames at a step of 0.0333: the video holds 90 frames at 30 a second, and its first and
// last frames are the captures of the same run within the codec's loss. An odd size is padded.
TEST(WatchRun, RecordedVideoHoldsEveryFrameAtTheStepsRate) {
    const fs::path dir = Scratch("record");
    RunResult run = RunDemo("--headless --frames 90 --fixed-step 0.0333 --size 161x121 --capture shots --record boil.mp4 "
                        "--keys " + Heating(0, 90) + ",30:press:F2",
                        dir);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(LeftoverFiles(dir), 0);
    const Video video = ReadVideo(dir / "boil.mp4");
    ASSERT_TRUE(video.opened);
    EXPECT_EQ(video.frames, 90);
    EXPECT_NEAR(video.framesPerSecond, 30.0, 1e-9);
    EXPECT_EQ(video.first.width, 162u);
    EXPECT_EQ(video.first.height, 122u);
    const Picture first = Captured(dir / "shots", 1), last = Captured(dir / "shots", 90);
    EXPECT_GT(Psnr(first, video.first), 27.0);
    EXPECT_GT(Psnr(last, video.last), 27.0);
    // The last frame is not the first one over again.
    EXPECT_LT(Psnr(first, video.last), Psnr(last, video.last) - 3.0);

    // .mkv the same way, in real time: 60 frames a second.
    run = RunDemo("--headless --frames 20 --size 64x48 --record boil.MKV", dir);
    ASSERT_EQ(run.status, 0) << run.err;
    const Video realTime = ReadVideo(dir / "boil.MKV");
    EXPECT_TRUE(realTime.opened);
    EXPECT_GE(realTime.frames, 1);
    EXPECT_NEAR(realTime.framesPerSecond, 60.0, 1e-9);
}

// The BT.601 studio-range conversion of a pixel, and the 4:2:0 planes of a picture, as the
// YUV4MPEG2 format's readers expect them.
std::vector<unsigned char> Yuv420(const Picture& p) {
    auto y = [](int r, int g, int b) { return ((66 * r + 129 * g + 25 * b + 128) >> 8) + 16; };
    auto u = [](int r, int g, int b) { return ((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128; };
    auto v = [](int r, int g, int b) { return ((112 * r - 94 * g - 18 * b + 128) >> 8) + 128; };
    std::vector<unsigned char> out;
    for (unsigned j = 0; j < p.height; ++j)
        for (unsigned i = 0; i < p.width; ++i) out.push_back(static_cast<unsigned char>(y(p.At(i, j)[0], p.At(i, j)[1], p.At(i, j)[2])));
    std::vector<unsigned char> cb, cr;
    for (unsigned j = 0; j < p.height; j += 2)
        for (unsigned i = 0; i < p.width; i += 2) {
            int sum[3] = {0, 0, 0}, n = 0;
            for (unsigned dj = 0; dj < 2 && j + dj < p.height; ++dj)
                for (unsigned di = 0; di < 2 && i + di < p.width; ++di, ++n)
                    for (int c = 0; c < 3; ++c) sum[c] += p.At(i + di, j + dj)[c];
            for (int& s : sum) s = (s + n / 2) / n;
            cb.push_back(static_cast<unsigned char>(u(sum[0], sum[1], sum[2])));
            cr.push_back(static_cast<unsigned char>(v(sum[0], sum[1], sum[2])));
        }
    out.insert(out.end(), cb.begin(), cb.end());
    out.insert(out.end(), cr.begin(), cr.end());
    return out;
}

TEST(WatchRun, Yuv4mpegFileAndStandardOutputHoldTheCapturedFramesExactly) {
    const fs::path dir = Scratch("y4m");
    const std::string args = "--headless --frames 6 --fixed-step 0.04 --size 75x41 --capture shots --keys " + Heating(0, 6);
    RunResult run = RunDemo(args + " --record clip.y4m", dir);
    ASSERT_EQ(run.status, 0) << run.err;
    std::string expected = "YUV4MPEG2 W75 H41 F25:1 Ip A1:1 C420jpeg\n";
    for (unsigned f = 1; f <= 6; ++f) {
        const std::vector<unsigned char> planes = Yuv420(Captured(dir / "shots", f));
        expected += "FRAME\n" + std::string(planes.begin(), planes.end());
    }
    const std::string file = ReadWhole(dir / "clip.y4m");
    EXPECT_EQ(file.size(), expected.size());
    EXPECT_TRUE(file == expected) << "the video differs from the captured frames";
    // "-": the same bytes on standard output, for a pipe.
    run = RunDemo(args + " --record -", dir);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.out == expected);
    // A reader that stops early: the recording stops with one message and the run fails.
    const std::string status = ShellOutput("cd '" + dir.string() + "' && bash -c \"'" SG_PROGRAM "' " + args +
                                           " --frames 40 --record - 2>err.txt | head -c 100 >/dev/null; "
                                           "echo \\${PIPESTATUS[0]}\"");
    EXPECT_EQ(status, "1");
    const std::string err = ReadWhole(dir / "err.txt");
    EXPECT_NE(err.find("cannot write the video to standard output"), std::string::npos) << err;
    EXPECT_EQ(err.find("cannot write", err.find("cannot write") + 1), std::string::npos) << err;
    // --stats would share standard output with the video: a usage error before anything runs.
    run = RunDemo(args + " --record - --stats", dir);
    EXPECT_EQ(run.status, 2);
}

TEST(WatchRun, BadRecordTargetsFailBeforeAnythingRuns) {
    const fs::path dir = Scratch("targets");
    fs::create_directories(dir / "folder.mp4");
    for (const char* target : {"clip.avi", "clip", "folder.mp4", "clip.mp4/"}) {
        RunResult run = RunDemo(std::string("--headless --frames 2 --record ") + target, dir);
        EXPECT_EQ(run.status, 2) << target;
        EXPECT_EQ(run.err.find("reference rasterizer"), std::string::npos) << target << ": it ran";
    }
    RunResult run = RunDemo("--headless --frames 2 --record missing/clip.mp4", dir);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot record missing/clip.mp4"), std::string::npos) << run.err;
}

// A small disk fills up: one message, status 1, and neither the video nor its unfinished file.
TEST(WatchRun, FullDiskStopsTheRecordingAndLeavesNoFile) {
    const fs::path dir = Scratch("full");
    const fs::path disk = dir / "disk";
    fs::create_directories(disk);
    if (mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=16k") != 0)
        GTEST_SKIP() << "no small tmpfs can be mounted here (needs root): " << std::strerror(errno);
    for (const char* name : {"disk/clip.y4m", "disk/clip.mp4"}) {
        RunResult run = RunDemo("--headless --frames 200 --fixed-step 0.0333 --size 320x240 --record " + std::string(name) +
                                " --keys " + Heating(0, 200) + ",5:press:F2,10:press:3",
                            dir);
        EXPECT_EQ(run.status, 1) << name << ": " << run.err;
        size_t first = run.err.find("cannot write");
        EXPECT_NE(first, std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("cannot write", first + 1), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(dir / name)) << name;
        EXPECT_EQ(LeftoverFiles(disk), 0);
    }
    umount(disk.c_str());
}

// A headless run of --frames tells its progress on a terminal (script(1) gives it one), and
// writes nothing of it into a file.
TEST(WatchRun, ProgressShowsOnATerminalOnly) {
    const fs::path dir = Scratch("progress");
    if (ShellOutput("command -v script").empty()) GTEST_SKIP() << "script (package bsdutils) gives the run a terminal";
    const std::string terminal =
        ShellOutput("cd '" + dir.string() + "' && script -qec \"'" SG_PROGRAM "' --headless --frames 20 --size 64x48\" /dev/null");
    EXPECT_NE(terminal.find("\rframe 20 of 20, "), std::string::npos) << terminal;
    EXPECT_NE(terminal.find(" left "), std::string::npos) << terminal;
    RunResult file = RunDemo("--headless --frames 20 --size 64x48", dir);
    ASSERT_EQ(file.status, 0);
    EXPECT_EQ(file.err.find("frames/s"), std::string::npos) << file.err;
}

// [SECTION] Signals

// The program running in the background with its output in files.
pid_t Spawn(const fs::path& cwd, const std::vector<std::string>& args) { return StartProgram(SG_PROGRAM, cwd, args); }

// Waits for the line "frame N |" in the program's standard output (at most a minute).
bool WaitForFrame(const fs::path& cwd, int frame) {
    const std::string mark = "frame " + std::to_string(frame) + " |";
    for (int i = 0; i < 600; ++i) {
        if (ReadWhole(cwd / "stdout.txt").find(mark) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

// The exit status, 128 + the signal for a program a signal ended, -1 after a minute.
int WaitStatus(pid_t pid) {
    for (int i = 0; i < 600; ++i) {
        int raw = 0;
        if (waitpid(pid, &raw, WNOHANG) == pid) return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw) + 1000;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

// SIGTERM and Ctrl+C in the middle of a recording: the run closes as a closed window does, the
// video is finished and plays, the screenshot is written, and the statuses are 143 and 130.
TEST(WatchRun, SignalsEndARecordingThroughTheNormalClose) {
    const struct {
        int signal, status;
        const char* video;
    } cases[] = {{SIGTERM, 143, "term.mp4"}, {SIGINT, 130, "int.mkv"}};
    for (const auto& c : cases) {
        const fs::path dir = Scratch(c.video);
        pid_t pid = Spawn(dir, {"--headless", "--size", "96x72", "--stats", "--record", c.video, "--screenshot", "last.png"});
        ASSERT_TRUE(WaitForFrame(dir, 10)) << ReadWhole(dir / "stderr.txt");
        kill(pid, c.signal);
        EXPECT_EQ(WaitStatus(pid), c.status) << ReadWhole(dir / "stderr.txt");
        const Video video = ReadVideo(dir / c.video);
        EXPECT_TRUE(video.opened) << c.video;
        EXPECT_GE(video.frames, 1) << c.video;
        EXPECT_TRUE(fs::exists(dir / "last.png"));
        EXPECT_EQ(LeftoverFiles(dir), 0);
    }
}

// [SECTION] Focus
// Under a private Xvfb (test_integration_focus sets SG_XVFB) with a window manager, driven with
// xdotool as a person would: a key held in the program's window is let go in another window.

std::string Shell(const std::string& command) { return ShellOutput(command); }

// The frame number of the last --stats line written so far.
int LastFrame(const fs::path& cwd) {
    const std::string out = ReadWhole(cwd / "stdout.txt");
    const size_t at = out.rfind("frame ", out.size() > 1 ? out.size() - 2 : 0);
    return at == std::string::npos ? 0 : std::atoi(out.c_str() + at + 6);
}

// The newest capture (every 5th frame) after at least `after`, waiting for it up to a minute.
Picture CaptureAfter(const fs::path& cwd, int after) {
    for (int i = 0; i < 600; ++i) {
        const int frame = LastFrame(cwd) / 5 * 5 - 5;  // one capture back: it is surely written
        if (frame > after) return Captured(cwd / "shots", static_cast<unsigned>(frame));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ADD_FAILURE() << "no frame after " << after;
    return Picture();
}

class FocusLoss : public testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("SG_XVFB")) GTEST_SKIP() << "runs under Xvfb, as the test test_integration_focus";
        for (const char* tool : {"xdotool", "openbox", "xlogo"})
            if (Shell(std::string("command -v ") + tool).empty())
                GTEST_SKIP() << tool << " is needed (packages xdotool, openbox, x11-apps)";
        manager = std::atoi(Shell("openbox >/dev/null 2>&1 & echo $!").c_str());
        other = std::atoi(Shell("xlogo -geometry 120x120+600+400 >/dev/null 2>&1 & echo $!").c_str());
    }
    void TearDown() override {
        for (pid_t pid : {other, manager})
            if (pid > 0) kill(pid, SIGTERM);
    }
    pid_t manager = 0, other = 0;
};

TEST_F(FocusLoss, KeysAndButtonsHeldWhenTheWindowLosesFocusAreReleased) {
    const fs::path dir = Scratch("focus");
    fs::create_directories(dir / "shots");
    pid_t pid = Spawn(dir, {"--device", "ref", "--fixed-step", "0.0333", "--size", "320x240", "--stats", "--capture",
                            "shots", "--every", "5"});
    const std::string window = Shell("timeout 60 xdotool search --sync --onlyvisible --name '^Velkor - Simmerglass$' | head -1");
    const std::string logo = Shell("timeout 60 xdotool search --sync --onlyvisible --class xlogo | head -1");
    ASSERT_FALSE(window.empty()) << ReadWhole(dir / "stderr.txt");
    ASSERT_FALSE(logo.empty());
    ASSERT_TRUE(WaitForFrame(dir, 10));
    Shell("xdotool windowactivate --sync " + window + " mousemove --window " + window + " 160 120 mousedown 1 keydown Left");
    const Picture held = CaptureAfter(dir, LastFrame(dir) + 5);
    const Picture turning = CaptureAfter(dir, LastFrame(dir) + 20);
    EXPECT_GT(ChangedBelowText(held, turning), 200) << "the held key did not turn the camera";
    // The window manager gives the keyboard to the other window, which then sees the key-up.
    Shell("xdotool windowactivate --sync " + logo + " keyup Left mouseup 1");
    EXPECT_EQ(Shell("xdotool getactivewindow"), logo);
    // The orbit glides to a stop once the key is up: a few seconds later the picture holds still.
    bool still = false;
    for (int attempt = 0; attempt < 10 && !still; ++attempt) {
        const Picture a = CaptureAfter(dir, LastFrame(dir) + 30);
        const Picture b = CaptureAfter(dir, LastFrame(dir) + 10);
        still = ChangedBelowText(a, b) == 0;
    }
    EXPECT_TRUE(still) << "the camera kept turning: the key stayed down";
    // The pointer crossing the window afterwards, no button held, drags nothing.
    const Picture before = CaptureAfter(dir, LastFrame(dir));
    Shell("xdotool mousemove --window " + window + " 40 40 mousemove --window " + window + " 300 200");
    const Picture after = CaptureAfter(dir, LastFrame(dir) + 30);
    EXPECT_EQ(ChangedBelowText(before, after), 0) << "the button stayed down: the mouse still drags";
    kill(pid, SIGTERM);
    EXPECT_EQ(WaitStatus(pid), 143) << ReadWhole(dir / "stderr.txt");
}

}  // namespace

// The demo as a user runs it: the built program, headless on the software device, with a
// fixed clock step and scripted keys and mouse input. What it prints with --stats and the
// pictures it writes are read back: the heat and the bubbles, the toggles, the stirring keys,
// the mouse's orbit and zoom, taps within one frame, the heads-up text, and a run without any
// data files.
#include <fcntl.h>
#include <png.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/PngPicture.h"
#include "tests/support/ProgramRun.h"

namespace fs = std::filesystem;

namespace {

// [SECTION] Running the program

fs::path ScratchDir(const std::string& name) { return ScratchFolder("sg_demo_" + name); }

// Runs `program args` in `cwd`, capturing standard output and error into files there;
// `environment` (NAME=VALUE ...) is set for the program alone (or a command that runs it, as prlimit).
RunResult RunProgram(const std::string& program, const std::string& args, const fs::path& cwd,
                     const std::string& environment = "") {
    const fs::path out = cwd / "stdout.txt", err = cwd / "stderr.txt";
    const std::string command = "cd '" + cwd.string() + "' && " + environment + " '" + program + "' --headless " + args +
                                " >'" + out.string() + "' 2>'" + err.string() + "'";
    RunResult result;
    const int raw = std::system(command.c_str());
    result.status = (raw != -1 && WIFEXITED(raw)) ? WEXITSTATUS(raw) : -1;
    result.out = ReadWhole(out);
    result.err = ReadWhole(err);
    return result;
}

RunResult RunDemo(const std::string& args, const fs::path& cwd) { return RunProgram(SG_PROGRAM, args, cwd); }

// One --stats line:
// "frame N | <frame statistics> | Temperatures: avg A top T bottom B | bubbles K | wall W ms".
struct StatsLine {
    int frame = 0, average = 0, top = 0, bottom = 0, bubbles = 0;
    float wallMs = -1.0f;  // the frame's wall-clock milliseconds
};

// Reads one whole field with sscanf: true only when the format consumed every character.
template <typename... Values>
bool ScanWhole(const std::string& field, const char* format, Values*... values) {
    int consumed = -1;
    std::string withEnd = std::string(format) + "%n";
    return std::sscanf(field.c_str(), withEnd.c_str(), values..., &consumed) == sizeof...(Values) &&
           consumed == static_cast<int>(field.size());
}

std::vector<StatsLine> ParseStats(const std::string& out) {
    std::vector<StatsLine> result;
    std::istringstream in(out);
    std::string text;
    while (std::getline(in, text)) {
        std::vector<std::string> fields;
        for (size_t start = 0;;) {
            size_t bar = text.find(" | ", start);
            fields.push_back(text.substr(start, bar == std::string::npos ? bar : bar - start));
            if (bar == std::string::npos) break;
            start = bar + 3;
        }
        StatsLine s;
        float fps = 0.0f;
        char rest[64] = {};
        bool ok = fields.size() == 5 && ScanWhole(fields[0], "frame %d", &s.frame) &&
                  std::sscanf(fields[1].c_str(), "%f fps (%63[^)])", &fps, rest) == 2 &&
                  ScanWhole(fields[2], "Temperatures: avg %d top %d bottom %d", &s.average, &s.top,
                            &s.bottom) &&
                  ScanWhole(fields[3], "bubbles %d", &s.bubbles) && ScanWhole(fields[4], "wall %f ms", &s.wallMs);
        if (!ok) {
            ADD_FAILURE() << "unexpected statistics line: " << text;
            continue;
        }
        result.push_back(s);
    }
    return result;
}

// [SECTION] Pictures

Picture Captured(const fs::path& dir, unsigned frame) { return CapturedFrame(dir, frame); }

// Pixels below the frame-statistics line (its frame rate is refreshed once a second) whose
// colour differs by more than `by` in some channel.
int ChangedPixels(const Picture& a, const Picture& b, int by = 40) { return ChangedPixelsFrom(a, b, 18, by); }

// Pixels in the rectangle [x0, x1) x [y0, y1) that satisfy `test`.
template <typename Test>
int CountIn(const Picture& p, unsigned x0, unsigned y0, unsigned x1, unsigned y1, Test test) {
    int count = 0;
    for (unsigned y = y0; y < y1 && y < p.height; ++y)
        for (unsigned x = x0; x < x1 && x < p.width; ++x) {
            const unsigned char* c = p.At(x, y);
            if (test(c[0], c[1], c[2])) ++count;
        }
    return count;
}

bool Yellow(int r, int g, int b) { return r > 200 && g > 200 && b < 80; }
// The translucent white text over the black background: grey, not full white.
bool TranslucentWhite(int r, int g, int b) {
    return r > 90 && r < 200 && std::abs(r - g) < 12 && std::abs(r - b) < 12;
}
bool Reddish(int r, int g, int b) { return r > 90 && g < r / 2 && b < r / 2; }
bool Black(int r, int g, int b) { return r < 8 && g < 8 && b < 8; }

const char* const kMediaFiles[] = {"tex/Environment.png", "tex/WaterPoint.png", "tex/Puodas.jpg",
                                   "tex/Steam.png",       "efx/Water.sha",      "efx/Particle.sha",
                                   "efx/BaseTexEnvi.sha", "efx/BlendEnvi.sha",  "efx/Steam.sha",
                                   "efx/Caustics.sha",    "mesh/Puodas.x",      "mesh/Vanduo.x"};

// [SECTION] Tests

// A cold pot: nothing heats the water, so no bubble is ever born; the heads-up lines are in
// their places in their colours.
TEST(DemoRun, ColdRunStaysColdAndDrawsTheHeadsUpText) {
    const fs::path dir = ScratchDir("cold");
    RunResult run = RunDemo("--frames 6 --fixed-step 0.0333 --size 320x240 --stats --screenshot shot.png", dir);
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<StatsLine> stats = ParseStats(run.out);
    ASSERT_EQ(stats.size(), 6u) << run.out;
    for (size_t i = 0; i < stats.size(); ++i) {
        EXPECT_EQ(stats[i].frame, static_cast<int>(i + 1));
        EXPECT_EQ(stats[i].average, 0);
        EXPECT_EQ(stats[i].top, 0);
        EXPECT_EQ(stats[i].bottom, 0);
        EXPECT_EQ(stats[i].bubbles, 0);
        // The frame's real duration, whatever the fixed clock says.
        EXPECT_GT(stats[i].wallMs, 0.0f);
    }
    EXPECT_EQ(run.err.find("warning"), std::string::npos) << run.err;

    Picture shot = ReadPicture(dir / "shot.png");
    ASSERT_EQ(shot.width, 320u);
    ASSERT_EQ(shot.height, 240u);
    // Frame statistics at (4, 2): opaque yellow, one 9-point line high.
    EXPECT_GT(CountIn(shot, 4, 2, 160, 16, Yellow), 40);
    EXPECT_EQ(CountIn(shot, 0, 0, 4, 240, Yellow), 0);
    EXPECT_EQ(CountIn(shot, 4, 18, 160, 60, Yellow), 0);
    // Temperatures at (4, 20) and the hint at (20, 40): translucent white.
    EXPECT_GT(CountIn(shot, 4, 20, 200, 34, TranslucentWhite), 40);
    EXPECT_GT(CountIn(shot, 20, 40, 140, 54, TranslucentWhite), 30);
    EXPECT_EQ(CountIn(shot, 4, 40, 19, 54, TranslucentWhite), 0);
    // Right of the text, above the pot: the cleared background.
    EXPECT_EQ(CountIn(shot, 250, 0, 320, 40, Black), 70 * 40);
}

// Space, pressed every frame: the ring at the bottom heats first, the heat spreads, bubbles
// are born in the hot water and their number stays bounded.
TEST(DemoRun, HeatingRaisesTheBottomFirstThenTheAverageAndMakesBubbles) {
    const fs::path dir = ScratchDir("heat");
    std::string keys;
    const int heated = 90;
    for (int f = 0; f < heated; ++f) keys += (f ? "," : "") + std::to_string(f) + ":press:SPACE";
    RunResult run = RunDemo("--frames 100 --fixed-step 0.0333 --size 160x120 --stats --keys " + keys, dir);
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<StatsLine> stats = ParseStats(run.out);
    ASSERT_EQ(stats.size(), 100u);

    // After the first heat: the bottom is well above the average, the top still cold.
    const StatsLine& first = stats[0];
    EXPECT_GT(first.bottom, 0);
    EXPECT_GT(first.bottom, 2 * first.average);
    EXPECT_EQ(first.top, 0);
    // Later the average and the top follow.
    const StatsLine& last = stats.back();
    EXPECT_GT(last.average, first.average + 10);
    EXPECT_GT(last.top, first.top);
    int most = 0;
    for (const StatsLine& s : stats) {
        most = std::max(most, s.bubbles);
        // A frame may give birth to dt * 600 + 1 bubbles past the limit of 2000.
        EXPECT_LE(s.bubbles, 2000 + 101);
    }
    EXPECT_GT(most, 10);
    EXPECT_GT(last.bubbles, 0);
}

// F2 (velocity lines), F3 (wire frames) and F1 (help) change the picture and toggle back; "3"
// and "1" stir the water, which the velocity display shows.
TEST(DemoRun, TogglesAndStirringKeysChangeThePicture) {
    const fs::path dir = ScratchDir("keys");
    // Frames are captured every 5; a key at frame k shows from frame k + 1 on.
    RunResult run = RunDemo(
        "--frames 45 --fixed-step 0.0333 --size 320x240 --capture shots --every 5 --keys "
        "0:press:F2,6:char:3,11:press:F2,16:press:F2,21:press:F2,26:press:F3,31:press:F3,"
        "36:press:F1,41:press:F1",
        dir);
    ASSERT_EQ(run.status, 0) << run.err;
    const fs::path shots = dir / "shots";
    const Picture atRest = Captured(shots, 5), stirred = Captured(shots, 10), off1 = Captured(shots, 15),
                  on = Captured(shots, 20), off2 = Captured(shots, 25), wire = Captured(shots, 30),
                  solid = Captured(shots, 35), help = Captured(shots, 40), hint = Captured(shots, 45);
    // The stirred water shimmers from then on and the floor's light moves with it, by less
    // than 70 in every channel; lines, wires and text change pixels by more than that.
    const int clearly = 70;
    // "3": the still water's zero-length lines become visible lines.
    EXPECT_GT(ChangedPixels(atRest, stirred, clearly), 40);
    // F2 off, on, off: the lines come and go; the picture without them stays the same.
    EXPECT_GT(ChangedPixels(off2, on, clearly), 40);
    EXPECT_LT(ChangedPixels(off1, off2, clearly), 20);
    // F3: wire frames of the pot and the water, then back to solid. (At this size the wires are
    // dense; the blended water's shared edges are drawn once, so it changes less than the pot.)
    EXPECT_GT(ChangedPixels(off2, wire, clearly), 600);
    EXPECT_LT(ChangedPixels(off2, solid, clearly), 20);
    // F1: the reddish key column at (20, 40) and the actions at (100, 40), then the hint again.
    EXPECT_GT(CountIn(help, 20, 40, 90, 150, Reddish), 100);
    EXPECT_EQ(CountIn(hint, 20, 40, 90, 150, Reddish), 0);
    EXPECT_GT(CountIn(help, 100, 40, 300, 150, TranslucentWhite), 300);
    EXPECT_LT(ChangedPixels(solid, hint, clearly), 20);

    // "1" stirs as well, from a still pot.
    const fs::path dir1 = ScratchDir("stir1");
    run = RunDemo("--frames 10 --fixed-step 0.0333 --size 320x240 --capture shots --every 5 "
                  "--keys 0:press:F2,6:char:1",
                  dir1);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_GT(ChangedPixels(Captured(dir1 / "shots", 5), Captured(dir1 / "shots", 10)), 40);
}

// Share of the pixels in [x0, x1) x [y0, y1) whose colour differs by more than 8 in some channel.
double ShareChanged(const Picture& a, const Picture& b, unsigned x0, unsigned y0, unsigned x1, unsigned y1) {
    if (a.width != b.width || a.height != b.height || a.data.empty()) return -1.0;
    int changed = 0, all = 0;
    for (unsigned y = y0; y < y1 && y < a.height; ++y)
        for (unsigned x = x0; x < x1 && x < a.width; ++x, ++all)
            for (int c = 0; c < 3; ++c)
                if (std::abs(a.At(x, y)[c] - b.At(x, y)[c]) > 8) {
                    ++changed;
                    break;
                }
    return all ? static_cast<double>(changed) / all : -1.0;
}

// What a run with a fixed step draws is the same every time, pixel for pixel: the heat's own
// drawing (shimmer, caustics, steam, the floor's bubbles) takes its randomness from the frame
// count, never from the clock. And the heat shows long before the boil: a pot at about 40
// degrees and a stirred cold pot both differ from the still, cold one across the water.
TEST(DemoRun, FixedStepRunsRepeatAndWarmOrStirredWaterLooksDifferent) {
    const std::string common = "--frames 200 --fixed-step 0.0333 --size 320x240 --capture shots --every 100 ";
    const fs::path first = ScratchDir("repeat1"), second = ScratchDir("repeat2");
    for (const fs::path& dir : {first, second}) {
        RunResult run = RunDemo(common + "--keys 0:down:SPACE", dir);
        ASSERT_EQ(run.status, 0) << run.err;
    }
    for (const char* frame : {"frame_000100.png", "frame_000200.png"}) {
        const std::string a = ReadWhole(first / "shots" / frame), b = ReadWhole(second / "shots" / frame);
        ASSERT_FALSE(a.empty()) << frame;
        EXPECT_TRUE(a == b) << frame << " differs between two runs";
    }
    const fs::path cold = ScratchDir("repeat_cold"), stirred = ScratchDir("repeat_stirred");
    ASSERT_EQ(RunDemo(common, cold).status, 0);
    ASSERT_EQ(RunDemo(common + "--keys 20:char:1", stirred).status, 0);
    // The middle of the water at this size (the pot's floor seen through it).
    const unsigned x0 = 130, y0 = 95, x1 = 190, y1 = 125;
    const Picture still = Captured(cold / "shots", 200);
    EXPECT_GT(ShareChanged(still, Captured(first / "shots", 200), x0, y0, x1, y1), 0.25);
    EXPECT_GT(ShareChanged(still, Captured(stirred / "shots", 100), x0, y0, x1, y1), 0.05);
    // The cold pot itself stays still: nothing moves in it between frames 100 and 200.
    EXPECT_EQ(ShareChanged(still, Captured(cold / "shots", 100), x0, y0, x1, y1), 0.0);
}

// --aa auto on the software device: the edge filter changes pixels along edges only (a small
// share of the picture) and repeats exactly like the rest of a fixed-step run.
TEST(DemoRun, EdgeFilterSmoothsEdgesOnlyAndRepeats) {
    const std::string common = "--frames 30 --fixed-step 0.0333 --size 320x240 --screenshot shot.png --keys 0:down:SPACE ";
    const fs::path plain = ScratchDir("aa_off"), smooth1 = ScratchDir("aa_1"), smooth2 = ScratchDir("aa_2");
    ASSERT_EQ(RunDemo(common, plain).status, 0);
    for (const fs::path& dir : {smooth1, smooth2}) {
        RunResult run = RunDemo(common + "--aa auto", dir);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err.find("samples per pixel"), std::string::npos) << run.err;
    }
    EXPECT_TRUE(ReadWhole(smooth1 / "shot.png") == ReadWhole(smooth2 / "shot.png"));
    const double changed = ShareChanged(ReadPicture(plain / "shot.png"), ReadPicture(smooth1 / "shot.png"), 0, 0, 320, 240);
    EXPECT_GT(changed, 0.002);
    EXPECT_LT(changed, 0.08);
    // Usage: a method and a sample count together are refused.
    RunResult both = RunDemo("--frames 1 --aa edge --msaa 4", plain);
    EXPECT_EQ(both.status, 2);
    EXPECT_NE(both.err.find("--aa"), std::string::npos) << both.err;
}

// Pixels of the pot and the water: anything not black below the heads-up lines.
int PotPixels(const Picture& p) {
    return static_cast<int>(p.width) * (p.height - 60) -
           CountIn(p, 0, 60, p.width, p.height, [](int r, int g, int b) { return Black(r, g, b); });
}

// Scripted mouse input as the window delivers it, and keys pressed and released inside one
// frame (the held-key state alone would never see them).
TEST(DemoRun, DragOrbitsWheelZoomsAndKeysTappedWithinOneFrameAct) {
    const fs::path dir = ScratchDir("mouse");
    RunResult run = RunDemo(
        "--frames 240 --fixed-step 0.0333 --size 320x240 --capture shots --every 5 --keys "
        "5:drag:-80:-40,80:rdrag:200:100,90:wheel:3,160:down:R,160:up:R,170:wheel:-4",
        dir);
    ASSERT_EQ(run.status, 0) << run.err;
    const fs::path shots = dir / "shots";
    const Picture start = Captured(shots, 5), dragged = Captured(shots, 80), rightDragged = Captured(shots, 90),
                  closer = Captured(shots, 160), reset = Captured(shots, 170), farther = Captured(shots, 240);
    // The drag has turned the view; the right button's drag has not.
    EXPECT_GT(ChangedPixels(start, dragged), 2000);
    EXPECT_LT(ChangedPixels(dragged, rightDragged), 20);
    // Three notches forward: closer, the pot larger; four back from the start: smaller.
    EXPECT_GT(PotPixels(closer), PotPixels(rightDragged) * 11 / 10);
    EXPECT_LT(PotPixels(farther), PotPixels(start) * 9 / 10);
    // R down and up before the next frame still resets to the start orbit.
    EXPECT_LT(ChangedPixels(start, reset), 20);

    // Space tapped inside one frame heats once.
    const fs::path tap = ScratchDir("tap");
    run = RunDemo("--frames 4 --fixed-step 0.0333 --size 160x120 --stats --keys 2:down:SPACE,2:up:SPACE", tap);
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<StatsLine> stats = ParseStats(run.out);
    ASSERT_EQ(stats.size(), 4u);
    EXPECT_EQ(stats[1].bottom, 0);
    EXPECT_GT(stats[2].bottom, 0);
}

// --grid reaches the solver: the default is the grid of 8, a finer grid heats differently; a
// size the demo does not offer is a usage error that says why.
TEST(DemoRun, GridOptionChoosesTheSolverAndRefusesOtherSizes) {
    const fs::path dir = ScratchDir("grid");
    const std::string run = "--frames 3 --fixed-step 0.0333 --size 64x48 --stats --keys 0:press:SPACE";
    RunResult plain = RunDemo(run, dir), eight = RunDemo(run + " --grid 8", dir),
              sixteen = RunDemo(run + " --grid 16", dir);
    ASSERT_EQ(plain.status, 0) << plain.err;
    ASSERT_EQ(eight.status, 0) << eight.err;
    ASSERT_EQ(sixteen.status, 0) << sixteen.err;
    const std::vector<StatsLine> a = ParseStats(plain.out), b = ParseStats(eight.out), c = ParseStats(sixteen.out);
    ASSERT_EQ(a.size(), 3u);
    ASSERT_EQ(b.size(), 3u);
    ASSERT_EQ(c.size(), 3u);
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].average, b[i].average);
        EXPECT_EQ(a[i].bottom, b[i].bottom);
    }
    // The ring heats 20 of the 64 bottom cells of a grid of 8; a grid of 16 heats a band of
    // 2 x 2 cells per coarse cell, about as much of its bottom layer.
    EXPECT_EQ(a[0].bottom, 31);
    EXPECT_NE(c[0].bottom, a[0].bottom);
    EXPECT_GT(c[0].bottom, 20);

    RunResult odd = RunDemo("--frames 3 --grid 7", dir);
    EXPECT_EQ(odd.status, 2);
    EXPECT_NE(odd.err.find("simmerglass: --grid 7: the number of cells per axis must be even\n"), std::string::npos)
        << odd.err;
    EXPECT_NE(odd.err.find("--grid N"), std::string::npos) << odd.err;
    EXPECT_EQ(odd.out, "");
    RunResult large = RunDemo("--frames 3 --grid 128", dir);
    EXPECT_EQ(large.status, 2);
    EXPECT_NE(large.err.find("--grid 128: the grid allows at most 64 cells per axis"), std::string::npos) << large.err;
}

// No data files anywhere: the first warning names the folders looked in, every file is named
// in one warning, and the program still runs its frames and draws its text.
// [SECTION] Pictures read when asked

// Reading each frame back at once (as every frame was before frames overlapped) and reading it only
// when a capture or the screenshot asks give the same files, byte for byte; the last frame is
// complete when the run ends; a screenshot that replaces a private file keeps it private.
TEST(DemoRun, PicturesAreTheSameWhetherReadAtOnceOrWhenAsked) {
    const std::string args =
        "--frames 24 --fixed-step 0.05 --size 160x120 --msaa 4 --capture frames --every 1 --screenshot shot.png "
        "--keys 0:down:SPACE,8:press:F2,14:press:3,18:press:F3";
    const fs::path late = ScratchDir("read_when_asked"), early = ScratchDir("read_at_once");
    // A private picture is already where the screenshot goes.
    std::ofstream(late / "shot.png") << "old";
    fs::permissions(late / "shot.png", fs::perms::owner_read | fs::perms::owner_write);
    RunResult a = RunProgram(SG_PROGRAM, args, late);
    RunResult b = RunProgram(SG_PROGRAM, args, early, "SIMMERGLASS_READBACK_EACH_FRAME=1");
    ASSERT_EQ(a.status, 0) << a.err;
    ASSERT_EQ(b.status, 0) << b.err;
    EXPECT_EQ(fs::status(late / "shot.png").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    const std::string shot = ReadWhole(late / "shot.png");
    EXPECT_EQ(shot, ReadWhole(early / "shot.png"));
    // The screenshot is the last captured frame.
    EXPECT_EQ(shot, ReadWhole(late / "frames" / "frame_000024.png"));
    for (unsigned frame = 1; frame <= 24; ++frame) {
        char name[32];
        std::snprintf(name, sizeof name, "frame_%06u.png", frame);
        const std::string picture = ReadWhole(late / "frames" / name);
        ASSERT_FALSE(picture.empty()) << name;
        EXPECT_EQ(picture, ReadWhole(early / "frames" / name)) << name;
    }
    // Not every frame alike: the pictures do follow the run.
    EXPECT_NE(ReadWhole(late / "frames" / "frame_000001.png"), shot);
}

// A picture too large for the memory left ends the run with one message and status 1, never an
// abort. The address-space limit is lowered until the run no longer fits: the read-back of the
// picture is the last large allocation, so the first run that fails must fail there.
TEST(DemoRun, PictureTooLargeForTheMemoryLeftEndsWithAMessage) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer reserves more address space than any limit leaves";
#else
    if (std::system("command -v prlimit >/dev/null 2>&1") != 0) GTEST_SKIP() << "prlimit (util-linux) is missing";
    const fs::path dir = ScratchDir("out_of_memory");
    for (int mebibytes = 1700; mebibytes >= 800; mebibytes -= 150) {
        fs::remove(dir / "big.png");
        const std::string limit = "prlimit --as=" + std::to_string(static_cast<long long>(mebibytes) << 20);
        RunResult run =
            RunProgram(SG_PROGRAM, "--size 8192x8192 --frames 1 --fixed-step 0.05 --screenshot big.png", dir, limit);
        if (run.status == 0) continue;
        EXPECT_EQ(run.status, 1) << mebibytes << " MiB: " << run.err;
        EXPECT_NE(run.err.find("cannot write big.png: not enough memory for the picture\n"), std::string::npos)
            << mebibytes << " MiB: " << run.err;
        EXPECT_EQ(run.err.find("terminate"), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(dir / "big.png"));
        return;
    }
    GTEST_SKIP() << "the run fitted in every limit tried";
#endif
}

TEST(DemoRun, MissingMediaWarnsAndStillRuns) {
    const fs::path dir = ScratchDir("nomedia");
    // A copy of the program in an empty folder: no media/ beside it, none in the current one,
    // no share/simmerglass above it, none in the XDG data folders.
    const fs::path program = dir / "simmerglass";
    fs::copy_file(SG_PROGRAM, program);
    const std::string xdg = (dir / "xdg").string();
    RunResult run = RunProgram(program.string(), "--frames 3 --fixed-step 0.0333 --size 160x120 --stats --screenshot shot.png", dir,
                               "XDG_DATA_DIRS='" + xdg + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string parent = dir.parent_path().string();
    const std::string looked = "warning: no folder holds the data files (efx/, mesh/ and tex/); looked in the current directory, " +
                               dir.string() + "/media, " + parent + "/share/simmerglass, " + xdg + "/simmerglass\n";
    EXPECT_EQ(run.err.substr(0, run.err.find('\n') + 1), looked);
    EXPECT_EQ(ParseStats(run.out).size(), 3u);
    for (const char* file : kMediaFiles) {
        const std::string line = std::string("warning: ") + file + ": no such file\n";
        size_t at = run.err.find(line);
        EXPECT_NE(at, std::string::npos) << file << " in\n" << run.err;
        if (at != std::string::npos) {
            EXPECT_EQ(run.err.find(line, at + 1), std::string::npos) << file;
        }
    }
    Picture shot = ReadPicture(dir / "shot.png");
    EXPECT_GT(CountIn(shot, 4, 2, 160, 16, Yellow), 20);
}

// [SECTION] In a real window
// These run under a private Xvfb without a window manager (the test test_integration_window
// sets SG_XVFB) and drive the program as a person would, with xdotool; xwd reads back what the
// X server shows.

// The program running in the background, its output going to files in its folder.
class Program {
public:
    Program(const fs::path& cwd, const std::vector<std::string>& args)
        : cwd(cwd), pid(StartProgram(SG_PROGRAM, cwd, args)) {}
    ~Program() {
        if (pid > 0 && status < 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    // The exit status, or -1 when it has not ended within the time given.
    int Wait(double seconds) {
        for (auto end = Now() + seconds; status < 0 && Now() < end;) {
            int raw = 0;
            if (waitpid(pid, &raw, WNOHANG) == pid) status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128;
            else std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return status;
    }
    bool Running() { return Wait(0.0) < 0; }
    std::string Out() const { return ReadWhole(cwd / "stdout.txt"); }
    std::string Err() const { return ReadWhole(cwd / "stderr.txt"); }
    static double Now() {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    }

private:
    fs::path cwd;
    pid_t pid = -1;
    int status = -1;
};

std::string Shell(const std::string& command) { return ShellOutput(command); }

void Xdotool(const std::string& args) { Shell("xdotool " + args + " 2>&1"); }

// An xwd dump (32 bits per pixel, as Xvfb's 24-bit screens give) as RGB; empty when the dump
// is not one (xwd fails on a window that is just being reconfigured).
Picture ReadXwd(const fs::path& path) {
    const std::string data = ReadWhole(path);
    auto field = [&](size_t index) -> uint32_t {
        const auto* b = reinterpret_cast<const unsigned char*>(data.data()) + index * 4;
        return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
    };
    Picture picture;
    if (data.size() < 100) return picture;
    const uint32_t headerSize = field(0), width = field(4), height = field(5), byteOrder = field(7),
                   bitsPerPixel = field(11), bytesPerLine = field(12), redMask = field(14), greenMask = field(15),
                   blueMask = field(16), colours = field(19);
    const size_t start = headerSize + static_cast<size_t>(colours) * 12;
    if (bitsPerPixel != 32 || start + static_cast<size_t>(bytesPerLine) * height > data.size()) return picture;
    auto channel = [](uint32_t v, uint32_t mask) {
        int shift = 0;
        while (mask && !(mask & 1)) {
            mask >>= 1;
            ++shift;
        }
        return static_cast<unsigned char>((v >> shift) & 0xFF);
    };
    picture.width = width;
    picture.height = height;
    picture.data.resize(static_cast<size_t>(width) * height * 3);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            const auto* b = reinterpret_cast<const unsigned char*>(data.data()) + start + y * bytesPerLine + x * 4;
            uint32_t v = byteOrder == 0 ? (uint32_t{b[3]} << 24) | (uint32_t{b[2]} << 16) | (uint32_t{b[1]} << 8) | b[0]
                                        : (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
            unsigned char* c = &picture.data[(static_cast<size_t>(y) * width + x) * 3];
            c[0] = channel(v, redMask);
            c[1] = channel(v, greenMask);
            c[2] = channel(v, blueMask);
        }
    return picture;
}

// What the X server shows of a window ("root" for the whole screen).
Picture Grab(const fs::path& dir, const std::string& window) {
    const fs::path file = dir / "grab.xwd";
    Picture picture;
    for (int attempt = 0; attempt < 10 && picture.data.empty(); ++attempt) {
        if (attempt) std::this_thread::sleep_for(std::chrono::milliseconds(200));
        Shell("xwd -silent " + (window == "root" ? std::string("-root") : "-id " + window) + " >'" + file.string() +
              "' 2>/dev/null");
        picture = ReadXwd(file);
    }
    EXPECT_FALSE(picture.data.empty()) << "xwd could not read " << window;
    return picture;
}

// Grabs until the picture holds still for a second (the orbit's glide has ended).
Picture Settled(const fs::path& dir, const std::string& window) {
    Picture last = Grab(dir, window);
    for (auto end = Program::Now() + 30.0; Program::Now() < end;) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        Picture now = Grab(dir, window);
        if (ChangedPixels(last, now) == 0) return now;
        last = now;
    }
    ADD_FAILURE() << "the picture did not come to rest";
    return last;
}

class DemoWindow : public testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("SG_XVFB")) GTEST_SKIP() << "runs under Xvfb, as the test test_integration_window";
        if (Shell("command -v xdotool").empty() || Shell("command -v xwd").empty())
            GTEST_SKIP() << "xdotool and xwd (packages xdotool, x11-apps) are needed to drive a real window";
    }

    // Starts the program on the software device and waits for its window and five frames.
    std::string Start(Program& program) {
        const std::string window =
            Shell("timeout 60 xdotool search --sync --onlyvisible --name '^Velkor - Simmerglass$' | head -1");
        EXPECT_FALSE(window.empty()) << program.Err();
        for (auto end = Program::Now() + 60.0; Program::Now() < end && program.Running();) {
            if (program.Out().find("frame 5 |") != std::string::npos) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        // The keyboard follows the pointer without a window manager.
        Xdotool("mousemove --window " + window + " 160 120");
        return window;
    }

    // Closes the window as another client would and expects the program's normal end.
    void CloseFromOutside(Program& program, const std::string& window) {
        Xdotool("windowclose " + window);
        EXPECT_EQ(program.Wait(60.0), 0) << program.Err();
        EXPECT_EQ(program.Err().find("X Error"), std::string::npos) << program.Err();
    }

    static std::vector<std::string> Args() {
        return {"--device", "ref", "--fixed-step", "0.0333", "--size", "320x240", "--stats"};
    }
};

// A drag with the left button, three wheel notches and a quick tap of R in a real window; then
// the window is destroyed from outside and the program ends with status 0.
TEST_F(DemoWindow, MouseOrbitsAndZoomsATapResetsAndClosingFromOutsideEndsNormally) {
    const fs::path dir = ScratchDir("window_mouse");
    // The same drag, scripted, in a headless run: the real one must end at the same orbit.
    RunResult reference = RunDemo("--frames 100 --fixed-step 0.0333 --size 320x240 --keys 5:drag:-80:-40 "
                                  "--screenshot dragged.png",
                                  dir);
    ASSERT_EQ(reference.status, 0) << reference.err;
    Program program(dir, Args());
    const std::string window = Start(program);
    ASSERT_FALSE(window.empty());
    // Choosing the software device shows no box, only one line.
    EXPECT_NE(program.Err().find("as asked"), std::string::npos) << program.Err();

    const Picture start = Settled(dir, window);
    ASSERT_EQ(start.width, 320u);
    Xdotool("mousemove --window " + window + " 160 120 mousedown 1 mousemove --window " + window +
            " 80 80 mouseup 1");
    const Picture dragged = Settled(dir, window);
    EXPECT_GT(ChangedPixels(start, dragged), 2000);
    EXPECT_LT(ChangedPixels(dragged, ReadPicture(dir / "dragged.png")), 100);

    Xdotool("click 4 click 4 click 4");
    const Picture closer = Settled(dir, window);
    EXPECT_GT(PotPixels(closer), PotPixels(dragged) * 11 / 10);

    Xdotool("key r");
    const Picture reset = Settled(dir, window);
    EXPECT_LT(ChangedPixels(start, reset), 20);

    CloseFromOutside(program, window);
}

// F11 without a window manager: the window covers the whole screen and shows the frame at the
// screen's size; F11 again brings the window back.
TEST_F(DemoWindow, FullScreenWithoutAWindowManagerFillsTheScreen) {
    const fs::path dir = ScratchDir("window_full");
    Program program(dir, Args());
    const std::string window = Start(program);
    ASSERT_FALSE(window.empty());
    Xdotool("key F11");
    const Picture screen = Settled(dir, "root");
    ASSERT_GT(screen.width, 320u);
    // What a full-screen frame of this size looks like, rendered headless.
    RunResult reference = RunDemo("--frames 3 --fixed-step 0.0333 --size " + std::to_string(screen.width) + "x" +
                                      std::to_string(screen.height) + " --screenshot full.png",
                                  dir);
    ASSERT_EQ(reference.status, 0) << reference.err;
    EXPECT_LT(ChangedPixels(screen, ReadPicture(dir / "full.png")), 50);

    Xdotool("key F11");
    const Picture windowed = Settled(dir, window);
    EXPECT_EQ(windowed.width, 320u);
    EXPECT_EQ(windowed.height, 240u);
    const std::string geometry = Shell("xdotool getwindowgeometry " + window);
    EXPECT_NE(geometry.find("Geometry: 320x240"), std::string::npos) << geometry;

    CloseFromOutside(program, window);
}

// [SECTION] Changing the effects while the demo runs

// The pot drawn in one flat colour (0xAARRGGBB), whatever lights it.
std::string FlatPotEffect(const char* colour) {
    return std::string("texture texBase;\ntexture texEnvi;\ntechnique Flat\n{\n    pass P0\n    {\n"
                       "        VertexShader = XYZ | NORMAL | TEX1;\n        Lighting = False;\n"
                       "        TextureFactor = ") + colour + ";\n"
           "        ColorOp[0] = SelectArg1;\n        ColorArg1[0] = TFactor;\n"
           "        AlphaOp[0] = SelectArg1;\n        AlphaArg1[0] = TFactor;\n"
           "        ColorOp[1] = Disable;\n        AlphaOp[1] = Disable;\n"
           "        ZEnable = True;\n        ZWriteEnable = True;\n        AlphaBlendEnable = False;\n    }\n}\n";
}

// Saves as editors do: a new file renamed over the old one.
void SaveByRename(const fs::path& path, const std::string& text) {
    const fs::path temporary = path.parent_path() / (path.filename().string() + ".new");
    std::ofstream(temporary, std::ios::binary | std::ios::trunc) << text;
    fs::rename(temporary, path);
}

// A folder holding a copy of the data files, from which the program is run.
fs::path WithMedia(const std::string& name) {
    const fs::path dir = ScratchDir(name);
    fs::copy(fs::path(SG_PROGRAM).parent_path() / "media", dir,
             fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    // Links into the build's media folder become files of their own, which the test may change.
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        if (entry.is_symlink()) {
            const fs::path target = fs::canonical(entry.path());
            fs::remove(entry.path());
            fs::copy_file(target, entry.path());
        }
    return dir;
}

bool Green(int r, int g, int b) { return g > 150 && r < 60 && b < 60; }
bool Blue(int r, int g, int b) { return b > 150 && r < 60 && g < 60; }
bool BrightRed(int r, int g, int b) { return r > 150 && g < 90 && b < 90; }

// The newest frame number in the --stats output so far.
int LastFrame(const std::string& out) {
    const size_t at = out.rfind("frame ", out.size() > 1 ? out.size() - 2 : 0);
    return at == std::string::npos ? 0 : std::atoi(out.c_str() + at + 6);
}

// Headless, F5 every 10 frames: a changed effect is taken, a broken one leaves the last good
// one drawn with its message on standard error and in red on the picture, a mended one is
// taken again.
TEST(DemoRun, F5ReloadsAChangedEffectKeepsTheLastGoodOneAndRecovers) {
    const fs::path dir = WithMedia("reload_keys");
    std::string keys;
    for (int frame = 10; frame < 6000; frame += 10) keys += (keys.empty() ? "" : ",") + std::to_string(frame) + ":press:F5";
    Program program(dir, {"--headless", "--frames", "6000", "--fixed-step", "0.0333", "--size", "240x180", "--stats",
                          "--capture", "shots", "--every", "10", "--keys", keys});
    const fs::path pot = dir / "efx/BaseTexEnvi.sha";
    // Waits for `text` in standard error (its `count`-th time), then for a frame captured after
    // it, and reads that frame.
    auto after = [&](const std::string& text, int count) {
        int frame = -1;
        for (auto end = Program::Now() + 120.0; Program::Now() < end && program.Running() && frame < 0;) {
            size_t at = 0;
            int seen = 0;
            const std::string err = program.Err();
            while ((at = err.find(text, at)) != std::string::npos) {
                ++seen;
                ++at;
            }
            if (seen >= count) frame = LastFrame(program.Out());
            else std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        EXPECT_GE(frame, 0) << "never said: " << text << "\n" << program.Err();
        const int wanted = (frame / 10 + 2) * 10;
        char name[32], later[32];
        std::snprintf(name, sizeof name, "frame_%06d.png", wanted);
        std::snprintf(later, sizeof later, "frame_%06d.png", wanted + 10);  // so `name` is whole
        for (auto end = Program::Now() + 120.0; Program::Now() < end && !fs::exists(dir / "shots" / later);)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return fs::exists(dir / "shots" / later) ? ReadPicture(dir / "shots" / name) : Picture{};
    };
    for (auto end = Program::Now() + 60.0; Program::Now() < end && LastFrame(program.Out()) < 5;)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));

    SaveByRename(pot, FlatPotEffect("0xFF00C000"));
    const Picture green = after("efx/BaseTexEnvi.sha: reloaded\n", 1);
    ASSERT_FALSE(green.data.empty());
    EXPECT_GT(CountIn(green, 0, 40, green.width, green.height - 20, Green), 2000);

    SaveByRename(pot, "technique Flat\n{\n    pass P0 { TextureFactor = 0xFF0000C0 }\n}\n");
    const std::string message = "efx/BaseTexEnvi.sha:3:42: error: expected ';' before '}'\n";
    const Picture broken = after(message, 1);
    ASSERT_FALSE(broken.data.empty());
    EXPECT_GT(CountIn(broken, 0, 40, broken.width, broken.height - 20, Green), 2000);  // still the last good one
    EXPECT_GT(CountIn(broken, 0, broken.height - 16, broken.width, broken.height, BrightRed), 30);

    SaveByRename(pot, FlatPotEffect("0xFF0000C0"));
    const Picture blue = after("efx/BaseTexEnvi.sha: reloaded\n", 2);
    ASSERT_FALSE(blue.data.empty());
    EXPECT_GT(CountIn(blue, 0, 40, blue.width, blue.height - 20, Blue), 2000);
    EXPECT_LT(CountIn(blue, 0, blue.height - 16, blue.width, blue.height, BrightRed), 5);
    // The message was said once, however many F5 came while the file was broken.
    const std::string err = program.Err();
    EXPECT_EQ(err.find(message), err.rfind(message)) << err;
}

// In a window the effect files are watched: a saved change shows without any key.
TEST_F(DemoWindow, ASavedEffectShowsWithoutAKey) {
    const fs::path dir = WithMedia("window_reload");
    Program program(dir, Args());
    const std::string window = Start(program);
    ASSERT_FALSE(window.empty());
    const Picture before = Settled(dir, window);
    EXPECT_LT(CountIn(before, 0, 40, before.width, before.height, Green), 100);

    SaveByRename(dir / "efx/BaseTexEnvi.sha", FlatPotEffect("0xFF00C000"));
    int green = 0;
    for (auto end = Program::Now() + 60.0; Program::Now() < end && green < 3000;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        const Picture now = Grab(dir, window);
        green = CountIn(now, 0, 40, now.width, now.height, Green);
    }
    EXPECT_GE(green, 3000) << program.Err();
    EXPECT_NE(program.Err().find("efx/BaseTexEnvi.sha: reloaded\n"), std::string::npos) << program.Err();
    CloseFromOutside(program, window);
}

}  // namespace

// The demo as a user runs it: the built program, headless on the software device, with a
// fixed clock step and scripted keys. What it prints with --stats and the pictures it writes
// are read back: the heat and the bubbles, the toggles, the stirring keys, the heads-up text,
// and a run without any data files.
#include <png.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// [SECTION] Running the program

struct RunResult {
    int status = -1;
    std::string out, err;
};

std::string ReadWhole(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

fs::path ScratchDir(const std::string& name) {
    fs::path dir = fs::path(testing::TempDir()) / ("sg_demo_" + name);
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    fs::create_directories(dir);
    return dir;
}

// Runs `program args` in `cwd`, capturing standard output and error into files there.
RunResult RunProgram(const std::string& program, const std::string& args, const fs::path& cwd) {
    const fs::path out = cwd / "stdout.txt", err = cwd / "stderr.txt";
    const std::string command = "cd '" + cwd.string() + "' && '" + program + "' --headless " + args +
                                " >'" + out.string() + "' 2>'" + err.string() + "'";
    RunResult result;
    const int raw = std::system(command.c_str());
    result.status = (raw != -1 && WIFEXITED(raw)) ? WEXITSTATUS(raw) : -1;
    result.out = ReadWhole(out);
    result.err = ReadWhole(err);
    return result;
}

RunResult RunDemo(const std::string& args, const fs::path& cwd) { return RunProgram(SG_PROGRAM, args, cwd); }

// One --stats line: "frame N | <frame statistics> | Temperatures: avg A top T bottom B | bubbles K".
struct StatsLine {
    int frame = 0, average = 0, top = 0, bottom = 0, bubbles = 0;
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
        bool ok = fields.size() == 4 && ScanWhole(fields[0], "frame %d", &s.frame) &&
                  std::sscanf(fields[1].c_str(), "%f fps (%63[^)])", &fps, rest) == 2 &&
                  ScanWhole(fields[2], "Temperatures: avg %d top %d bottom %d", &s.average, &s.top,
                            &s.bottom) &&
                  ScanWhole(fields[3], "bubbles %d", &s.bubbles);
        if (!ok) {
            ADD_FAILURE() << "unexpected statistics line: " << text;
            continue;
        }
        result.push_back(s);
    }
    return result;
}

// [SECTION] Pictures

struct Picture {
    unsigned width = 0, height = 0;
    std::vector<unsigned char> rgb;
    const unsigned char* At(unsigned x, unsigned y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};

Picture ReadPicture(const fs::path& path) {
    Picture picture;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        ADD_FAILURE() << "cannot read " << path;
        return picture;
    }
    image.format = PNG_FORMAT_RGB;
    picture.rgb.resize(PNG_IMAGE_SIZE(image));
    picture.width = image.width;
    picture.height = image.height;
    if (!png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr)) {
        ADD_FAILURE() << "cannot decode " << path;
        picture = Picture();
    }
    png_image_free(&image);
    return picture;
}

Picture Captured(const fs::path& dir, unsigned frame) {
    char name[32];
    std::snprintf(name, sizeof name, "frame_%06u.png", frame);
    return ReadPicture(dir / name);
}

// Pixels below the frame-statistics line (its frame rate is refreshed once a second) whose
// colour differs by more than 40 in some channel.
int ChangedPixels(const Picture& a, const Picture& b) {
    if (a.width != b.width || a.height != b.height || a.rgb.empty()) return -1;
    int changed = 0;
    for (size_t i = static_cast<size_t>(a.width) * 18 * 3; i < a.rgb.size(); i += 3)
        for (int c = 0; c < 3; ++c)
            if (std::abs(a.rgb[i + c] - b.rgb[i + c]) > 40) {
                ++changed;
                break;
            }
    return changed;
}

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
                                   "efx/Water.sha",       "efx/Particle.sha",   "efx/BaseTexEnvi.sha",
                                   "efx/BlendEnvi.sha",   "mesh/Puodas.x",      "mesh/Vanduo.x"};

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
    // "3": the still water's zero-length lines become visible lines.
    EXPECT_GT(ChangedPixels(atRest, stirred), 40);
    // F2 off, on, off: the lines come and go; the picture without them stays the same.
    EXPECT_GT(ChangedPixels(off2, on), 40);
    EXPECT_LT(ChangedPixels(off1, off2), 20);
    // F3: wire frames of the pot and the water, then back to solid.
    EXPECT_GT(ChangedPixels(off2, wire), 1000);
    EXPECT_LT(ChangedPixels(off2, solid), 20);
    // F1: the reddish key column at (20, 40) and the actions at (100, 40), then the hint again.
    EXPECT_GT(CountIn(help, 20, 40, 90, 150, Reddish), 100);
    EXPECT_EQ(CountIn(hint, 20, 40, 90, 150, Reddish), 0);
    EXPECT_GT(CountIn(help, 100, 40, 300, 150, TranslucentWhite), 300);
    EXPECT_LT(ChangedPixels(solid, hint), 20);

    // "1" stirs as well, from a still pot.
    const fs::path dir1 = ScratchDir("stir1");
    run = RunDemo("--frames 10 --fixed-step 0.0333 --size 320x240 --capture shots --every 5 "
                  "--keys 0:press:F2,6:char:1",
                  dir1);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_GT(ChangedPixels(Captured(dir1 / "shots", 5), Captured(dir1 / "shots", 10)), 40);
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

// No data files anywhere: every file is named in one warning, and the program still runs
// its frames and draws its text.
TEST(DemoRun, MissingMediaWarnsAndStillRuns) {
    const fs::path dir = ScratchDir("nomedia");
    // A copy of the program in an empty folder: no media/ beside it, none in the current one.
    const fs::path program = dir / "simmerglass";
    fs::copy_file(SG_PROGRAM, program);
    RunResult run = RunProgram(program.string(), "--frames 3 --fixed-step 0.0333 --size 160x120 --stats --screenshot shot.png", dir);
    ASSERT_EQ(run.status, 0) << run.err;
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

}  // namespace

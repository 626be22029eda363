// The installed program: `cmake --install` into a temporary prefix puts the programs, the data
// files, the desktop entry, the icon and the man pages in place; the installed program, run from
// an unrelated folder, finds its data files (beside it in share/, or through XDG_DATA_DIRS) and
// draws the same picture as the one in the build folder.
#include <png.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/PngPicture.h"
#include "tests/support/ProgramRun.h"

namespace fs = std::filesystem;

namespace {

// [SECTION] Helpers

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// Runs `command`, a shell command line, in `cwd`, capturing its output in files there.
RunResult RunShell(const std::string& command, const fs::path& cwd) {
    const fs::path out = cwd / "stdout.txt", err = cwd / "stderr.txt";
    const std::string line = "cd " + Quoted(cwd.string()) + " && " + command + " >" +
                             Quoted(out.string()) + " 2>" + Quoted(err.string());
    RunResult result;
    const int raw = std::system(line.c_str());
    result.status = (raw != -1 && WIFEXITED(raw)) ? WEXITSTATUS(raw) : -1;
    result.out = ReadWhole(out);
    result.err = ReadWhole(err);
    return result;
}

bool OnPath(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

fs::path Fresh(const fs::path& dir) {
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    fs::create_directories(dir);
    return dir;
}

// The options a program's --help names ("--frames", ...): "--", a letter, then letters and
// hyphens.
std::set<std::string> OptionsIn(const std::string& text) {
    std::set<std::string> options;
    auto letter = [&text](size_t i) { return i < text.size() && text[i] >= 'a' && text[i] <= 'z'; };
    for (size_t at = text.find("--"); at != std::string::npos; at = text.find("--", at + 2)) {
        if (!letter(at + 2)) continue;
        size_t end = at + 2;
        while (letter(end) || (end < text.size() && text[end] == '-')) ++end;
        options.insert(text.substr(at, end - at));
    }
    return options;
}

// The roff source names an option as \-\-name.
std::string RoffOption(const std::string& option) {
    std::string roff;
    for (char c : option) roff += c == '-' ? std::string("\\-") : std::string(1, c);
    return roff;
}

// [SECTION] One install shared by the tests

class Install : public testing::Test {
protected:
    static void SetUpTestSuite() {
        top = new fs::path(Fresh(fs::path(testing::TempDir()) / "sg_install"));
        prefix = new fs::path(*top / "prefix");
        installed = RunShell(Quoted(SG_CMAKE) + " --install " + Quoted(SG_BUILD_DIR) + " --prefix " +
                            Quoted(prefix->string()),
                        *top);
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        fs::remove_all(*top, ignored);
        delete top;
        delete prefix;
    }
    void SetUp() override { ASSERT_EQ(installed.status, 0) << installed.out << installed.err; }

    // The installed program, headless, from `cwd`, with XDG_DATA_DIRS set to `xdg`.
    static RunResult RunInstalled(const fs::path& program, const std::string& xdg, const fs::path& cwd,
                                  const std::string& args) {
        return RunShell("XDG_DATA_DIRS=" + Quoted(xdg) + " " + Quoted(program.string()) + " --headless " + args, cwd);
    }

    static fs::path* top;
    static fs::path* prefix;
    static RunResult installed;
};

fs::path* Install::top = nullptr;
fs::path* Install::prefix = nullptr;
RunResult Install::installed;

const char* const kShot = "--frames 10 --fixed-step 0.0333 --size 320x240 --screenshot shot.png";

// [SECTION] Tests

TEST_F(Install, PutsEveryFileInItsPlace) {
    for (const char* file :
         {"bin/simmerglass", "bin/effectc", "share/simmerglass/efx/Water.sha",
          "share/simmerglass/efx/Particle.sha", "share/simmerglass/efx/BaseTexEnvi.sha",
          "share/simmerglass/efx/BlendEnvi.sha", "share/simmerglass/efx/Steam.sha",
          "share/simmerglass/efx/Caustics.sha",
          "share/simmerglass/tex/Steam.png", "share/simmerglass/mesh/Puodas.x",
          "share/simmerglass/mesh/Vanduo.x", "share/simmerglass/tex/Environment.png",
          "share/simmerglass/tex/WaterPoint.png", "share/simmerglass/tex/Puodas.jpg",
          "share/applications/simmerglass.desktop",
          "share/icons/hicolor/128x128/apps/simmerglass.png", "share/man/man6/simmerglass.6",
          "share/man/man1/effectc.1"})
        EXPECT_TRUE(fs::is_regular_file(*prefix / file)) << file;
    const fs::perms exec = fs::perms::owner_exec | fs::perms::others_exec;
    EXPECT_EQ(fs::status(*prefix / "bin/simmerglass").permissions() & exec, exec);
    EXPECT_EQ(fs::status(*prefix / "bin/effectc").permissions() & exec, exec);
}

// From an unrelated folder, with no XDG data folder holding the files: found in share/ beside
// bin/, no warning, and the picture is the build folder's program's, frame for frame.
TEST_F(Install, RunsFromAnUnrelatedFolderAndDrawsWhatTheBuildDraws) {
    const fs::path elsewhere = Fresh(*top / "elsewhere");
    const fs::path empty = Fresh(*top / "empty");
    RunResult run = RunInstalled(*prefix / "bin/simmerglass", empty.string(), elsewhere, kShot);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err.find("warning"), std::string::npos) << run.err;
    Picture shot = ReadPicture(elsewhere / "shot.png", 4);
    ASSERT_EQ(shot.width, 320u);
    ASSERT_EQ(shot.height, 240u);

    const fs::path reference = Fresh(*top / "reference");
    RunResult built = RunInstalled(SG_PROGRAM, empty.string(), reference, kShot);
    ASSERT_EQ(built.status, 0) << built.err;
    Picture expected = ReadPicture(reference / "shot.png", 4);
    ASSERT_EQ(expected.data.size(), shot.data.size());
    // Below the frame-rate line (its figure differs from run to run).
    int differing = 0, lit = 0;
    for (size_t i = 320 * 18 * 4; i < shot.data.size(); i += 4) {
        bool same = true;
        for (int c = 0; c < 3; ++c) same &= std::abs(shot.data[i + c] - expected.data[i + c]) <= 8;
        differing += !same;
        lit += shot.data[i] + shot.data[i + 1] + shot.data[i + 2] > 120;
    }
    EXPECT_LT(differing, 320 * 240 / 200) << "pixels that differ from the build's picture";
    // The pot and its water fill a good part of the frame (without the data files it is black).
    EXPECT_GT(lit, 320 * 240 / 10);
}

// Only the program copied somewhere else: the data files are found through XDG_DATA_DIRS,
// past entries that are missing or not valid.
TEST_F(Install, FindsTheDataFilesThroughXdgDataDirs) {
    const fs::path lone = Fresh(*top / "lone");
    fs::copy_file(*prefix / "bin/simmerglass", lone / "simmerglass");
    const std::string xdg = (*top / "missing").string() + ":relative/share:" + (*prefix / "share").string();
    RunResult run = RunInstalled(lone / "simmerglass", xdg, lone, kShot);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err.find("warning"), std::string::npos) << run.err;
    EXPECT_TRUE(fs::is_regular_file(lone / "shot.png"));
}

TEST_F(Install, DesktopEntryAndIcon) {
    const fs::path entry = *prefix / "share/applications/simmerglass.desktop";
    const std::string text = ReadWhole(entry);
    EXPECT_EQ(text.rfind("[Desktop Entry]\n", 0), 0u) << text;
    for (const char* line : {"\nType=Application\n", "\nExec=simmerglass\n", "\nIcon=simmerglass\n",
                             "\nTerminal=false\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    if (OnPath("desktop-file-validate")) {
        RunResult check = RunShell("desktop-file-validate " + Quoted(entry.string()), *top);
        EXPECT_EQ(check.status, 0) << check.out << check.err;
        EXPECT_EQ(check.out + check.err, "");
    } else {
        std::printf("desktop-file-validate is not installed: the entry is not validated\n");
    }

    // A square icon, clear in the corners, opaque in the middle.
    Picture icon = ReadPicture(*prefix / "share/icons/hicolor/128x128/apps/simmerglass.png", 4);
    ASSERT_EQ(icon.width, 128u);
    ASSERT_EQ(icon.height, 128u);
    auto alpha = [&icon](unsigned x, unsigned y) { return icon.data[(y * 128 + x) * 4 + 3]; };
    EXPECT_EQ(alpha(0, 0), 0);
    EXPECT_EQ(alpha(127, 127), 0);
    EXPECT_EQ(alpha(64, 64), 255);
}

// Each man page shows without warnings and names every option its program's --help lists.
TEST_F(Install, ManPagesShowCleanlyAndNameEveryOption) {
    struct Page {
        const char* program;
        const char* page;
    };
    for (const Page& page : {Page{"simmerglass", "share/man/man6/simmerglass.6"},
                             Page{"effectc", "share/man/man1/effectc.1"}}) {
        const fs::path file = *prefix / page.page;
        RunResult help = RunShell(Quoted((*prefix / "bin" / page.program).string()) + " --help", *top);
        ASSERT_EQ(help.status, 0) << help.err;
        const std::set<std::string> options = OptionsIn(help.out);
        EXPECT_GE(options.size(), 2u) << help.out;
        const std::string roff = ReadWhole(file);
        for (const std::string& option : options)
            EXPECT_NE(roff.find(RoffOption(option)), std::string::npos) << page.page << " lacks " << option;

        if (!OnPath("man")) {
            std::printf("man is not installed: %s is not formatted\n", page.page);
            continue;
        }
        RunResult shown = RunShell("MANWIDTH=80 man --warnings -l " + Quoted(file.string()), *top);
        EXPECT_EQ(shown.status, 0) << shown.err;
        EXPECT_EQ(shown.err, "") << page.page;
        EXPECT_NE(shown.out.find(page.program), std::string::npos);
    }
}

}  // namespace

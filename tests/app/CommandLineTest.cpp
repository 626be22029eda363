// The command line: options and their values, usage errors, the key script with its mouse
// items, and scripted keys and mouse input arriving as a real keyboard's and mouse's messages
// (with auto-repeat) through the entry point.
#include <cstdio>
#include <filesystem>

#include "RecordingApp.h"
#include "app/CommandLine.h"
#include "app/RunApplication.h"

namespace {

ParseResult Parse(std::vector<std::string> args, RunOptions* o, std::string* error) {
    std::vector<const char*> argv{"simmerglass"};
    for (const std::string& a : args) argv.push_back(a.c_str());
    return ParseCommandLine(static_cast<int>(argv.size()), argv.data(), o, error);
}

// --record: the formats by extension in any case and "-"; anything else, a folder, or "-" with
// --stats (both on standard output) are usage errors.
TEST(CommandLine, RecordTargets) {
    RunOptions o;
    std::string error;
    for (const char* good : {"a.mp4", "dir/b.MKV", "c.y4m", "-", "x.tar.Mp4"}) {
        EXPECT_EQ(Parse({"--record", good}, &o, &error), ParseResult::Run) << good << ": " << error;
        EXPECT_EQ(o.record, good);
    }
    const std::string folder = testing::TempDir() + "/sg_record_folder.mp4";
    std::filesystem::create_directories(folder);
    for (const std::string& bad : {std::string("a.avi"), std::string("mp4"), std::string(".mp4"), std::string("a.mp4/"),
                                   std::string("dir.mp4/b"), std::string(""), folder}) {
        EXPECT_EQ(Parse({"--record", bad}, &o, &error), ParseResult::UsageError) << bad;
        EXPECT_NE(error.find("--record"), std::string::npos) << error;
    }
    EXPECT_EQ(Parse({"--record", "-", "--stats"}, &o, &error), ParseResult::UsageError);
    EXPECT_EQ(Parse({"--record"}, &o, &error), ParseResult::UsageError);
}

// The keys of the pause, step and speed, the reload and full screen, by name or character.
TEST(CommandLine, KeyNamesOfEveryKeyTheDemoReads) {
    const struct {
        const char* name;
        BYTE vk;
    } keys[] = {{"P", 'P'},           {"p", 'P'},       {".", VK_OEM_PERIOD}, {"period", VK_OEM_PERIOD},
                {"[", VK_OEM_4},      {"]", VK_OEM_6},  {"LeftBracket", VK_OEM_4}, {"RIGHTBRACKET", VK_OEM_6},
                {"F5", VK_F5},        {"F11", VK_F11},  {"ESCAPE", VK_ESCAPE}, {"R", 'R'},
                {"MINUS", VK_OEM_MINUS}, {"-", VK_OEM_MINUS}};
    for (const auto& k : keys) EXPECT_EQ(KeyNameToVirtualKey(k.name), k.vk) << k.name;
    for (const char* unknown : {",", "F13", "F0", "..", "PERIODS", ""}) EXPECT_EQ(KeyNameToVirtualKey(unknown), 0) << unknown;
    // A scripted "." types the character the demo steps on.
    EXPECT_EQ(win::KeyCharacter(VK_OEM_PERIOD), '.');
    EXPECT_EQ(win::KeyCharacter(VK_OEM_4), '[');
    EXPECT_EQ(win::KeyCharacter(VK_OEM_6), ']');
}

TEST(CommandLine, EveryOptionWithItsValue) {
    RunOptions o;
    std::string error;
    ASSERT_EQ(Parse({"--headless", "--device", "ref", "--frames", "12", "--fixed-step=0.02", "--keys",
                     "5:up:A,1:down:SPACE,1:press:F12,2:char:3", "--screenshot", "out.png", "--capture", "dir",
                     "--every", "4", "--size", "64x48", "--msaa", "4", "--stats", "--grid", "32"},
                    &o, &error),
              ParseResult::Run)
        << error;
    EXPECT_TRUE(o.headless);
    EXPECT_EQ(o.device, DeviceChoice::Ref);
    EXPECT_EQ(o.frames, 12u);
    EXPECT_DOUBLE_EQ(o.fixedStep, 0.02);
    ASSERT_EQ(o.keys.size(), 4u);
    // Sorted by frame, script order kept within a frame.
    EXPECT_EQ(o.keys[0].frame, 1u);
    EXPECT_EQ(o.keys[0].virtualKey, VK_SPACE);
    EXPECT_EQ(o.keys[1].action, ScriptAction::Press);
    EXPECT_EQ(o.keys[1].virtualKey, VK_F12);
    EXPECT_EQ(o.keys[2].action, ScriptAction::Char);
    EXPECT_EQ(o.keys[2].character, '3');
    EXPECT_EQ(o.keys[3].virtualKey, 'A');
    EXPECT_EQ(o.screenshot, "out.png");
    EXPECT_EQ(o.captureDir, "dir");
    EXPECT_EQ(o.every, 4u);
    EXPECT_EQ(o.width, 64u);
    EXPECT_EQ(o.height, 48u);
    EXPECT_TRUE(o.stats);
    EXPECT_EQ(o.msaa, 4u);
    EXPECT_EQ(o.grid, 32u);

    RunOptions none;
    ASSERT_EQ(Parse({}, &none, &error), ParseResult::Run);
    EXPECT_FALSE(none.headless);
    EXPECT_EQ(none.frames, 0u);
    // The largest size is the largest back buffer the device makes, and the help says so.
    RunOptions largest;
    ASSERT_EQ(Parse({"--size", "8192x8192"}, &largest, &error), ParseResult::Run) << error;
    EXPECT_EQ(largest.width, 8192u);
    EXPECT_NE(UsageText("simmerglass").find("16 to\n                        8192"), std::string::npos);
    EXPECT_EQ(none.msaa, 0u);
    ASSERT_EQ(Parse({"--msaa=2"}, &o, &error), ParseResult::Run);
    EXPECT_EQ(o.msaa, 2u);
    EXPECT_EQ(none.grid, 0u);  // the application's own
    EXPECT_TRUE(none.vsync);   // in step with the display unless asked not to be
    ASSERT_EQ(Parse({"--vsync", "off"}, &o, &error), ParseResult::Run);
    EXPECT_FALSE(o.vsync);
    ASSERT_EQ(Parse({"--vsync=on"}, &o, &error), ParseResult::Run);
    EXPECT_TRUE(o.vsync);
    // Smooth edges: off unless asked; each method by name, the last one given counts.
    EXPECT_EQ(none.aa, AntiAliasing::Off);
    ASSERT_EQ(Parse({"--aa", "auto"}, &o, &error), ParseResult::Run);
    EXPECT_EQ(o.aa, AntiAliasing::Auto);
    ASSERT_EQ(Parse({"--aa=edge"}, &o, &error), ParseResult::Run);
    EXPECT_EQ(o.aa, AntiAliasing::Edge);
    ASSERT_EQ(Parse({"--aa", "edge", "--aa", "off", "--msaa", "4"}, &o, &error), ParseResult::Run) << error;
    EXPECT_EQ(o.aa, AntiAliasing::Off);
    EXPECT_EQ(o.msaa, 4u);
    ASSERT_EQ(Parse({"--aa", "auto", "--msaa", "0"}, &o, &error), ParseResult::Run) << error;
    EXPECT_EQ(Parse({"--help"}, &o, &error), ParseResult::Help);
    EXPECT_EQ(Parse({"--version"}, &o, &error), ParseResult::Version);
}

TEST(CommandLine, BadOptionsAndValuesAreUsageErrors) {
    const std::vector<std::vector<std::string>> bad = {
        {"--bogus"},           {"-h"},                  {"headless"},           {"--device"},
        {"--device", "gpu"},   {"--frames", "0"},       {"--frames", "-3"},     {"--frames", "12x"},
        {"--frames", "99999999999999"}, {"--fixed-step", "0"}, {"--fixed-step", "nan"}, {"--fixed-step", "-1"},
        {"--fixed-step", "1e9"}, {"--size", "64"},      {"--size", "0x48"},     {"--size", "64x48x2"},
        {"--size", "8x8"},     {"--size", "8193x16"},   {"--size", "16x8193"},  {"--every", "2"},        {"--capture", "d", "--every", "0"},
        {"--screenshot", ""},  {"--headless=yes"},      {"--keys", ""},         {"--keys", "1:down"},
        {"--keys", "x:down:A"}, {"--keys", "1:hold:A"}, {"--keys", "1:down:F13"}, {"--keys", "1:down:AB"},
        {"--keys", "1:char:ab"}, {"--keys", "1:down:A,"}, {"--keys", ",1:down:A"}, {"--keys", "-1:down:A"},
        {"--keys", "1:down:F0"}, {"--msaa", "3"},     {"--msaa", "8"},       {"--msaa", "04"},
        {"--msaa", ""},        {"--msaa", "-4"},       {"--msaa"},
        {"--aa"},              {"--aa", ""},            {"--aa", "AUTO"},       {"--aa", "fxaa"},
        {"--aa", "auto", "--msaa", "2"}, {"--msaa", "4", "--aa", "edge"},
        {"--keys", "1:drag:5"}, {"--keys", "1:drag:5:"}, {"--keys", "1:drag:a:3"}, {"--keys", "1:drag:5:3:1"},
        {"--keys", "1:drag:16001:0"}, {"--keys", "1:rdrag:--4:0"}, {"--keys", "1:drag:4.5:0"},
        {"--keys", "1:wheel:0"}, {"--keys", "1:wheel:274"}, {"--keys", "1:wheel:-"}, {"--keys", "1:wheel:"},
        {"--keys", "1:wheel:1:2"},
        {"--keys", "1:down:F0"}, {"--grid", "2"},       {"--grid", "7"},        {"--grid", "66"},
        {"--grid", "-8"},      {"--grid", "16x"},       {"--grid", ""},         {"--grid"},
        {"--vsync"},           {"--vsync", ""},         {"--vsync", "yes"},     {"--vsync", "ON"},
        {"--vsync", "1"},      {"--vsync=of"},
    };
    for (const auto& args : bad) {
        RunOptions o;
        std::string error;
        std::string joined;
        for (const auto& a : args) joined += a + " ";
        EXPECT_EQ(Parse(args, &o, &error), ParseResult::UsageError) << joined;
        EXPECT_FALSE(error.empty()) << joined;
        EXPECT_EQ(error.find('\n'), std::string::npos) << joined;
    }
}

TEST(CommandLine, MouseItemsInTheKeyScript) {
    std::vector<KeyEvent> events;
    std::string error;
    ASSERT_TRUE(ParseKeyScript("9:wheel:-3,2:drag:-80:+40,2:rdrag:0:-16000,3:wheel:273", &events, &error)) << error;
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].action, ScriptAction::Drag);
    EXPECT_EQ(events[0].dx, -80);
    EXPECT_EQ(events[0].dy, 40);
    EXPECT_EQ(events[1].action, ScriptAction::RightDrag);
    EXPECT_EQ(events[1].dy, -16000);
    EXPECT_EQ(events[2].notches, 273);
    EXPECT_EQ(events[3].action, ScriptAction::Wheel);
    EXPECT_EQ(events[3].frame, 9u);
    EXPECT_EQ(events[3].notches, -3);
}

// --grid: every even size from 4 to 64 is taken; the error names the reason.
TEST(CommandLine, GridSizesAndTheReasonsTheyAreRefused) {
    for (unsigned n = 4; n <= 64; n += 2) {
        RunOptions o;
        std::string error;
        ASSERT_EQ(Parse({"--grid=" + std::to_string(n)}, &o, &error), ParseResult::Run) << n;
        EXPECT_EQ(o.grid, n);
    }
    const std::pair<const char*, const char*> refused[] = {
        {"3", "--grid 3: the grid needs at least 4 cells per axis"},
        {"0", "--grid 0: the grid needs at least 4 cells per axis"},
        {"65", "--grid 65: the grid allows at most 64 cells per axis"},
        {"128", "--grid 128: the grid allows at most 64 cells per axis"},
        {"33", "--grid 33: the number of cells per axis must be even"},
        {"ten", "--grid needs an even number of cells per axis from 4 to 64, not 'ten'"},
    };
    for (const auto& [value, message] : refused) {
        RunOptions o;
        std::string error;
        EXPECT_EQ(Parse({"--grid", value}, &o, &error), ParseResult::UsageError) << value;
        EXPECT_EQ(error, message);
    }
    EXPECT_NE(UsageText("simmerglass").find("--grid N"), std::string::npos);
}

TEST(CommandLine, KeyNames) {
    EXPECT_EQ(KeyNameToVirtualKey("SPACE"), VK_SPACE);
    EXPECT_EQ(KeyNameToVirtualKey("ESCAPE"), VK_ESCAPE);
    EXPECT_EQ(KeyNameToVirtualKey("RETURN"), VK_RETURN);
    EXPECT_EQ(KeyNameToVirtualKey("LEFT"), VK_LEFT);
    EXPECT_EQ(KeyNameToVirtualKey("F1"), VK_F1);
    EXPECT_EQ(KeyNameToVirtualKey("F10"), VK_F10);
    EXPECT_EQ(KeyNameToVirtualKey("Z"), 'Z');
    EXPECT_EQ(KeyNameToVirtualKey("z"), 'Z');
    EXPECT_EQ(KeyNameToVirtualKey("0"), '0');
    EXPECT_EQ(KeyNameToVirtualKey("F13"), 0);
    EXPECT_EQ(KeyNameToVirtualKey("TAB"), 0);
    EXPECT_EQ(KeyNameToVirtualKey(""), 0);
}

TEST(CommandLine, EntryPointAnswersUsageHelpAndVersion) {
    char prog[] = "/usr/bin/simmerglass", bogus[] = "--bogus", help[] = "--help", version[] = "--version";
    char* usage[] = {prog, bogus};
    EXPECT_EQ(RunApplication(2, usage, [] { return std::unique_ptr<AppFramework>(); }), 2);
    char* h[] = {prog, help};
    EXPECT_EQ(RunApplication(2, h, [] { return std::unique_ptr<AppFramework>(); }), 0);
    char* v[] = {prog, version};
    EXPECT_EQ(RunApplication(2, v, [] { return std::unique_ptr<AppFramework>(); }), 0);
}

// Records the keyboard messages with the number of frames presented before each.
class KeyRecordingApp : public RecordingApp {
public:
    HRESULT RenderFrame() override {
        ++frames;
        return S_OK;
    }
    LRESULT HandleMessage(HWND w, UINT message, WPARAM wParam, LPARAM lParam) override {
        char text[64] = "";
        if (message == WM_KEYDOWN)
            std::snprintf(text, sizeof text, "%d down %02X%s", frames, static_cast<unsigned>(wParam),
                          (lParam & (1 << 30)) ? " repeat" : "");
        else if (message == WM_KEYUP)
            std::snprintf(text, sizeof text, "%d up %02X", frames, static_cast<unsigned>(wParam));
        else if (message == WM_CHAR)
            std::snprintf(text, sizeof text, "%d char %c", frames, static_cast<char>(wParam));
        else if (message == WM_COMMAND)
            std::snprintf(text, sizeof text, "%d command %u", frames, static_cast<unsigned>(LOWORD(wParam)));
        else if (message == WM_MOUSEWHEEL)
            std::snprintf(text, sizeof text, "%d wheel %d", frames, GET_WHEEL_DELTA_WPARAM(wParam));
        else if (message >= WM_MOUSEMOVE && message < WM_MOUSEWHEEL)
            std::snprintf(text, sizeof text, "%d mouse %03X %X %d,%d", frames, message, static_cast<unsigned>(wParam),
                          GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        if (text[0]) keys.push_back(text);
        return AppFramework::HandleMessage(w, message, wParam, lParam);
    }
    static std::vector<std::string> keys;
    int frames = 0;
};
std::vector<std::string> KeyRecordingApp::keys;

class ScriptedKeysTest : public FrameworkTest {};

TEST_F(ScriptedKeysTest, ScriptArrivesAsKeyboardMessagesWithAutoRepeat) {
    KeyRecordingApp::keys.clear();
    // 0.11 s per frame: the repeat starts 0.5 s after the key went down, then 30 per second.
    char prog[] = "simmerglass", headless[] = "--headless", frames[] = "--frames", n[] = "9", step[] = "--fixed-step",
         s[] = "0.11", keysOpt[] = "--keys", script[] = "0:char:3,1:down:SPACE,7:up:SPACE,8:press:F2,8:press:RETURN";
    char* argv[] = {prog, headless, frames, n, step, s, keysOpt, script};
    ASSERT_EQ(RunApplication(8, argv, [] { return std::unique_ptr<AppFramework>(new KeyRecordingApp); }), 0);
    const std::vector<std::string>& k = KeyRecordingApp::keys;
    std::vector<std::string> expected = {"0 char 3", "1 down 20", "1 char  "};
    // After frames 2..5 (0.11..0.44 s held) no repeat. After frame 6 (0.55 s) the repeats due at
    // 0.5 and 0.533 s arrive; after frame 7 (0.66 s) those of 0.567, 0.6 and 0.633 s; then the release.
    for (int i = 0; i < 2; ++i) {
        expected.push_back("6 down 20 repeat");
        expected.push_back("6 char  ");
    }
    for (int i = 0; i < 3; ++i) {
        expected.push_back("7 down 20 repeat");
        expected.push_back("7 char  ");
    }
    for (const char* e : {"7 up 20", "8 down 71", "8 up 71", "8 down 0D", "8 char \r", "8 up 0D"}) expected.push_back(e);
    EXPECT_EQ(k, expected);
}

// A scripted drag is a press at the client area's centre, a move and a release, with the
// button flags a real mouse gives; a wheel item turns 120 a notch at the centre.
TEST_F(ScriptedKeysTest, MouseItemsArriveAsAMousesMessages) {
    KeyRecordingApp::keys.clear();
    char prog[] = "simmerglass", headless[] = "--headless", frames[] = "--frames", n[] = "3", size[] = "--size",
         wh[] = "64x48", keysOpt[] = "--keys", script[] = "1:drag:-40:5,2:rdrag:3:3,2:wheel:-2";
    char* argv[] = {prog, headless, frames, n, size, wh, keysOpt, script};
    ASSERT_EQ(RunApplication(8, argv, [] { return std::unique_ptr<AppFramework>(new KeyRecordingApp); }), 0);
    EXPECT_EQ(KeyRecordingApp::keys, (std::vector<std::string>{
                                         "1 mouse 200 0 32,24", "1 mouse 201 1 32,24", "1 mouse 200 1 -8,29",
                                         "1 mouse 202 0 -8,29", "2 mouse 200 0 32,24", "2 mouse 204 2 32,24",
                                         "2 mouse 200 2 35,27", "2 mouse 205 0 35,27", "2 mouse 200 0 32,24",
                                         "2 wheel -240"}));
}

TEST_F(ScriptedKeysTest, ProgramAcceleratorsQuitAndSwallowTheKey) {
    KeyRecordingApp::keys.clear();
    char prog[] = "simmerglass", headless[] = "--headless", frames[] = "--frames", n[] = "50", step[] = "--fixed-step",
         s[] = "0.1", keysOpt[] = "--keys", script[] = "2:press:ESCAPE";
    char* argv[] = {prog, headless, frames, n, step, s, keysOpt, script};
    ASSERT_EQ(RunApplication(8, argv, [] { return std::unique_ptr<AppFramework>(new KeyRecordingApp); }), 0);
    // Escape runs CmdQuit and reaches the application neither as a key nor as a character.
    EXPECT_EQ(KeyRecordingApp::keys, (std::vector<std::string>{"2 command 40006"}));
    EXPECT_LT(std::count(EventLog().begin(), EventLog().end(), "Present"), 5);
}

}  // namespace

// Command-line parsing: one table of options; values checked strictly (a number is all
// digits, sizes and counts within sane bounds), so that a typo is a usage error, not a surprise.
#include "app/CommandLine.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "app/VideoRecorder.h"
#include "platform/d3d/D3DHost.h"
#include "platform/win/WinFile.h"
#include "fluid/GridSize.h"
#include "platform/win/WinUser.h"

namespace {

bool ParseUnsigned(const std::string& text, unsigned long long max, unsigned long long* value) {
    if (text.empty() || text.size() > 12) return false;
    unsigned long long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<unsigned>(c - '0');
    }
    if (v > max) return false;
    *value = v;
    return true;
}

bool ParseSeconds(const std::string& text, double* value) {
    if (text.empty() || text.size() > 32) return false;
    for (char c : text)
        if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == 'e' || c == 'E' || c == '-' || c == '+'))
            return false;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (!end || *end != '\0' || !std::isfinite(v) || v <= 0.0 || v > 60.0) return false;
    *value = v;
    return true;
}

// A signed whole number within [-limit, limit]: an optional sign and at most 6 digits.
bool ParseSigned(const std::string& text, int limit, int* value) {
    bool negative = !text.empty() && text[0] == '-';
    size_t start = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    unsigned long long v = 0;
    if (text.size() - start > 6 || !ParseUnsigned(text.substr(start), static_cast<unsigned long long>(limit), &v))
        return false;
    *value = negative ? -static_cast<int>(v) : static_cast<int>(v);
    return true;
}

bool ParseSize(const std::string& text, unsigned* w, unsigned* h) {
    size_t x = text.find('x');
    if (x == std::string::npos) x = text.find('X');
    if (x == std::string::npos) return false;
    unsigned long long a = 0, b = 0;
    // The window's client area is the device's back buffer: no larger than the device makes.
    const unsigned long long max = d3dhost::kMaxBackBufferSide;
    if (!ParseUnsigned(text.substr(0, x), max, &a) || !ParseUnsigned(text.substr(x + 1), max, &b)) return false;
    if (a < 16 || b < 16) return false;
    *w = static_cast<unsigned>(a);
    *h = static_cast<unsigned>(b);
    return true;
}

struct NamedKey {
    const char* name;
    BYTE vk;
};
const NamedKey kNamedKeys[] = {
    {"SPACE", VK_SPACE}, {"UP", VK_UP},       {"DOWN", VK_DOWN},     {"LEFT", VK_LEFT},
    {"RIGHT", VK_RIGHT}, {"ESCAPE", VK_ESCAPE}, {"RETURN", VK_RETURN},
    {".", VK_OEM_PERIOD}, {"PERIOD", VK_OEM_PERIOD}, {"[", VK_OEM_4}, {"LEFTBRACKET", VK_OEM_4},
    {"]", VK_OEM_6}, {"RIGHTBRACKET", VK_OEM_6}, {"-", VK_OEM_MINUS}, {"MINUS", VK_OEM_MINUS},
};

// Limits of scripted mouse input: a drag stays within what a window's coordinates can carry
// (signed 16 bits with the centre added), the wheel within one message's delta.
constexpr int kMaxDrag = 16000;
constexpr int kMaxNotches = 273;  // 273 x 120 fits a signed 16-bit delta

enum class OptionId {
    Headless, Device, Frames, FixedStep, Keys, Screenshot, Capture, Every, Size, Msaa, Aa, Stats, Grid, Vsync, Record,
    Help, Version
};
struct OptionEntry {
    const char* name;
    OptionId id;
    bool takesValue;
};
const OptionEntry kOptions[] = {
    {"--headless", OptionId::Headless, false}, {"--device", OptionId::Device, true},
    {"--frames", OptionId::Frames, true},      {"--fixed-step", OptionId::FixedStep, true},
    {"--keys", OptionId::Keys, true},          {"--screenshot", OptionId::Screenshot, true},
    {"--capture", OptionId::Capture, true},    {"--every", OptionId::Every, true},
    {"--size", OptionId::Size, true},          {"--msaa", OptionId::Msaa, true},
    {"--aa", OptionId::Aa, true},
    {"--stats", OptionId::Stats, false},       {"--grid", OptionId::Grid, true},
    {"--vsync", OptionId::Vsync, true},
    {"--record", OptionId::Record, true},
    {"--help", OptionId::Help, false},         {"--version", OptionId::Version, false},
};

}  // namespace

BYTE KeyNameToVirtualKey(const std::string& name) {
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const NamedKey& k : kNamedKeys)
        if (upper == k.name) return k.vk;
    if (upper.size() == 1 && ((upper[0] >= 'A' && upper[0] <= 'Z') || (upper[0] >= '0' && upper[0] <= '9')))
        return static_cast<BYTE>(upper[0]);
    if (upper.size() >= 2 && upper.size() <= 3 && upper[0] == 'F') {
        unsigned long long n = 0;
        if (ParseUnsigned(upper.substr(1), 12, &n) && n >= 1 && upper[1] != '0') return static_cast<BYTE>(VK_F1 + n - 1);
    }
    return 0;
}

bool ParseKeyScript(const std::string& script, std::vector<KeyEvent>* events, std::string* error) {
    std::vector<KeyEvent> parsed;
    if (script.empty()) {
        *error = "empty key script";
        return false;
    }
    size_t start = 0;
    while (start <= script.size()) {
        size_t comma = script.find(',', start);
        std::string item = script.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        size_t c1 = item.find(':');
        size_t c2 = c1 == std::string::npos ? std::string::npos : item.find(':', c1 + 1);
        if (c2 == std::string::npos) {
            *error = "key script item '" + item + "' is not FRAME:ACTION:KEY (or FRAME:drag:DX:DY, FRAME:wheel:N)";
            return false;
        }
        std::string frameText = item.substr(0, c1);
        std::string action = item.substr(c1 + 1, c2 - c1 - 1);
        std::string key = item.substr(c2 + 1);
        unsigned long long frame = 0;
        if (!ParseUnsigned(frameText, 1000000000ull, &frame)) {
            *error = "key script item '" + item + "' has a bad frame number";
            return false;
        }
        KeyEvent e{static_cast<unsigned>(frame), ScriptAction::Down, 0, 0};
        if (action == "drag" || action == "rdrag") {
            size_t c3 = key.find(':');
            if (c3 == std::string::npos || !ParseSigned(key.substr(0, c3), kMaxDrag, &e.dx) ||
                !ParseSigned(key.substr(c3 + 1), kMaxDrag, &e.dy)) {
                *error = "key script item '" + item + "': " + action + " needs DX:DY, whole pixels from -" +
                         std::to_string(kMaxDrag) + " to " + std::to_string(kMaxDrag);
                return false;
            }
            e.action = action == "drag" ? ScriptAction::Drag : ScriptAction::RightDrag;
        } else if (action == "wheel") {
            if (!ParseSigned(key, kMaxNotches, &e.notches) || e.notches == 0) {
                *error = "key script item '" + item + "': wheel needs a number of notches from -" +
                         std::to_string(kMaxNotches) + " to " + std::to_string(kMaxNotches) + ", not 0";
                return false;
            }
            e.action = ScriptAction::Wheel;
        } else if (action == "char") {
            if (key.size() != 1 || static_cast<unsigned char>(key[0]) < 0x20 || key[0] == 0x7F) {
                *error = "key script item '" + item + "': char needs one printable character";
                return false;
            }
            e.action = ScriptAction::Char;
            e.character = key[0];
        } else {
            if (action == "down")
                e.action = ScriptAction::Down;
            else if (action == "up")
                e.action = ScriptAction::Up;
            else if (action == "press")
                e.action = ScriptAction::Press;
            else {
                *error = "key script item '" + item +
                         "' has an unknown action (down, up, press, char, drag, rdrag, wheel)";
                return false;
            }
            e.virtualKey = KeyNameToVirtualKey(key);
            if (e.virtualKey == 0) {
                *error = "key script item '" + item + "' names an unknown key";
                return false;
            }
        }
        parsed.push_back(e);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    std::stable_sort(parsed.begin(), parsed.end(), [](const KeyEvent& a, const KeyEvent& b) { return a.frame < b.frame; });
    *events = std::move(parsed);
    return true;
}

ParseResult ParseCommandLine(int argc, const char* const* argv, RunOptions* options, std::string* error) {
    RunOptions o;
    bool everyGiven = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i] ? argv[i] : "";
        std::string name = arg, value;
        bool inlineValue = false;
        if (size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            inlineValue = true;
        }
        const OptionEntry* entry = nullptr;
        for (const OptionEntry& s : kOptions)
            if (name == s.name) entry = &s;
        if (!entry) {
            *error = "unknown option '" + arg + "'";
            return ParseResult::UsageError;
        }
        if (entry->takesValue && !inlineValue) {
            if (i + 1 >= argc || !argv[i + 1]) {
                *error = "option " + name + " needs a value";
                return ParseResult::UsageError;
            }
            value = argv[++i];
        } else if (!entry->takesValue && inlineValue) {
            *error = "option " + name + " takes no value";
            return ParseResult::UsageError;
        }
        unsigned long long n = 0;
        switch (entry->id) {
            case OptionId::Headless: o.headless = true; break;
            case OptionId::Stats: o.stats = true; break;
            case OptionId::Help: return ParseResult::Help;
            case OptionId::Version: return ParseResult::Version;
            case OptionId::Device:
                if (value == "hal")
                    o.device = DeviceChoice::Hal;
                else if (value == "ref")
                    o.device = DeviceChoice::Ref;
                else {
                    *error = "--device must be hal or ref, not '" + value + "'";
                    return ParseResult::UsageError;
                }
                break;
            case OptionId::Frames:
                if (!ParseUnsigned(value, 100000000ull, &n) || n == 0) {
                    *error = "--frames needs a whole number of frames from 1, not '" + value + "'";
                    return ParseResult::UsageError;
                }
                o.frames = static_cast<unsigned>(n);
                break;
            case OptionId::FixedStep:
                if (!ParseSeconds(value, &o.fixedStep)) {
                    *error = "--fixed-step needs seconds above 0 and at most 60, not '" + value + "'";
                    return ParseResult::UsageError;
                }
                break;
            case OptionId::Keys: {
                std::string why;
                if (!ParseKeyScript(value, &o.keys, &why)) {
                    *error = "--keys: " + why;
                    return ParseResult::UsageError;
                }
                break;
            }
            case OptionId::Screenshot:
                if (value.empty()) {
                    *error = "--screenshot needs a file name";
                    return ParseResult::UsageError;
                }
                o.screenshot = value;
                break;
            case OptionId::Capture:
                if (value.empty()) {
                    *error = "--capture needs a folder";
                    return ParseResult::UsageError;
                }
                o.captureDir = value;
                break;
            case OptionId::Every:
                if (!ParseUnsigned(value, 100000000ull, &n) || n == 0) {
                    *error = "--every needs a whole number of frames from 1, not '" + value + "'";
                    return ParseResult::UsageError;
                }
                o.every = static_cast<unsigned>(n);
                everyGiven = true;
                break;
            case OptionId::Size:
                if (!ParseSize(value, &o.width, &o.height)) {
                    *error = "--size needs WIDTHxHEIGHT, each from 16 to " + std::to_string(d3dhost::kMaxBackBufferSide) +
                             " (the largest picture the device makes), not '" + value + "'";
                    return ParseResult::UsageError;
                }
                break;
            case OptionId::Msaa:
                if (value != "0" && value != "2" && value != "4") {
                    *error = "--msaa needs 0, 2 or 4 samples per pixel, not '" + value + "'";
                    return ParseResult::UsageError;
                }
                o.msaa = static_cast<unsigned>(value[0] - '0');
                break;
            case OptionId::Vsync:
                if (value != "on" && value != "off") {
                    *error = "--vsync needs on or off, not '" + value + "'";
                    return ParseResult::UsageError;
                }
                o.vsync = value == "on";
                break;
            case OptionId::Aa:
                if (value == "auto") {
                    o.aa = AntiAliasing::Auto;
                } else if (value == "edge") {
                    o.aa = AntiAliasing::Edge;
                } else if (value == "off") {
                    o.aa = AntiAliasing::Off;
                } else {
                    *error = "--aa needs auto, edge or off, not '" + value + "'";
                    return ParseResult::UsageError;
                }
                break;
            case OptionId::Grid:
                if (!ParseUnsigned(value, 100000000ull, &n)) {
                    *error = "--grid needs an even number of cells per axis from 4 to 64, not '" + value + "'";
                    return ParseResult::UsageError;
                }
                if (const char* why = grid_size::Error(static_cast<long long>(n)); *why) {
                    *error = "--grid " + value + ": " + why;
                    return ParseResult::UsageError;
                }
                o.grid = static_cast<unsigned>(n);
                break;
            case OptionId::Record:
                if (VideoFormatOf(value) == VideoFormat::Unknown) {
                    *error = "--record needs a file ending in .mp4, .mkv or .y4m, or - for YUV4MPEG2 on standard "
                             "output, not '" + value + "'";
                    return ParseResult::UsageError;
                }
                if (value.back() == '/' || GetFileAttributesA(value.c_str()) == FILE_ATTRIBUTE_DIRECTORY) {
                    *error = "--record " + value + ": it is a folder";
                    return ParseResult::UsageError;
                }
                o.record = value;
                break;
        }
    }
    if (everyGiven && o.captureDir.empty()) {
        *error = "--every needs --capture";
        return ParseResult::UsageError;
    }
    if (o.record == "-" && o.stats) {
        *error = "--record - and --stats both write to standard output";
        return ParseResult::UsageError;
    }
    if (o.aa != AntiAliasing::Off && o.msaa != 0) {
        *error = "--aa and --msaa each choose how edges are smoothed; give one of them";
        return ParseResult::UsageError;
    }
    *options = std::move(o);
    return ParseResult::Run;
}

std::string UsageText(const char* program) {
    std::string p = program ? program : "simmerglass";
    return "Usage: " + p + " [options]\n"
           "  --headless            no display: the software (REF) device renders offscreen\n"
           "  --device hal|ref      use only the hardware (hal) or the software (ref) device\n"
           "  --frames N            close after N presented frames (message boxes then go to\n"
           "                        standard error instead of waiting for a click)\n"
           "  --fixed-step S        the clock advances exactly S seconds per frame\n"
           "  --keys SCRIPT         input events at frame numbers, comma-separated items:\n"
           "                        FRAME:ACTION:KEY with ACTION down, up, press or char and\n"
           "                        KEY SPACE, UP, DOWN, LEFT, RIGHT, F1..F12, ESCAPE, RETURN,\n"
           "                        A..Z, 0..9, . [ ] - (or PERIOD, LEFTBRACKET,\n"
           "                        RIGHTBRACKET, MINUS) (char: one character);\n"
           "                        FRAME:drag:DX:DY  left-button drag from the window's centre\n"
           "                        by DX, DY pixels (right, down), released in the same frame;\n"
           "                        FRAME:rdrag:DX:DY the same with the right button;\n"
           "                        FRAME:wheel:N     N wheel notches, positive away from you\n"
           "                        e.g. 30:down:SPACE,90:up:SPACE,120:press:F2,130:drag:-80:0\n"
           "  --screenshot PATH     write the last presented frame as a PNG\n"
           "  --capture DIR         write presented frames as numbered PNGs into DIR\n"
           "  --every K             with --capture: every K-th frame (default 1)\n"
           "  --size WxH            initial client size of the window, each side from 16 to\n"
           "                        " + std::to_string(d3dhost::kMaxBackBufferSide) + " (the largest picture the device makes)\n"
           "  --msaa N              anti-aliasing with N samples per pixel: 0 (none, the\n"
           "                        default), 2 or 4; a device without N runs with none\n"
           "  --aa auto|edge|off    smooth edges: auto takes 4 samples per pixel on a hardware\n"
           "                        device and the edge filter (a cheap pass over the finished\n"
           "                        picture) on the software device or where samples are\n"
           "                        missing; edge filters on any device; off (the default)\n"
           "                        smooths nothing. Not together with --msaa\n"
           "  --stats               one statistics line per frame on standard output; its last\n"
           "                        field is the frame's wall-clock time (wall N ms), real time\n"
           "                        even with --fixed-step\n"
           "  --grid N              fluid grid of N x N x N cells, N even from 4 to 64 (default 8)\n"
           "  --vsync on|off        in a window, show frames in step with the display (on, the\n"
           "                        default) or as fast as they come (off); headless never waits\n"
           "  --record FILE         write the presented frames as a video: FILE.mp4 or FILE.mkv\n"
           "                        (H.264), FILE.y4m (uncompressed YUV4MPEG2), or - for\n"
           "                        YUV4MPEG2 on standard output; 1/S frames a second with\n"
           "                        --fixed-step S, else 60 in real time\n"
           "  --help                show this text\n"
           "  --version             show the version\n"
           "With --frames, a headless run shows its progress on standard error when that is a\n"
           "terminal. Ctrl+C or SIGTERM end the run as closing the window does (status 130 or\n"
           "143, the capture and the video finished); a second Ctrl+C ends it at once.\n"
           "Keys besides the program's own: Escape quits; Alt+Enter and F11 switch full screen.\n"
           "Mouse: drag with the left button to orbit, turn the wheel to move closer or farther.\n";
}

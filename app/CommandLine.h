// The program's command line: options parsed before the application object is made, and the
// input script of --keys (key and mouse events at given frame numbers).
#pragma once

#include <string>
#include <vector>

#include "platform/win/WinTypes.h"

enum class ScriptAction { Down, Up, Press, Char, Drag, RightDrag, Wheel };

// One scripted input event: delivered once `frame` frames have been presented (0 = before the
// first frame). A drag presses the button at the centre of the client area, moves by (dx, dy)
// and releases, all before the next frame.
struct KeyEvent {
    unsigned frame;
    ScriptAction action;
    BYTE virtualKey;  // Down, Up, Press
    char character;   // Char
    int dx = 0, dy = 0;  // Drag, RightDrag: pixels right and down
    int notches = 0;     // Wheel: forward (away from the user) positive
};

enum class DeviceChoice { Any, Hal, Ref };

// --aa: smooth edges by the method the device does best (auto: 4 samples per pixel on a hardware
// device, the edge filter on the software device or where samples are missing), by the edge filter
// on any device, or none.
enum class AntiAliasing { Off, Auto, Edge };

struct RunOptions {
    bool headless = false;
    DeviceChoice device = DeviceChoice::Any;
    unsigned frames = 0;      // 0 = run until the window closes
    double fixedStep = 0.0;   // seconds per frame; 0 = the real clock
    std::vector<KeyEvent> keys;  // sorted by frame, script order within a frame
    std::string screenshot;   // PNG of the last presented frame; empty = none
    std::string captureDir;   // numbered PNGs of every `every`-th frame; empty = none
    unsigned every = 1;
    unsigned width = 0, height = 0;  // initial client size; 0 = the application's own
    bool stats = false;       // one statistics line per frame on standard output
    unsigned msaa = 0;        // samples per pixel asked of the device: 0 (none), 2 or 4
    AntiAliasing aa = AntiAliasing::Off;  // never with msaa > 0
    unsigned grid = 0;        // fluid grid cells per axis (even, 4 to 64); 0 = the application's own
    bool vsync = true;        // frames in a window wait for the display's refresh
    std::string record;       // video of the presented frames (.mp4, .mkv, .y4m or "-"); empty = none
};

enum class ParseResult { Run, Help, Version, UsageError };

// Parses argv[1..]. Options take their value as the next argument or after '='. On a usage
// error, *error holds a one-line message (without the program name).
ParseResult ParseCommandLine(int argc, const char* const* argv, RunOptions* options, std::string* error);

// Parses a --keys script: comma-separated items FRAME:ACTION:KEY, FRAME:drag:DX:DY,
// FRAME:rdrag:DX:DY and FRAME:wheel:N. False with *error on a malformed script; *events is
// then unchanged.
bool ParseKeyScript(const std::string& script, std::vector<KeyEvent>* events, std::string* error);

// The usage text, several lines, each ending in a newline.
std::string UsageText(const char* program);

// The virtual-key code of a script key name (SPACE, UP, F1, A, 7, ...), 0 when unknown.
BYTE KeyNameToVirtualKey(const std::string& name);

// The entry point: command line, display or headless set-up, the device's presenter, the
// program's accelerator table, and the per-frame extras of the command line (frame limit,
// scripted keys with auto-repeat and mouse input, captures, the video, progress on a terminal,
// the statistics line with each frame's wall-clock time); Ctrl+C and SIGTERM close the window.
//
// Index: [SECTION] Presenter, [SECTION] Frame runner, [SECTION] Console events,
//        [SECTION] Entry point
#include "app/RunApplication.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/CommandLine.h"
#include "app/HostSession.h"
#include "app/Screenshot.h"
#include "app/VideoRecorder.h"
#include "platform/win/WinConsole.h"
#include "platform/win/WinFile.h"
#include "platform/win/WinTime.h"

namespace {

// A held key repeats after this delay, then at this rate, as a keyboard does by default.
constexpr double kRepeatDelaySeconds = 0.5;
constexpr double kRepeatIntervalSeconds = 1.0 / 30.0;
// At most this many repeats are delivered after one frame, however long the frame took.
constexpr int kMaxRepeatsPerFrame = 30;

// The program's own accelerator table (resource 113): keys a Linux user expects.
const ACCEL kAccelerators[] = {
    {FVIRTKEY, VK_ESCAPE, CmdQuit},
    {FVIRTKEY | FALT, VK_RETURN, CmdSwitchFullscreen},
    {FVIRTKEY, VK_F11, CmdSwitchFullscreen},
};

// [SECTION] Presenter
class WindowPresenter : public d3dhost::Presenter {
public:
    void PresentFrame(HWND window, const DWORD* pixels, UINT width, UINT height, const RECT*, const RECT*) override {
        win::PresentPixels(window, pixels, width, height);
    }
    bool GetClientSize(HWND window, UINT* width, UINT* height) override {
        RECT r{};
        if (!GetClientRect(window, &r)) return false;
        *width = static_cast<UINT>(r.right - r.left);
        *height = static_cast<UINT>(r.bottom - r.top);
        return true;
    }
    void SetCursorImage(const DWORD* pixels, UINT width, UINT height, UINT hotSpotX, UINT hotSpotY) override {
        win::SetDeviceCursorImage(pixels, width, height, hotSpotX, hotSpotY);
    }
    // The device cursor is the system cursor with the device's image: it follows the mouse.
    void SetCursorPosition(int, int, DWORD) override {}
    void ShowCursor(bool show) override { win::ShowDeviceCursor(show); }
    bool PaceFrame(HWND window, bool waitForRefresh) override { return win::PaceFrame(window, waitForRefresh); }
    bool GetNativeWindow(HWND window, d3dhost::NativeWindow* native) override {
        if (win::GetX11Window(window, &native->display, &native->window, &native->visual)) {
            native->kind = d3dhost::NativeWindow::X11;
            return true;
        }
        if (win::GetWaylandWindow(window, &native->display, &native->surface)) {
            native->kind = d3dhost::NativeWindow::Wayland;
            return true;
        }
        return false;
    }
    void SetDrawnByDevice(HWND window, bool drawn) override { win::SetDrawnByDevice(window, drawn); }
};

D3DFORMAT FormatOf(win::PixelLayout layout) {
    switch (layout) {
        case win::PixelLayout::ARGB8888: return D3DFMT_A8R8G8B8;
        case win::PixelLayout::RGB565: return D3DFMT_R5G6B5;
        case win::PixelLayout::XRGB1555: return D3DFMT_X1R5G5B5;
        default: return D3DFMT_X8R8G8B8;
    }
}

D3DDISPLAYMODE ToD3DMode(const win::DisplayMode& m) {
    return D3DDISPLAYMODE{static_cast<UINT>(m.width), static_cast<UINT>(m.height),
                          static_cast<UINT>(m.refreshRate > 0 ? m.refreshRate : 0), FormatOf(m.layout)};
}

std::vector<d3dhost::DisplayInfo> DisplaysForDevice() {
    std::vector<d3dhost::DisplayInfo> result;
    for (const win::DisplayDescription& d : win::EnumerateDisplays()) {
        d3dhost::DisplayInfo info{};
        std::snprintf(info.name, sizeof info.name, "%s", d.name.c_str());
        info.desktop = ToD3DMode(d.desktop);
        // A desktop has no use for its alpha bits: it is reported as the X8 format.
        if (info.desktop.Format == D3DFMT_A8R8G8B8) info.desktop.Format = D3DFMT_X8R8G8B8;
        for (const win::DisplayMode& m : d.modes) {
            D3DDISPLAYMODE dm = ToD3DMode(m);
            if (dm.Format == D3DFMT_A8R8G8B8) dm.Format = D3DFMT_X8R8G8B8;
            info.modes.push_back(dm);
        }
        result.push_back(std::move(info));
    }
    return result;
}

// [SECTION] Frame runner
class FrameRunner : public FrameObserver {
    using WallClock = std::chrono::steady_clock;

public:
    explicit FrameRunner(const RunOptions& options) : options(options) {
        DWORD mode = 0;
        showProgress = options.headless && options.frames != 0 && GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode);
    }

    // Opens --record's file before anything runs; false with a message on standard error.
    bool OpenRecording() {
        if (options.record.empty()) return true;
        std::string error;
        if (recorder.Open(options.record, options.fixedStep, &error)) return true;
        std::fprintf(stderr, "simmerglass: cannot record %s: %s\n", options.record.c_str(), error.c_str());
        return false;
    }

    void FrameBegin(AppFramework&) override {
        if (!timing) {
            timing = true;
            lastPresented = WallClock::now();
        }
        win::AdvanceFixedStepClock();
    }

    void FramePresented(AppFramework& app) override {
        ++presented;
        // The frame's real duration, from the previous presentation (the first frame: from its
        // start). The application's clock may be the fixed-step one, whose rate says nothing.
        const WallClock::time_point now = WallClock::now();
        const double wallMs = std::chrono::duration<double, std::milli>(now - lastPresented).count();
        lastPresented = now;
        if (options.stats) {
            std::string extra = app.FrameStatsText();
            std::printf("frame %u | %s%s%s | wall %.2f ms\n", presented, app.FrameRateText(), extra.empty() ? "" : " | ",
                        extra.c_str(), wallMs);
            std::fflush(stdout);
        }
        if (!options.captureDir.empty() && presented % options.every == 0) {
            char name[32];
            std::snprintf(name, sizeof name, "/frame_%06u.png", presented);
            Capture(app, options.captureDir + name);
        }
        if (recorder.Recording()) Record(app, std::chrono::duration<double>(now - WallClock::time_point{}).count());
        if (showProgress) ShowProgress(now);
        DeliverKeys(app);
        if (options.frames != 0 && presented == options.frames) PostMessageA(app.MainWindow(), WM_CLOSE, 0, 0);
    }

    void DeviceClosing(AppFramework& app) override {
        FinishRecording();
        if (options.screenshot.empty() || screenshotDone) return;
        screenshotDone = true;
        if (presented == 0) {
            std::fprintf(stderr, "simmerglass: no frame was presented; %s not written\n", options.screenshot.c_str());
            failed = true;
            return;
        }
        Capture(app, options.screenshot);
    }

    // Events of frame 0, before the first frame.
    void Begin(AppFramework& app) { DeliverKeys(app); }

    // After the run: a screenshot asked for but never taken (the device went away with a
    // failed reset, say) is a failure that says so.
    void Finish() {
        FinishRecording();
        if (showProgress && progressShown) std::fputc('\n', stderr);
        if (options.screenshot.empty() || screenshotDone) return;
        screenshotDone = true;
        std::fprintf(stderr, "simmerglass: the device was gone before the last frame could be kept; %s not written\n",
                     options.screenshot.c_str());
        failed = true;
    }

    bool Failed() const { return failed; }

private:
    // [Frames kept] The presented frame, read back from the device once per presentation for
    // everything that keeps it (captures, the screenshot, the video); *why says why there is none.
    bool ReadPresentedFrame(AppFramework& app, std::string* why) {
        if (frameRead && framePresented == presented) return true;
        const HRESULT hr = app.Device() ? d3dhost::ReadPresentedFrame(app.Device(), &frame, &frameWidth, &frameHeight)
                                        : D3DERR_INVALIDCALL;
        frameRead = SUCCEEDED(hr);
        framePresented = presented;
        if (!frameRead) *why = hr == E_OUTOFMEMORY ? "not enough memory for the picture" : "the device kept no frame";
        return frameRead;
    }

    void Capture(AppFramework& app, const std::string& path) {
        std::string error;
        if (ReadPresentedFrame(app, &error) && WritePng(path, frame.data(), frameWidth, frameHeight, &error)) return;
        std::fprintf(stderr, "simmerglass: cannot write %s: %s\n", path.c_str(), error.c_str());
        failed = true;
    }

    // A recording that cannot go on stops with one message and ends the run, which has failed.
    void Record(AppFramework& app, double seconds) {
        std::string error;
        if (ReadPresentedFrame(app, &error) && recorder.AddFrame(frame.data(), frameWidth, frameHeight, seconds, &error)) return;
        RecordingFailed(error);
        PostMessageA(app.MainWindow(), WM_CLOSE, 0, 0);
    }

    void FinishRecording() {
        if (!recorder.Recording()) return;
        std::string error;
        if (!recorder.Finish(&error)) RecordingFailed(error);
    }

    void RecordingFailed(const std::string& error) {
        std::fprintf(stderr, "simmerglass: cannot write %s: %s; the recording stops\n",
                     options.record == "-" ? "the video to standard output" : options.record.c_str(), error.c_str());
        recorder.Abandon();
        failed = true;
    }

    // "frame 120 of 900, 31.5 frames/s, 0:25 left", rewritten in place four times a second.
    void ShowProgress(WallClock::time_point now) {
        if (presented == 1) progressStart = now;
        const double seconds = std::chrono::duration<double>(now - progressStart).count();
        if (presented != options.frames && progressShown && seconds - progressSeconds < 0.25) return;
        progressSeconds = seconds;
        progressShown = true;
        const double rate = presented > 1 && seconds > 0.0 ? (presented - 1) / seconds : 0.0;
        const unsigned left = rate > 0.0 ? static_cast<unsigned>((options.frames - presented) / rate + 0.5) : 0;
        std::fprintf(stderr, "\rframe %u of %u, %.1f frames/s, %u:%02u left ", presented, options.frames, rate,
                     left / 60, left % 60);
        std::fflush(stderr);
    }

    static double Now() {
        LARGE_INTEGER c{};
        QueryPerformanceCounter(&c);
        return static_cast<double>(c.QuadPart) / static_cast<double>(win::kCounterFrequency);
    }

    void DeliverKeys(AppFramework& app) {
        HWND w = app.MainWindow();
        const double now = Now();
        // Keys held from earlier frames repeat first, as the keyboard's own repeats would.
        for (int vk = 0; vk < 256; ++vk) {
            if (!held[vk]) continue;
            for (int n = 0; n < kMaxRepeatsPerFrame && now >= nextRepeat[vk]; ++n) {
                win::PostKey(w, static_cast<BYTE>(vk), true);
                nextRepeat[vk] += kRepeatIntervalSeconds;
            }
            if (now >= nextRepeat[vk]) nextRepeat[vk] = now + kRepeatIntervalSeconds;
        }
        while (nextEvent < options.keys.size() && options.keys[nextEvent].frame <= presented) {
            const KeyEvent& e = options.keys[nextEvent++];
            switch (e.action) {
                case ScriptAction::Down:
                    // A second down of a held key is a repeat; the repeat timing stays.
                    win::PostKey(w, e.virtualKey, true);
                    if (!held[e.virtualKey]) {
                        held[e.virtualKey] = true;
                        nextRepeat[e.virtualKey] = now + kRepeatDelaySeconds;
                    }
                    break;
                case ScriptAction::Up:
                    win::PostKey(w, e.virtualKey, false);
                    held[e.virtualKey] = false;
                    break;
                case ScriptAction::Press:
                    win::PostKey(w, e.virtualKey, true);
                    win::PostKey(w, e.virtualKey, false);
                    held[e.virtualKey] = false;
                    break;
                case ScriptAction::Char: win::PostChar(w, e.character); break;
                case ScriptAction::Drag: Drag(w, win::MouseButton::Left, e.dx, e.dy); break;
                case ScriptAction::RightDrag: Drag(w, win::MouseButton::Right, e.dx, e.dy); break;
                case ScriptAction::Wheel: {
                    POINT c = ClientCentre(w);
                    win::PostMouseMove(w, c.x, c.y);
                    win::PostMouseWheel(w, e.notches * WHEEL_DELTA);
                    break;
                }
            }
        }
    }

    static POINT ClientCentre(HWND w) {
        RECT r{};
        GetClientRect(w, &r);
        return POINT{(r.right - r.left) / 2, (r.bottom - r.top) / 2};
    }

    // A drag as a hand makes it: to the centre, press, move by (dx, dy), release.
    static void Drag(HWND w, win::MouseButton button, int dx, int dy) {
        POINT c = ClientCentre(w);
        win::PostMouseMove(w, c.x, c.y);
        win::PostMouseButton(w, button, true, c.x, c.y);
        win::PostMouseMove(w, c.x + dx, c.y + dy);
        win::PostMouseButton(w, button, false, c.x + dx, c.y + dy);
    }

    const RunOptions& options;
    unsigned presented = 0;
    bool timing = false;               // lastPresented is set
    WallClock::time_point lastPresented;
    size_t nextEvent = 0;
    bool held[256] = {};
    double nextRepeat[256] = {};
    bool screenshotDone = false;
    bool failed = false;
    std::vector<DWORD> frame;  // the presented frame of framePresented, when frameRead
    UINT frameWidth = 0, frameHeight = 0;
    unsigned framePresented = 0;
    bool frameRead = false;
    VideoRecorder recorder;
    bool showProgress = false;  // a headless run of --frames with standard error on a terminal
    bool progressShown = false;
    WallClock::time_point progressStart;
    double progressSeconds = 0.0;  // when the progress was last shown, from the first frame
};

// [SECTION] Console events
// Ctrl+C and SIGTERM close the window as its close box would: the capture, the screenshot and
// the video are finished and the device released on the way out. The run then ends with the
// shell's status for the signal.
int consoleEventStatus = 0;

BOOL CloseOnConsoleEvent(DWORD event) {
    consoleEventStatus = event == CTRL_CLOSE_EVENT ? 143 : 130;
    if (AppFramework* app = CurrentApplication(); app && app->MainWindow())
        PostMessageA(app->MainWindow(), WM_CLOSE, 0, 0);
    return TRUE;
}

std::string ProgramName(const char* argv0) {
    std::string p = argv0 ? argv0 : "simmerglass";
    size_t slash = p.find_last_of('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

// Standard output that never arrived (a full disk, a closed pipe) fails a run that would
// otherwise have succeeded.
int CheckStandardOutput(const std::string& program, int status) {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
    std::fprintf(stderr, "%s: cannot write to standard output\n", program.c_str());
    return status == 0 ? 1 : status;
}

bool EnsureFolder(const std::string& dir, std::string* error) {
    DWORD attributes = GetFileAttributesA(dir.c_str());
    if (attributes == FILE_ATTRIBUTE_DIRECTORY) return true;
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        *error = dir + " is not a folder";
        return false;
    }
    if (!CreateDirectoryA(dir.c_str(), nullptr)) {
        *error = "cannot create the folder " + dir;
        return false;
    }
    return true;
}

// The run itself, with the host set up as config says until it returns.
int RunWithHost(const HostConfig& config, const RunOptions& options, const AppFactoryWithOptions& factory,
                FrameRunner& runner, const std::string& program) {
    const HostSession session(config);
    consoleEventStatus = 0;
    SetConsoleCtrlHandler(CloseOnConsoleEvent, TRUE);
    int status = 0;
    {
        ApplicationOptions own;
        own.grid = options.grid;
        std::unique_ptr<AppFramework> app = factory(own);
        if (!app) {
            std::fprintf(stderr, "%s: the application could not be made\n", program.c_str());
            status = 1;
        } else {
            if (options.width != 0) app->SetInitialClientSize(options.width, options.height);
            const auto samples = static_cast<D3DMULTISAMPLE_TYPE>(options.msaa);
            app->SetMultiSampleType(samples);
            // Smooth edges by the device's best method: samples where they are cheap (hardware).
            if (options.aa == AntiAliasing::Auto) app->SetMultiSampleType(D3DMULTISAMPLE_4_SAMPLES, true);
            app->SetFullscreenSync(options.vsync);
            // Headless, the software device is all there is, and the usage text says so.
            app->SetSoftwareDeviceRequested(options.device == DeviceChoice::Ref || options.headless);
            app->SetNoticeFolder(StateFolder("simmerglass"));
            app->SetFrameObserver(&runner);
            if (FAILED(app->Create(GetModuleHandleA(nullptr)))) {
                // A failed start is a failure for the shell as well, whatever the box said.
                status = 1;
            } else {
                if (app->CurrentMultiSampleType() != samples)
                    std::fprintf(stderr, "%s: the device does not offer %u samples per pixel; running without\n",
                                 program.c_str(), options.msaa);
                runner.Begin(*app);
                status = app->Run();
                runner.Finish();
            }
            // A fatal error after the start closes the window like a normal end; the run failed.
            if (app->FatalErrorReported()) status = 1;
            app->SetFrameObserver(nullptr);
        }
    }
    if (runner.Failed() && status == 0) status = 1;
    SetConsoleCtrlHandler(CloseOnConsoleEvent, FALSE);
    if (consoleEventStatus != 0) status = consoleEventStatus;
    return status;
}


}  // namespace

const char* ProgramVersion() { return "0.1.0"; }

// [SECTION] Entry point
int RunApplication(int argc, char** argv, const AppFactory& factory) {
    return RunApplication(argc, argv, [&factory](const ApplicationOptions&) { return factory(); });
}

int RunApplication(int argc, char** argv, const AppFactoryWithOptions& factory) {
    const std::string program = ProgramName(argc > 0 ? argv[0] : nullptr);
    RunOptions options;
    std::string error;
    switch (ParseCommandLine(argc, argv, &options, &error)) {
        case ParseResult::Help:
            std::fputs(UsageText(program.c_str()).c_str(), stdout);
            return CheckStandardOutput(program, 0);
        case ParseResult::Version:
            std::printf("%s %s\n", program.c_str(), ProgramVersion());
            return CheckStandardOutput(program, 0);
        case ParseResult::UsageError:
            std::fprintf(stderr, "%s: %s\n", program.c_str(), error.c_str());
            std::fputs(UsageText(program.c_str()).c_str(), stderr);
            return 2;
        case ParseResult::Run: break;
    }
    if (!options.captureDir.empty() && !EnsureFolder(options.captureDir, &error)) {
        std::fprintf(stderr, "%s: %s\n", program.c_str(), error.c_str());
        return 1;
    }

    FrameRunner runner(options);
    if (!runner.OpenRecording()) return 1;

    if (!win::InitDisplay(options.headless)) {
        std::fprintf(stderr, "%s: cannot open a display: %s; run with --headless to render offscreen\n",
                     program.c_str(), win::DisplayError());
        return 1;
    }
    WindowPresenter presenter;
    HostConfig config;
    config.device.headless = options.headless;
    config.device.windowedSync = options.vsync;
    // For measurements: the picture of every frame read back at once, as before frames overlapped.
    const char* readBack = std::getenv("SIMMERGLASS_READBACK_EACH_FRAME");
    config.device.readBackEachPresent = readBack && std::strcmp(readBack, "1") == 0;
    if (!options.headless) {
        config.device.displays = DisplaysForDevice();
        config.device.presenter = &presenter;
    }
    config.device.restriction = options.device == DeviceChoice::Hal   ? D3DDEVTYPE_HAL
                                : options.device == DeviceChoice::Ref ? D3DDEVTYPE_REF
                                                                      : D3DDEVTYPE_FORCE_DWORD;
    // Auto filters wherever the device ends up without samples: the software device, and a
    // hardware device that cannot multisample.
    config.device.edgeFilter = options.aa != AntiAliasing::Off;
    config.fixedStep = options.fixedStep;
    // A run that ends by itself after --frames is scripted: its message boxes must not wait
    // for a click, so they go to standard error as they do headless.
    config.messageBoxesToStandardError = options.frames != 0;
    config.accelerators.assign(std::begin(kAccelerators), std::end(kAccelerators));
    int status = RunWithHost(config, options, factory, runner, program);
    win::ShutdownDisplay();
    return CheckStandardOutput(program, status);
}

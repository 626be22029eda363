// A test application that records every hook into the shared event log, can fail any hook on
// request, and opens the framework's protected state to the tests. FrameworkTest sets up a
// headless window layer, a fixed-step clock, a captured message box and a fake Direct3D.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "FakeDirect3D.h"
#include "app/AppFramework.h"
#include "app/HostSession.h"

class RecordingApp : public AppFramework {
public:
    RecordingApp() { windowTitle = "Recording App"; }

    HRESULT AdjustWindowStyle() override { return Hook("AdjustWindowStyle", AppFramework::AdjustWindowStyle()); }
    HRESULT CheckDevice(D3DCAPS8* caps, DWORD behavior, D3DFORMAT format) override;
    HRESULT InitScene() override { return Hook("InitScene", S_OK); }
    HRESULT CreateDeviceObjects() override { return Hook("CreateDeviceObjects", S_OK); }
    HRESULT ResetDeviceObjects() override { return Hook("ResetDeviceObjects", S_OK); }
    HRESULT UpdateFrame() override;
    HRESULT RenderFrame() override { return Hook("RenderFrame", S_OK); }
    HRESULT LoseDeviceObjects() override { return Hook("LoseDeviceObjects", S_OK); }
    HRESULT DestroyDeviceObjects() override { return Hook("DestroyDeviceObjects", S_OK); }
    HRESULT CleanupScene() override { return Hook("CleanupScene", S_OK); }
    void Pause(BOOL pause) override {
        LogEvent(pause ? "Pause(true)" : "Pause(false)");
        AppFramework::Pause(pause);
    }

    // Makes a hook fail with `code`, `times` times (-1: always).
    void FailHook(const std::string& hook, HRESULT code, int times = -1) { failures[hook] = Failure{code, times}; }
    // CheckDevice's answer; by default every candidate is accepted.
    std::function<HRESULT(const D3DCAPS8&, DWORD, D3DFORMAT)> checkDevice;
    std::vector<float> updateTimes, updateElapsed;  // appTime and elapsedTime at each UpdateFrame

    using AppFramework::active;
    using AppFramework::adapterCount;
    using AppFramework::adapters;
    using AppFramework::animating;
    using AppFramework::backBufferDesc;
    using AppFramework::behaviorFlags;
    using AppFramework::clientRect;
    using AppFramework::currentAdapter;
    using AppFramework::device;
    using AppFramework::deviceText;
    using AppFramework::direct3d;
    using AppFramework::framesPerSecond;
    using AppFramework::frameRateText;
    using AppFramework::initialHeight;
    using AppFramework::initialWidth;
    using AppFramework::minDepthBits;
    using AppFramework::minStencilBits;
    using AppFramework::presentParams;
    using AppFramework::ready;
    using AppFramework::showDeviceCursor;
    using AppFramework::stepOnce;
    using AppFramework::useDepthBuffer;
    using AppFramework::window;
    using AppFramework::windowed;
    using AppFramework::windowRect;
    using AppFramework::windowStyle;

private:
    struct Failure {
        HRESULT code;
        int times;
    };
    HRESULT Hook(const std::string& name, HRESULT ok);
    std::map<std::string, Failure> failures;
};

// One message box as it would have been shown.
struct ShownBox {
    std::string text, caption;
    UINT type;
};
std::vector<ShownBox>& ShownBoxes();

class FrameworkTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // One idle pass of the loop as Run drives it: the clock steps, then ProcessFrame.
    HRESULT Frame(RecordingApp& app);
    // Dispatches every queued message as Run would (accelerators aside).
    void DispatchAll();
    // The events logged since `from`, or since the last Mark().
    std::vector<std::string> Since(size_t from) const;
    size_t Mark() const { return EventLog().size(); }
    bool Logged(const std::string& event) const;
    // The host the fixture runs in: the fixed-step clock at 0.01 s and the fake Direct3D.
    static HostConfig TestHostConfig();

    FakeDirect3D d3d;
    std::optional<HostSession> session;
};

// The fake the factory hands out (set by FrameworkTest).
FakeDirect3D*& CurrentFake();

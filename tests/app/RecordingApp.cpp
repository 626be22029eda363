// The recording application and the headless fixture of the framework tests.
#include "RecordingApp.h"

#include <algorithm>

#include "platform/win/WinTime.h"

HRESULT RecordingApp::Hook(const std::string& name, HRESULT ok) {
    LogEvent(name);
    auto it = failures.find(name);
    if (it == failures.end() || it->second.times == 0) return ok;
    if (it->second.times > 0) --it->second.times;
    return it->second.code;
}

HRESULT RecordingApp::CheckDevice(D3DCAPS8* caps, DWORD behavior, D3DFORMAT format) {
    char text[64];
    std::snprintf(text, sizeof text, "CheckDevice 0x%02X %u", static_cast<unsigned>(behavior), static_cast<unsigned>(format));
    LogEvent(text);
    return checkDevice ? checkDevice(*caps, behavior, format) : S_OK;
}

HRESULT RecordingApp::UpdateFrame() {
    updateTimes.push_back(appTime);
    updateElapsed.push_back(elapsedTime);
    return Hook("UpdateFrame", S_OK);
}

std::vector<ShownBox>& ShownBoxes() {
    static std::vector<ShownBox> boxes;
    return boxes;
}

FakeDirect3D*& CurrentFake() {
    static FakeDirect3D* fake = nullptr;
    return fake;
}

namespace {
int CaptureBox(LPCSTR text, LPCSTR caption, UINT type) {
    ShownBoxes().push_back(ShownBox{text, caption, type});
    return static_cast<int>(IDOK);
}
IDirect3D8* MakeFake(UINT version) {
    if (version != D3D_SDK_VERSION || !CurrentFake()) return nullptr;
    return CurrentFake();
}
}  // namespace

void FrameworkTest::SetUp() {
    EventLog().clear();
    ShownBoxes().clear();
    win::InitDisplay(true);
    win::ResetMessageQueue();
    win::SetMessageBoxHook(CaptureBox);
    session.emplace(TestHostConfig());
    CurrentFake() = &d3d;
    d3d.adapters = {SoftwareOnlyAdapter()};
}

HostConfig FrameworkTest::TestHostConfig() {
    HostConfig config;
    config.fixedStep = 0.01;
    config.direct3dFactory = MakeFake;
    return config;
}

void FrameworkTest::TearDown() {
    session.reset();
    CurrentFake() = nullptr;
    win::SetMessageBoxHook(nullptr);
    win::ResetMessageQueue();
    win::ShutdownDisplay();
}

HRESULT FrameworkTest::Frame(RecordingApp& app) {
    win::AdvanceFixedStepClock();
    return app.ProcessFrame();
}

void FrameworkTest::DispatchAll() {
    MSG msg{};
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

std::vector<std::string> FrameworkTest::Since(size_t from) const {
    const auto& log = EventLog();
    return std::vector<std::string>(log.begin() + static_cast<long>(std::min(from, log.size())), log.end());
}

bool FrameworkTest::Logged(const std::string& event) const {
    const auto& log = EventLog();
    return std::find(log.begin(), log.end(), event) != log.end();
}

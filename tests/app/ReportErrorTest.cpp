// ReportError: every message text, the suffix and icon of each kind, the caption, the
// fatal report closing the window, and the quiet switch to a software device the user chose.
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "RecordingApp.h"

namespace {

struct Expected {
    HRESULT code;
    const char* text;
};

const Expected kTexts[] = {
    {E_OUTOFMEMORY, "Not enough memory."},
    {AppError::Direct3DUnavailable,
     "Could not initialize Direct3D. You may\nwant to check that the latest version of\nDirectX is correctly "
     "installed on your\nsystem.  Also make sure that this program\nwas compiled with header files that match\nthe "
     "installed DirectX DLLs."},
    {AppError::NoCompatibleDevice, "Could not find any compatible Direct3D\ndevices."},
    {AppError::DesktopModeUnusable,
     "This program cannot run in a desktop\nwindow with the current display settings.\nPlease change your desktop "
     "settings to a\n16- or 32-bit display mode and re-run this\nsample."},
    {AppError::HardwareDeviceMissing, "No hardware-accelerated Direct3D devices\nwere found."},
    {AppError::HardwareLacksFeatures,
     "This program requires functionality that is\nnot available on your Direct3D hardware\naccelerator."},
    {AppError::HardwareCannotWindow, "Your Direct3D hardware accelerator cannot\nrender into a window.\n"},
    {AppError::HardwareCannotUseDesktop,
     "Your Direct3D hardware accelerator cannot\nrender into a window with the current\ndesktop display settings.\n"},
    {AppError::HardwareLacksFeaturesOnDesktop,
     "This program requires functionality that is\nnot available on your Direct3D hardware\naccelerator with the "
     "current desktop display\nsettings.\n"},
    {AppError::DeviceStillReferenced,
     "A D3D object has a non-zero reference\ncount (meaning things were not properly\ncleaned up)."},
    {AppError::MediaLoadFailed, "Could not load required media."},
    {AppError::DeviceResetFailed, "Could not reset the Direct3D device."},
    {D3DERR_OUTOFVIDEOMEMORY, "Not enough video memory."},
    {E_FAIL, "Generic application error. Enable\ndebug output for detailed information."},
    {static_cast<HRESULT>(0x82000002u), "Generic application error. Enable\ndebug output for detailed information."},
    {D3DERR_INVALIDCALL, "Generic application error. Enable\ndebug output for detailed information."},
};

const char* const kExit = "\n\nThis program will now exit.";
const char* const kReference =
    "\n\nSwitching to the reference rasterizer,\na software device that implements the entire\nDirect3D feature set, "
    "but runs very slowly.";

class ReportErrorTest : public FrameworkTest {};

TEST_F(ReportErrorTest, EveryCodeWithEveryKind) {
    RecordingApp app;  // no window yet: a fatal report shows the box and nothing more
    for (const Expected& e : kTexts) {
        SCOPED_TRACE(e.text);
        ShownBoxes().clear();
        EXPECT_EQ(app.ReportError(e.code, ReportKind::Fatal), e.code);
        EXPECT_EQ(app.ReportError(e.code, ReportKind::SwitchedToReference), e.code);
        EXPECT_EQ(app.ReportError(e.code, 7), e.code);
        ASSERT_EQ(ShownBoxes().size(), 3u);
        EXPECT_EQ(ShownBoxes()[0].text, std::string(e.text) + kExit);
        EXPECT_EQ(ShownBoxes()[0].type, MB_ICONERROR);
        EXPECT_EQ(ShownBoxes()[1].text, std::string(e.text) + kReference);
        EXPECT_EQ(ShownBoxes()[1].type, MB_ICONWARNING);
        EXPECT_EQ(ShownBoxes()[2].text, e.text);
        EXPECT_EQ(ShownBoxes()[2].type, MB_ICONWARNING);
        for (const ShownBox& b : ShownBoxes()) EXPECT_EQ(b.caption, "Recording App");
    }
}

TEST_F(ReportErrorTest, FatalReportClosesTheWindowThroughTheClosePath) {
    RecordingApp app;
    ASSERT_EQ(app.Create(nullptr), S_OK);
    HWND w = app.window;
    size_t mark = Mark();
    EXPECT_EQ(app.ReportError(E_FAIL, ReportKind::Fatal), E_FAIL);
    EXPECT_FALSE(IsWindow(w));
    EXPECT_EQ(app.window, w);  // the field still holds the dead handle
    EXPECT_EQ(Since(mark), (std::vector<std::string>{"LoseDeviceObjects", "DestroyDeviceObjects", "device released",
                                                     "direct3d released", "CleanupScene"}));
    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_QUIT);
    EXPECT_EQ(msg.wParam, 0u);
    // A second fatal report reaches a dead handle, harmlessly.
    EXPECT_EQ(app.ReportError(E_FAIL, ReportKind::Fatal), E_FAIL);
}

// The user chose the software device: the switch to it is one line on standard error, no
// box; every other report still shows its box.
TEST_F(ReportErrorTest, ChosenSoftwareDeviceIsOneLineInsteadOfABox) {
    RecordingApp app;
    app.SetSoftwareDeviceRequested(true);
    testing::internal::CaptureStderr();
    EXPECT_EQ(app.ReportError(AppError::HardwareDeviceMissing, ReportKind::SwitchedToReference), AppError::HardwareDeviceMissing);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(ShownBoxes().empty());
    EXPECT_EQ(err, "Recording App: running on the reference rasterizer (the software device), as asked\n");
    app.ReportError(E_FAIL, ReportKind::Fatal);
    ASSERT_EQ(ShownBoxes().size(), 1u);
    EXPECT_EQ(ShownBoxes()[0].type, MB_ICONERROR);
}

// An automatic switch to the software device shows its box on the first start only, remembered
// in the notice folder (made with the folders above it); later starts say it in one line. A
// folder that cannot be made remembers nothing: the box shows each time.
TEST_F(ReportErrorTest, AutomaticSwitchShowsItsBoxOnceAndThenOneLine) {
    namespace fs = std::filesystem;
    const fs::path root = fs::path(testing::TempDir()) / "sg_notice";
    fs::remove_all(root);
    fs::create_directories(root);
    for (int start = 0; start < 3; ++start) {
        RecordingApp app;
        app.SetNoticeFolder((root / "state/simmerglass").string());
        ShownBoxes().clear();
        testing::internal::CaptureStderr();
        app.ReportError(AppError::HardwareDeviceMissing, ReportKind::SwitchedToReference);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(ShownBoxes().size(), start == 0 ? 1u : 0u) << "start " << start;
        EXPECT_EQ(err, start == 0 ? "" : "Recording App: running on the reference rasterizer (the software device); "
                                         "no hardware device could be started\n");
        // Other warnings are not remembered.
        app.ReportError(AppError::MediaLoadFailed, 7);
        EXPECT_EQ(ShownBoxes().size(), start == 0 ? 2u : 1u);
    }
    // Below a regular file no folder can be made.
    std::FILE* f = std::fopen((root / "file").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    for (int start = 0; start < 2; ++start) {
        RecordingApp app;
        app.SetNoticeFolder((root / "file/simmerglass").string());
        ShownBoxes().clear();
        app.ReportError(AppError::HardwareDeviceMissing, ReportKind::SwitchedToReference);
        EXPECT_EQ(ShownBoxes().size(), 1u);
    }
    // A box that went to standard error as text (no display here, no hook) is not remembered:
    // the next start with a display shows it.
    win::SetMessageBoxHook(nullptr);
    RecordingApp app;
    app.SetNoticeFolder((root / "unshown").string());
    testing::internal::CaptureStderr();
    app.ReportError(AppError::HardwareDeviceMissing, ReportKind::SwitchedToReference);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Switching to the reference rasterizer"), std::string::npos);
    EXPECT_FALSE(fs::exists(root / "unshown"));
}

TEST(StateFolder, FollowsXdgStateHomeThenHome) {
    const char* savedState = std::getenv("XDG_STATE_HOME");
    const char* savedHome = std::getenv("HOME");
    const std::string state = savedState ? savedState : "", home = savedHome ? savedHome : "";
    setenv("XDG_STATE_HOME", "/var/s", 1);
    setenv("HOME", "/home/u", 1);
    EXPECT_EQ(StateFolder("simmerglass"), "/var/s/simmerglass");
    setenv("XDG_STATE_HOME", "relative", 1);  // not absolute: ignored, as the convention says
    EXPECT_EQ(StateFolder("simmerglass"), "/home/u/.local/state/simmerglass");
    unsetenv("XDG_STATE_HOME");
    unsetenv("HOME");
    EXPECT_EQ(StateFolder("simmerglass"), "");
    if (savedState) setenv("XDG_STATE_HOME", state.c_str(), 1);
    if (savedHome) setenv("HOME", home.c_str(), 1);
}

TEST_F(ReportErrorTest, WarningLeavesTheWindowOpen) {
    RecordingApp app;
    ASSERT_EQ(app.Create(nullptr), S_OK);
    app.ReportError(AppError::MediaLoadFailed, ReportKind::SwitchedToReference);
    EXPECT_TRUE(IsWindow(app.window));
    EXPECT_TRUE(app.device != nullptr);
}

}  // namespace

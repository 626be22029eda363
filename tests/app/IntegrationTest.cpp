// One headless run on the real software (REF) device through the entry point: a small
// application clears its frames, and the screenshot, the captures and the statistics lines
// are checked.
#include <png.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/RunApplication.h"
#include "platform/win/WinUser.h"

namespace {

constexpr D3DCOLOR kBackground = 0xFF3366CCu;
constexpr D3DCOLOR kCorner = 0xFFFF8000u;  // the top-left quarter

// Clears the back buffer, then the top-left quarter in another colour (so that a picture
// upside down would show).
class ClearApp : public AppFramework {
public:
    ClearApp() {
        windowTitle = "Integration";
        initialWidth = 320;
        initialHeight = 240;
        useDepthBuffer = TRUE;
    }
    HRESULT RenderFrame() override {
        HRESULT hr = device->BeginScene();
        if (FAILED(hr)) return hr;
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBackground, 1.0f, 0);
        D3DRECT quarter{0, 0, static_cast<LONG>(backBufferDesc.Width / 2), static_cast<LONG>(backBufferDesc.Height / 2)};
        device->Clear(1, &quarter, D3DCLEAR_TARGET, kCorner, 1.0f, 0);
        ++frames;
        return device->EndScene();
    }
    std::string FrameStatsText() override { return "extra " + std::to_string(frames); }
    int frames = 0;
};

bool ReadPng(const std::string& path, std::vector<unsigned char>* rgb, unsigned* width, unsigned* height) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGB;
    rgb->resize(PNG_IMAGE_SIZE(image));
    *width = image.width;
    *height = image.height;
    bool ok = png_image_finish_read(&image, nullptr, rgb->data(), 0, nullptr) != 0;
    png_image_free(&image);
    return ok;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

TEST(Integration, HeadlessRunOnTheReferenceDevice) {
    win::SetMessageBoxHook([](LPCSTR, LPCSTR, UINT) { return static_cast<int>(IDOK); });
    const std::string dir = testing::TempDir() + "sg_app_integration";
    const std::string shot = dir + "_shot.png";
    std::remove(shot.c_str());
    std::vector<std::string> args = {"simmerglass", "--headless", "--device", "ref", "--frames", "3", "--fixed-step",
                                     "0.5", "--size", "64x48", "--screenshot", shot, "--capture", dir, "--every", "2",
                                     "--stats"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    testing::internal::CaptureStdout();
    int status = RunApplication(static_cast<int>(argv.size()), argv.data(), [] { return std::make_unique<ClearApp>(); });
    std::string out = testing::internal::GetCapturedStdout();
    win::SetMessageBoxHook(nullptr);
    ASSERT_EQ(status, 0) << out;

    // The clock advances 0.5 s a frame from 1 s: the first refresh comes at the first frame
    // (1 frame in 1.5 s), the next at the fourth frame, so the text stays for three lines.
    EXPECT_EQ(out,
              "frame 1 | 0.67 fps (64x48x32) (D16) | extra 1\n"
              "frame 2 | 0.67 fps (64x48x32) (D16) | extra 2\n"
              "frame 3 | 0.67 fps (64x48x32) (D16) | extra 3\n");

    std::vector<unsigned char> rgb;
    unsigned w = 0, h = 0;
    ASSERT_TRUE(ReadPng(shot, &rgb, &w, &h));
    ASSERT_EQ(w, 64u);
    ASSERT_EQ(h, 48u);
    auto at = [&](unsigned x, unsigned y) {
        const unsigned char* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
        return (static_cast<unsigned>(p[0]) << 16) | (p[1] << 8) | p[2];
    };
    EXPECT_EQ(at(0, 0), kCorner & 0xFFFFFFu);
    EXPECT_EQ(at(31, 23), kCorner & 0xFFFFFFu);
    EXPECT_EQ(at(32, 23), kBackground & 0xFFFFFFu);
    EXPECT_EQ(at(31, 24), kBackground & 0xFFFFFFu);
    EXPECT_EQ(at(63, 47), kBackground & 0xFFFFFFu);

    EXPECT_FALSE(Exists(dir + "/frame_000001.png"));
    EXPECT_TRUE(Exists(dir + "/frame_000002.png"));
    EXPECT_FALSE(Exists(dir + "/frame_000003.png"));
}

TEST(Integration, UnwritableScreenshotFailsTheRun) {
    win::SetMessageBoxHook([](LPCSTR, LPCSTR, UINT) { return static_cast<int>(IDOK); });
    std::vector<std::string> args = {"simmerglass", "--headless", "--frames", "1", "--size", "32x32",
                                     "--screenshot", "/nonexistent-folder/shot.png"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    testing::internal::CaptureStderr();
    int status = RunApplication(static_cast<int>(argv.size()), argv.data(), [] { return std::make_unique<ClearApp>(); });
    std::string err = testing::internal::GetCapturedStderr();
    win::SetMessageBoxHook(nullptr);
    EXPECT_EQ(status, 1);
    EXPECT_NE(err.find("/nonexistent-folder/shot.png"), std::string::npos) << err;
}

// Runs only on a display (the test "test_app_integration_display" runs it under Xvfb): the
// same program in a real window, its frames presented through the window layer.
TEST(Integration, WindowedRunOnADisplay) {
    if (!getenv("DISPLAY")) GTEST_SKIP() << "needs a display (run under Xvfb)";
    win::SetMessageBoxHook([](LPCSTR, LPCSTR, UINT) { return static_cast<int>(IDOK); });
    const std::string shot = testing::TempDir() + "sg_app_windowed.png";
    std::vector<std::string> args = {"simmerglass", "--frames", "4", "--size", "48x32", "--screenshot", shot};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    int status = RunApplication(static_cast<int>(argv.size()), argv.data(), [] { return std::make_unique<ClearApp>(); });
    win::SetMessageBoxHook(nullptr);
    ASSERT_EQ(status, 0);
    std::vector<unsigned char> rgb;
    unsigned w = 0, h = 0;
    ASSERT_TRUE(ReadPng(shot, &rgb, &w, &h));
    EXPECT_EQ(w, 48u);
    EXPECT_EQ(h, 32u);
}

TEST(Integration, WithoutADisplayTheMessageSaysHeadless) {
    std::string display = getenv("DISPLAY") ? getenv("DISPLAY") : "";
    std::string wayland = getenv("WAYLAND_DISPLAY") ? getenv("WAYLAND_DISPLAY") : "";
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    std::vector<std::string> args = {"simmerglass", "--frames", "1"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    testing::internal::CaptureStderr();
    int status = RunApplication(static_cast<int>(argv.size()), argv.data(), [] { return std::make_unique<ClearApp>(); });
    std::string err = testing::internal::GetCapturedStderr();
    if (!display.empty()) setenv("DISPLAY", display.c_str(), 1);
    if (!wayland.empty()) setenv("WAYLAND_DISPLAY", wayland.c_str(), 1);
    EXPECT_EQ(status, 1);
    EXPECT_NE(err.find("cannot open a display"), std::string::npos) << err;
    EXPECT_NE(err.find("--headless"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << "one line:\n" << err;
}

}  // namespace

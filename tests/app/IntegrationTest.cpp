// One headless run on the real software (REF) device through the entry point: a small
// application clears its frames, and the screenshot, the captures and the statistics lines
// are checked.
#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>
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

// Its device objects cannot be restored in a window once it has been full screen: switching
// back fails, and so does the fallback to a new windowed device.
class ResetFailsApp : public ClearApp {
public:
    HRESULT ResetDeviceObjects() override {
        if (!windowed) wentFullscreen = true;
        return windowed && wentFullscreen ? E_FAIL : S_OK;
    }
    bool wentFullscreen = false;
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
    // (1 frame in 1.5 s), the next at the fourth frame, so the text stays for three lines. Each
    // line ends with the frame's real duration.
    std::istringstream lines(out);
    std::string line;
    for (int frame = 1; frame <= 3; ++frame) {
        ASSERT_TRUE(std::getline(lines, line)) << out;
        const std::string expected = "frame " + std::to_string(frame) + " | 0.67 fps (64x48x32) (D16) | extra " +
                                     std::to_string(frame) + " | wall ";
        ASSERT_EQ(line.substr(0, expected.size()), expected) << line;
        float ms = -1.0f;
        int consumed = 0;
        const std::string rest = line.substr(expected.size());
        ASSERT_EQ(std::sscanf(rest.c_str(), "%f ms%n", &ms, &consumed), 1) << line;
        EXPECT_EQ(consumed, static_cast<int>(rest.size())) << line;
        EXPECT_GT(ms, 0.0f) << line;
    }
    EXPECT_FALSE(std::getline(lines, line)) << out;

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

// A white triangle on black whose long edge crosses the picture at a slant.
class EdgeApp : public ClearApp {
public:
    HRESULT RenderFrame() override {
        HRESULT hr = device->BeginScene();
        if (FAILED(hr)) return hr;
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
        struct Vertex {
            float x, y, z, rhw;
            D3DCOLOR colour;
        };
        const float w = static_cast<float>(backBufferDesc.Width), h = static_cast<float>(backBufferDesc.Height);
        const Vertex triangle[3] = {{0, 0, 0.5f, 1, 0xFFFFFFFFu}, {w, h * 0.75f, 0.5f, 1, 0xFFFFFFFFu},
                                    {0, h, 0.5f, 1, 0xFFFFFFFFu}};
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
        device->SetVertexShader(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
        device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, triangle, sizeof(Vertex));
        return device->EndScene();
    }
};

// Runs the program with --msaa N (and the extra arguments); the screenshot's grey pixels, -1 when it failed.
int GreyPixelsWithSamples(const char* samples, std::vector<std::string> extra, std::string* err) {
    win::SetMessageBoxHook([](LPCSTR, LPCSTR, UINT) { return static_cast<int>(IDOK); });
    const std::string shot = testing::TempDir() + "sg_app_integration_msaa.png";
    std::remove(shot.c_str());
    std::vector<std::string> args = {"simmerglass", "--headless", "--device", "ref", "--frames", "3",
                                     "--size", "64x48", "--msaa", samples, "--screenshot", shot};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    testing::internal::CaptureStderr();
    int status = RunApplication(static_cast<int>(argv.size()), argv.data(), [] { return std::make_unique<EdgeApp>(); });
    *err = testing::internal::GetCapturedStderr();
    win::SetMessageBoxHook(nullptr);
    std::vector<unsigned char> rgb;
    unsigned w = 0, h = 0;
    if (status != 0 || !ReadPng(shot, &rgb, &w, &h)) return -1;
    int grey = 0;
    for (size_t i = 0; i + 2 < rgb.size(); i += 3) grey += rgb[i] > 0 && rgb[i] < 255 && rgb[i] == rgb[i + 2] ? 1 : 0;
    return grey;
}

TEST(Integration, MultisampledRunsScreenshotTheResolvedPicture) {
    std::string err;
    EXPECT_EQ(GreyPixelsWithSamples("0", {}, &err), 0) << err;
    // Along the edge the screenshot mixes the two colours, also after two resets (F11 there and back).
    EXPECT_GE(GreyPixelsWithSamples("4", {}, &err), 40) << err;
    EXPECT_EQ(err.find("samples per pixel"), std::string::npos) << err;
    EXPECT_GE(GreyPixelsWithSamples("4", {"--keys", "0:press:F11,1:press:F11"}, &err), 40) << err;
    // A count the device does not offer runs without, saying so in one line.
    bool twoOffered;
    {
        d3dhost::HostOptions headless;
        headless.headless = true;
        const d3dhost::ScopedHostOptions host(headless);
        IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
        twoOffered =
            d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_REF, D3DFMT_X8R8G8B8, TRUE, D3DMULTISAMPLE_2_SAMPLES) ==
                D3D_OK &&
            d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_REF, D3DFMT_D16, TRUE, D3DMULTISAMPLE_2_SAMPLES) == D3D_OK;
        d3d->Release();
    }
    int grey = GreyPixelsWithSamples("2", {}, &err);
    if (twoOffered) {
        EXPECT_GT(grey, 0) << err;
    } else {
        EXPECT_EQ(grey, 0) << err;
        EXPECT_NE(err.find("the device does not offer 2 samples per pixel; running without\n"), std::string::npos)
            << err;
    }
}

// A screenshot that cannot be written leaves what was at its path as it was: a folder, a
// write-protected file (even for a process that may write anything) and a pipe, which stands in
// for a device here (a device node would be lost for good should the test ever fail).
TEST(Integration, AFailedScreenshotRemovesNothing) {
    win::SetMessageBoxHook([](LPCSTR, LPCSTR, UINT) { return static_cast<int>(IDOK); });
    const std::string dir = testing::TempDir() + "sg_app_keep";
    mkdir(dir.c_str(), 0777);
    const std::string folder = dir + "/d";
    mkdir(folder.c_str(), 0777);
    const std::string locked = dir + "/shot.png";
    if (std::FILE* f = std::fopen(locked.c_str(), "wb")) {
        std::fputs("keep me", f);
        std::fclose(f);
    }
    chmod(locked.c_str(), 0444);
    const std::string pipe = dir + "/pipe";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    // A reader is there, so that a program that wrongly opened the pipe would not wait.
    int reader = open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
    struct Case {
        std::string path, reason;
    } cases[] = {{folder, "is a folder"}, {locked, "is write-protected"}, {pipe, "is not a regular file"}};
    for (const Case& c : cases) {
        std::vector<std::string> args = {"simmerglass", "--headless", "--frames", "1", "--size", "32x32",
                                         "--screenshot", c.path};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        testing::internal::CaptureStderr();
        int status = RunApplication(static_cast<int>(argv.size()), argv.data(), [] { return std::make_unique<ClearApp>(); });
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(status, 1) << c.path;
        EXPECT_NE(err.find(c.path + ": it " + c.reason), std::string::npos) << err;
    }
    win::SetMessageBoxHook(nullptr);
    char piped[8];
    EXPECT_LE(read(reader, piped, sizeof piped), 0);  // nothing was written into the pipe
    close(reader);

    struct stat st {};
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    ASSERT_EQ(stat(pipe.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    char text[16] = {};
    if (std::FILE* f = std::fopen(locked.c_str(), "rb")) {
        EXPECT_EQ(std::fread(text, 1, sizeof text - 1, f), 7u);
        std::fclose(f);
    }
    EXPECT_STREQ(text, "keep me");
    // No temporary file was left beside the targets.
    chmod(locked.c_str(), 0644);
    EXPECT_EQ(std::remove(locked.c_str()), 0);
    EXPECT_EQ(std::remove(pipe.c_str()), 0);
    EXPECT_EQ(rmdir(folder.c_str()), 0);
    EXPECT_EQ(rmdir(dir.c_str()), 0);
}

// A reset that fails after the start ends the run with the fatal box and exit status 1; the
// screenshot asked for could not be taken, and one line says so.
TEST(Integration, AFatalErrorAfterTheStartFailsTheRun) {
    std::vector<std::string> boxes;
    static std::vector<std::string>* seen = nullptr;
    seen = &boxes;
    win::SetMessageBoxHook([](LPCSTR text, LPCSTR, UINT) {
        seen->push_back(text ? text : "");
        return static_cast<int>(IDOK);
    });
    const std::string shot = testing::TempDir() + "sg_app_fatal.png";
    std::remove(shot.c_str());
    std::vector<std::string> args = {"simmerglass", "--headless", "--frames", "6", "--size", "32x32",
                                     "--keys", "1:press:F11,3:press:F11", "--screenshot", shot};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    testing::internal::CaptureStderr();
    int status = RunApplication(static_cast<int>(argv.size()), argv.data(), [] { return std::make_unique<ResetFailsApp>(); });
    std::string err = testing::internal::GetCapturedStderr();
    win::SetMessageBoxHook(nullptr);
    EXPECT_EQ(status, 1);
    bool fatalBox = false;
    for (const std::string& text : boxes)
        fatalBox = fatalBox || text.find("This program will now exit.") != std::string::npos;
    EXPECT_TRUE(fatalBox);
    EXPECT_FALSE(Exists(shot));
    EXPECT_NE(err.find(shot + " not written"), std::string::npos) << err;
}

// Output into a full device: --help, --version and the statistics lines fail the run, and
// standard error says why.
TEST(Integration, LostStandardOutputFailsTheRun) {
    win::SetMessageBoxHook([](LPCSTR, LPCSTR, UINT) { return static_cast<int>(IDOK); });
    const std::vector<std::vector<std::string>> runs = {
        {"simmerglass", "--help"},
        {"simmerglass", "--version"},
        {"simmerglass", "--headless", "--frames", "2", "--size", "32x32", "--stats"},
    };
    for (std::vector<std::string> args : runs) {
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        std::fflush(stdout);
        int saved = dup(1);
        int full = open("/dev/full", O_WRONLY);
        ASSERT_GE(full, 0);
        dup2(full, 1);
        close(full);
        testing::internal::CaptureStderr();
        int status = RunApplication(static_cast<int>(argv.size()), argv.data(), [] { return std::make_unique<ClearApp>(); });
        std::string err = testing::internal::GetCapturedStderr();
        dup2(saved, 1);
        close(saved);
        std::clearerr(stdout);
        EXPECT_EQ(status, 1) << args[1];
        EXPECT_NE(err.find("simmerglass: cannot write to standard output"), std::string::npos) << err;
    }
    win::SetMessageBoxHook(nullptr);
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

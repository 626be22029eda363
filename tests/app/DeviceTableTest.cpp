// The device table: mode filtering and order, refused formats, behaviours confirmed by
// CheckDevice, depth formats, default modes, the initial selection and the REF warnings.
#include <algorithm>

#include "RecordingApp.h"
#include "platform/win/WinTime.h"

namespace {

class DeviceTableTest : public FrameworkTest {
protected:
    HRESULT Build(RecordingApp& app) {
        app.direct3d = &d3d;
        HRESULT hr = app.BuildDeviceTable();
        app.direct3d = nullptr;
        return hr;
    }
    static std::string Modes(const DeviceEntry& d) {
        std::string s;
        for (UINT i = 0; i < d.modeCount; ++i) {
            const ModeEntry& m = d.modes[i];
            s += std::to_string(m.width) + "x" + std::to_string(m.height) + "/" + std::to_string(m.format) + " ";
        }
        return s;
    }
};

TEST_F(DeviceTableTest, ModesFilteredMergedAndSorted) {
    FakeAdapter a = SoftwareOnlyAdapter();
    a.modes = {
        {800, 600, 60, D3DFMT_X8R8G8B8}, {640, 480, 60, D3DFMT_X8R8G8B8}, {640, 480, 75, D3DFMT_X8R8G8B8},
        {640, 480, 85, D3DFMT_X8R8G8B8}, {1024, 768, 60, D3DFMT_R5G6B5}, {640, 400, 70, D3DFMT_R5G6B5},
        {600, 800, 60, D3DFMT_X8R8G8B8}, {320, 240, 60, D3DFMT_R5G6B5},  {640, 399, 60, D3DFMT_R5G6B5},
        {640, 480, 60, D3DFMT_R5G6B5},   {640, 350, 60, D3DFMT_R5G6B5},  {800, 480, 60, D3DFMT_X8R8G8B8},
    };
    d3d.adapters = {a};
    RecordingApp app;
    ASSERT_EQ(Build(app), S_OK);
    ASSERT_EQ(app.adapterCount, 1u);
    ASSERT_EQ(app.adapters[0].deviceCount, 1u);
    // 16-bit first (higher format value), then width, then height; 640 x 400 kept; 600 x 800,
    // 320 x 240 and 640 x 399 dropped; the three refresh rates of 640 x 480 give one entry.
    EXPECT_EQ(Modes(app.adapters[0].devices[0]),
              "640x400/23 640x480/23 1024x768/23 640x480/22 800x480/22 800x600/22 ");
}

TEST_F(DeviceTableTest, RefusedFormatsAreMissingOnlyOnThatDevice) {
    FakeAdapter a = HardwareAdapter();
    a.types[1].formats = {D3DFMT_X8R8G8B8};  // REF refuses the 16-bit format
    d3d.adapters = {a};
    RecordingApp app;
    ASSERT_EQ(Build(app), S_OK);
    const AdapterEntry& e = app.adapters[0];
    ASSERT_EQ(e.deviceCount, 2u);
    EXPECT_EQ(e.devices[0].deviceType, D3DDEVTYPE_HAL);
    EXPECT_STREQ(e.devices[0].label, "HAL");
    EXPECT_EQ(Modes(e.devices[0]), "640x480/23 800x600/23 640x480/22 800x600/22 ");
    EXPECT_EQ(e.devices[1].deviceType, D3DDEVTYPE_REF);
    EXPECT_STREQ(e.devices[1].label, "REF");
    EXPECT_EQ(Modes(e.devices[1]), "640x480/22 800x600/22 ");
    // The HAL that can window is chosen; no warning.
    EXPECT_EQ(app.currentAdapter, 0u);
    EXPECT_EQ(e.currentDevice, 0u);
    EXPECT_TRUE(app.windowed);
    EXPECT_TRUE(ShownBoxes().empty());
}

TEST_F(DeviceTableTest, BehavioursTriedInOrderAndConfirmedByTheApplication) {
    struct Case {
        DWORD devCaps;
        std::vector<DWORD> refused;
        DWORD expected;
    };
    const Case cases[] = {
        {D3DDEVCAPS_HWTRANSFORMANDLIGHT | D3DDEVCAPS_PUREDEVICE, {}, 0x50},
        {D3DDEVCAPS_HWTRANSFORMANDLIGHT, {}, 0x40},
        {D3DDEVCAPS_HWTRANSFORMANDLIGHT | D3DDEVCAPS_PUREDEVICE, {0x50, 0x40}, 0x80},
        {D3DDEVCAPS_HWTRANSFORMANDLIGHT, {0x40, 0x80}, 0x20},
        {0, {}, 0x20},
        {D3DDEVCAPS_PUREDEVICE, {}, 0x20},  // pure device without hardware T&L counts for nothing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.devCaps);
        FakeAdapter a = SoftwareOnlyAdapter();
        a.types[1].caps.DevCaps = c.devCaps;
        d3d.adapters = {a};
        RecordingApp app;
        std::vector<DWORD> refused = c.refused;
        app.checkDevice = [refused](const D3DCAPS8&, DWORD b, D3DFORMAT) {
            return std::count(refused.begin(), refused.end(), b) ? E_FAIL : S_OK;
        };
        ASSERT_EQ(Build(app), S_OK);
        EXPECT_EQ(app.adapters[0].devices[0].modes[0].behaviorFlags, c.expected);
    }
}

TEST_F(DeviceTableTest, DepthCandidatesFollowTheSettings) {
    struct Case {
        DWORD depth, stencil;
        std::set<DWORD> available;
        std::set<DWORD> mismatch;
        std::string firstQueries;
        D3DFORMAT chosen;
    };
    const Case cases[] = {
        {16, 0, {D3DFMT_D16, D3DFMT_D24S8}, {}, "80 ", D3DFMT_D16},
        {15, 1, {D3DFMT_D16, D3DFMT_D15S1}, {}, "73 ", D3DFMT_D15S1},  // D16 needs stencil 0
        {16, 1, {D3DFMT_D15S1, D3DFMT_D24S8}, {}, "75 ", D3DFMT_D24S8},  // D15S1 has 15 bits only
        {16, 0, {D3DFMT_D16, D3DFMT_D24X8}, {D3DFMT_D16}, "80 77 ", D3DFMT_D24X8},  // D16 fails the match
        {24, 8, {D3DFMT_D16, D3DFMT_D24S8}, {}, "75 ", D3DFMT_D24S8},
        {32, 0, {D3DFMT_D32}, {}, "71 ", D3DFMT_D32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.firstQueries);
        FakeAdapter a = SoftwareOnlyAdapter();
        a.types[1].depthFormats = c.available;
        a.types[1].depthMismatch = c.mismatch;
        d3d.adapters = {a};
        d3d.depthQueries.clear();
        RecordingApp app;
        app.useDepthBuffer = TRUE;
        app.minDepthBits = c.depth;
        app.minStencilBits = c.stencil;
        ASSERT_EQ(Build(app), S_OK);
        std::string first;
        for (size_t i = 0; i < d3d.depthQueries.size() && first.size() < c.firstQueries.size(); ++i)
            first += d3d.depthQueries[i] + " ";
        EXPECT_EQ(first, c.firstQueries);
        EXPECT_EQ(app.adapters[0].devices[0].modes[0].depthStencilFormat, c.chosen);
    }
    // No candidate: every format is refused, so nothing can run.
    FakeAdapter a = SoftwareOnlyAdapter();
    a.types[1].depthFormats = {};
    d3d.adapters = {a};
    RecordingApp app;
    app.useDepthBuffer = TRUE;
    EXPECT_EQ(Build(app), AppError::NoCompatibleDevice);
    // Without a depth buffer the format stays 0.
    d3d.adapters = {SoftwareOnlyAdapter()};
    RecordingApp plain;
    ASSERT_EQ(Build(plain), S_OK);
    EXPECT_EQ(plain.adapters[0].devices[0].modes[0].depthStencilFormat, D3DFMT_UNKNOWN);
}

TEST_F(DeviceTableTest, DefaultModeIsFirst16Bit640x480ElseLast640x480ElseFirst) {
    struct Case {
        std::vector<D3DDISPLAYMODE> modes;
        std::string chosen;
    };
    const Case cases[] = {
        {{{640, 480, 0, D3DFMT_X8R8G8B8}, {640, 480, 0, D3DFMT_R5G6B5}, {800, 600, 0, D3DFMT_R5G6B5}}, "640x480/23"},
        {{{640, 480, 0, D3DFMT_X8R8G8B8}, {640, 480, 0, D3DFMT_A8R8G8B8}, {800, 600, 0, D3DFMT_X8R8G8B8}},
         "640x480/21"},  // 22 sorts before 21: the last 640 x 480 is the A8 one
        {{{1024, 768, 0, D3DFMT_X8R8G8B8}, {800, 600, 0, D3DFMT_X8R8G8B8}}, "800x600/22"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chosen);
        FakeAdapter a = SoftwareOnlyAdapter();
        a.modes = c.modes;
        a.types[1].formats = {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_A8R8G8B8};
        d3d.adapters = {a};
        RecordingApp app;
        ASSERT_EQ(Build(app), S_OK);
        const DeviceEntry& d = app.adapters[0].devices[0];
        const ModeEntry& m = d.modes[d.currentMode];
        EXPECT_EQ(std::to_string(m.width) + "x" + std::to_string(m.height) + "/" + std::to_string(m.format), c.chosen);
    }
}

TEST_F(DeviceTableTest, AdapterWithoutDevicesIsOverwrittenAndItsOrdinalKept) {
    FakeAdapter empty = SoftwareOnlyAdapter();
    empty.types[1].present = false;
    empty.description = "Empty";
    FakeAdapter second = SoftwareOnlyAdapter();
    second.description = "Second";
    d3d.adapters = {empty, second};
    RecordingApp app;
    ASSERT_EQ(app.Create(nullptr), S_OK);
    EXPECT_EQ(app.adapterCount, 1u);
    EXPECT_EQ(app.adapters[0].ordinal, 1u);
    EXPECT_STREQ(app.adapters[0].identifier.Description, "Second");
    EXPECT_TRUE(Logged("CreateDevice 1 REF 0x20"));
}

TEST_F(DeviceTableTest, NoDeviceAndNoWindowableDevice) {
    d3d.adapters = {};
    RecordingApp none;
    EXPECT_EQ(Build(none), AppError::NoCompatibleDevice);

    // The application refuses the desktop format on every device: full screen only.
    d3d.adapters = {HardwareAdapter()};
    RecordingApp picky;
    picky.checkDevice = [](const D3DCAPS8&, DWORD, D3DFORMAT f) { return f == D3DFMT_X8R8G8B8 ? E_FAIL : S_OK; };
    EXPECT_EQ(Build(picky), AppError::DesktopModeUnusable);

    // Without D3DCAPS2_CANRENDERWINDOWED the device runs full screen only.
    FakeAdapter a = SoftwareOnlyAdapter();
    a.types[1].caps.Caps2 = 0;
    d3d.adapters = {a};
    RecordingApp fullOnly;
    EXPECT_EQ(Build(fullOnly), AppError::DesktopModeUnusable);
    EXPECT_FALSE(fullOnly.adapters[0].devices[0].canWindow);

    // A fatal start-up report for the code, before any window exists.
    RecordingApp app;
    EXPECT_EQ(app.Create(nullptr), AppError::DesktopModeUnusable);
    EXPECT_EQ(app.window, nullptr);
    EXPECT_EQ(ShownBoxes().back().text.rfind("This program cannot run in a desktop", 0), 0u);
}

TEST_F(DeviceTableTest, ReferenceWarningNamesTheHardwareShortcoming) {
    struct Case {
        const char* name;
        std::function<void(FakeAdapter&)> setUp;
        std::function<HRESULT(const D3DCAPS8&, DWORD, D3DFORMAT)> check;
        HRESULT expected;
    };
    auto refuseHal = [](const D3DCAPS8& c, DWORD, D3DFORMAT) { return c.DeviceType == D3DDEVTYPE_HAL ? E_FAIL : S_OK; };
    auto refuseHalDesktop = [](const D3DCAPS8& c, DWORD, D3DFORMAT f) {
        return c.DeviceType == D3DDEVTYPE_HAL && f == D3DFMT_X8R8G8B8 ? E_FAIL : S_OK;
    };
    const Case cases[] = {
        {"missing", [](FakeAdapter& a) { a.types[0].present = false; }, nullptr, AppError::HardwareDeviceMissing},
        {"no modes", [](FakeAdapter&) {}, refuseHal, AppError::HardwareLacksFeatures},
        {"cannot window", [](FakeAdapter& a) { a.types[0].caps.Caps2 = 0; }, nullptr, AppError::HardwareCannotWindow},
        {"cannot use desktop", [](FakeAdapter& a) { a.types[0].formats = {D3DFMT_R5G6B5}; }, nullptr,
         AppError::HardwareCannotUseDesktop},
        {"lacks features on desktop", [](FakeAdapter&) {}, refuseHalDesktop, AppError::HardwareLacksFeaturesOnDesktop},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeAdapter a = HardwareAdapter();
        c.setUp(a);
        d3d.adapters = {a};
        ShownBoxes().clear();
        RecordingApp app;
        app.checkDevice = c.check;
        ASSERT_EQ(Build(app), S_OK);
        const AdapterEntry& e = app.adapters[0];
        EXPECT_EQ(e.devices[e.currentDevice].deviceType, D3DDEVTYPE_REF);
        ASSERT_EQ(ShownBoxes().size(), 1u);
        EXPECT_EQ(ShownBoxes()[0].text,
                  std::string(AppErrorMessage(c.expected)) + ReportKindSuffix(ReportKind::SwitchedToReference));
    }
}

TEST_F(DeviceTableTest, AskedMultiSampleTypeGoesToTheDevicesThatTakeIt) {
    FakeAdapter a = HardwareAdapter();
    a.types[0].multiSampleTypes = {0, 2};
    a.types[1].multiSampleTypes = {0, 2, 4};
    d3d.adapters = {a};
    struct Case {
        D3DMULTISAMPLE_TYPE asked, hal, ref;
    } cases[] = {
        {D3DMULTISAMPLE_NONE, D3DMULTISAMPLE_NONE, D3DMULTISAMPLE_NONE},
        {D3DMULTISAMPLE_2_SAMPLES, D3DMULTISAMPLE_2_SAMPLES, D3DMULTISAMPLE_2_SAMPLES},
        {D3DMULTISAMPLE_4_SAMPLES, D3DMULTISAMPLE_NONE, D3DMULTISAMPLE_4_SAMPLES},
    };
    for (const Case& c : cases) {
        RecordingApp app;
        app.SetMultiSampleType(c.asked);
        ASSERT_EQ(Build(app), S_OK);
        ASSERT_EQ(app.adapters[0].deviceCount, 2u);
        EXPECT_EQ(app.adapters[0].devices[0].multiSampleType, c.hal) << c.asked;
        EXPECT_EQ(app.adapters[0].devices[1].multiSampleType, c.ref) << c.asked;
        // No device yet: nothing in use.
        EXPECT_EQ(app.CurrentMultiSampleType(), D3DMULTISAMPLE_NONE);
    }
}

TEST_F(DeviceTableTest, DeviceTextNamesTypeVertexProcessingAndAdapter) {
    struct Case {
        bool hal;
        DWORD devCaps;
        DWORD refused;  // one behaviour the application refuses
        const char* text;
    };
    const Case cases[] = {
        {true, D3DDEVCAPS_HWTRANSFORMANDLIGHT | D3DDEVCAPS_PUREDEVICE, 0, "HAL (pure hw vp): Fake GPU"},
        {true, D3DDEVCAPS_HWTRANSFORMANDLIGHT, 0, "HAL (hw vp): Fake GPU"},
        {true, D3DDEVCAPS_HWTRANSFORMANDLIGHT, 0x40, "HAL (mixed vp): Fake GPU"},
        {true, 0, 0, "HAL (sw vp): Fake GPU"},
        {false, D3DDEVCAPS_HWTRANSFORMANDLIGHT | D3DDEVCAPS_PUREDEVICE, 0, "REF (simulated pure hw vp)"},
        {false, D3DDEVCAPS_HWTRANSFORMANDLIGHT, 0, "REF (simulated hw vp)"},
        {false, D3DDEVCAPS_HWTRANSFORMANDLIGHT, 0x40, "REF (simulated mixed vp)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        FakeAdapter a = c.hal ? HardwareAdapter() : SoftwareOnlyAdapter();
        a.types[c.hal ? 0 : 1].caps.DevCaps = c.devCaps;
        d3d.adapters = {a};
        d3d.refs = 1;
        RecordingApp app;
        DWORD refused = c.refused;
        app.checkDevice = [refused](const D3DCAPS8&, DWORD b, D3DFORMAT) { return b == refused ? E_FAIL : S_OK; };
        ASSERT_EQ(app.Create(nullptr), S_OK);
        EXPECT_STREQ(app.deviceText, c.text);
        SendMessageA(app.window, WM_CLOSE, 0, 0);
    }
    // A long adapter description is cut to fit the 90-character text.
    FakeAdapter a = HardwareAdapter();
    a.description = std::string(200, 'x');
    d3d.adapters = {a};
    d3d.refs = 1;
    RecordingApp app;
    ASSERT_EQ(app.Create(nullptr), S_OK);
    EXPECT_EQ(std::string(app.deviceText), "HAL (hw vp): " + std::string(89 - 13, 'x'));
}

TEST_F(DeviceTableTest, FrameStatisticsText) {
    struct Case {
        D3DFORMAT desktop;
        BOOL depth;
        const char* suffix;
    };
    const Case cases[] = {
        {D3DFMT_X8R8G8B8, FALSE, "(400x300x32)"},
        {D3DFMT_A8R8G8B8, FALSE, "(400x300x16)"},  // only X8R8G8B8 counts as 32
        {D3DFMT_X8R8G8B8, TRUE, "(400x300x32) (D16)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.suffix);
        const HostSession fresh(TestHostConfig());  // the timer starts again
        FakeAdapter a = SoftwareOnlyAdapter();
        a.desktop.Format = c.desktop;
        a.types[1].formats.insert(c.desktop);
        d3d.adapters = {a};
        d3d.refs = 1;
        RecordingApp app;
        app.useDepthBuffer = c.depth;
        ASSERT_EQ(app.Create(nullptr), S_OK);
        Frame(app);
        // The first refresh comes at the first frame: the absolute clock reads 1.01 s.
        EXPECT_NEAR(app.framesPerSecond, 1.0f / 1.01f, 1e-4);
        EXPECT_EQ(std::string(app.frameRateText), std::string("0.99 fps ") + c.suffix);
        // The next refresh comes at the first frame more than a second later: 101 frames.
        for (int i = 0; i < 100; ++i) Frame(app);
        EXPECT_EQ(std::string(app.frameRateText), std::string("0.99 fps ") + c.suffix);
        Frame(app);
        EXPECT_EQ(std::string(app.frameRateText), std::string("100.00 fps ") + c.suffix);
        SendMessageA(app.window, WM_CLOSE, 0, 0);
    }
}

}  // namespace

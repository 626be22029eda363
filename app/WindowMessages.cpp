// The framework's side of the window: HandleMessage and its commands, the switch between
// windowed and full screen, the fallback to a windowed device, the device dialog and the
// device cursor.
//
// Index: [SECTION] Messages, [SECTION] Display switches, [SECTION] Device dialog,
//        [SECTION] Device cursor
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/AppFramework.h"

// [SECTION] Messages
LRESULT AppFramework::HandleMessage(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE:
            active = !(wParam == SIZE_MINIMIZED || wParam == SIZE_MAXHIDE);
            break;

        case WM_PAINT:
            // Repaints the last frame while frames are not driven.
            if (device && !ready && windowed) device->Present(nullptr, nullptr, nullptr, nullptr);
            break;

        case WM_CLOSE:
            ShutdownDisplay();
            DestroyMenu(GetMenu(w));
            DestroyWindow(w);
            PostQuitMessage(0);
            return 0;

        case WM_SETCURSOR:
            if (active && ready && !windowed) {
                SetCursor(nullptr);
                if (showDeviceCursor && device) device->ShowCursor(TRUE);
                return TRUE;
            }
            break;

        case WM_GETMINMAXINFO:
            if (lParam) {
                auto* mmi = reinterpret_cast<MINMAXINFO*>(lParam);
                mmi->ptMinTrackSize.x = 100;
                mmi->ptMinTrackSize.y = 100;
            }
            break;

        case WM_CONTEXTMENU:
            if (windowed) {
                HMENU menu = LoadMenuA(nullptr, MAKEINTRESOURCEA(142));
                HMENU popup = GetSubMenu(menu, 0);
                TrackPopupMenuEx(popup, TPM_VERTICAL, static_cast<SHORT>(LOWORD(static_cast<uintptr_t>(lParam))),
                                 static_cast<SHORT>(HIWORD(static_cast<uintptr_t>(lParam))), w, nullptr);
            }
            break;

        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case CmdSelectDevice:
                    if (active && ready) {
                        Pause(TRUE);
                        if (FAILED(ChooseDeviceInteractively())) return 0;  // the window is closed already
                        Pause(FALSE);
                    }
                    return 0;
                case CmdSwitchFullscreen:
                    if (active && ready) {
                        if (FAILED(SwitchWindowedFullscreen())) ReportError(AppError::DeviceResetFailed, ReportKind::Fatal);
                    }
                    return 0;
                case CmdToggleAnimation:
                    animating = !animating;
                    FrameTimer(animating ? TimerCommand::Start : TimerCommand::Stop);
                    break;
                case CmdStepFrame:
                    FrameTimer(animating ? TimerCommand::Stop : TimerCommand::Advance);
                    animating = FALSE;
                    stepOnce = TRUE;
                    break;
                case CmdQuit:
                    SendMessageA(window, WM_CLOSE, 0, 0);
                    return 0;
                default: break;
            }
            break;

        case WM_SYSCOMMAND:
            if (!windowed && (wParam == SC_MOVE || wParam == SC_SIZE || wParam == SC_MAXIMIZE ||
                              wParam == SC_KEYMENU || wParam == SC_MONITORPOWER))
                return 1;
            break;

        case WM_NCHITTEST:
            if (!windowed) return HTCLIENT;
            break;

        case WM_MOUSEMOVE:
            if (active && ready && device) {
                POINT p{};
                GetCursorPos(&p);
                ScreenToClient(window, &p);
                device->SetCursorPosition(p.x, p.y, 0);
            }
            break;

        case WM_ENTERMENULOOP: Pause(TRUE); break;
        case WM_EXITMENULOOP: Pause(FALSE); break;

        case WM_POWERBROADCAST:
            if (wParam == PBT_APMQUERYSUSPEND || wParam == PBT_APMRESUMESUSPEND) return TRUE;
            break;

        case WM_ENTERSIZEMOVE:
            if (animating) FrameTimer(TimerCommand::Stop);
            break;

        case WM_EXITSIZEMOVE:
            if (animating) FrameTimer(TimerCommand::Start);
            if (active && windowed) {
                RECT before = clientRect;
                GetWindowRect(window, &windowRect);
                GetClientRect(window, &clientRect);
                if (before.right - before.left != clientRect.right - clientRect.left ||
                    before.bottom - before.top != clientRect.bottom - clientRect.top) {
                    ready = FALSE;
                    presentParams.BackBufferWidth = static_cast<UINT>(clientRect.right - clientRect.left);
                    presentParams.BackBufferHeight = static_cast<UINT>(clientRect.bottom - clientRect.top);
                    if (!device || FAILED(ResetDisplayDevice())) {
                        ReportError(AppError::DeviceResetFailed, ReportKind::Fatal);
                        return 0;
                    }
                    ready = TRUE;
                }
            }
            break;

        default: break;
    }
    return DefWindowProcA(w, message, wParam, lParam);
}

// [SECTION] Display switches
void AppFramework::FillPresentParams() {
    AdapterEntry& a = adapters[currentAdapter];
    DeviceEntry& d = a.devices[a.currentDevice];
    ModeEntry& m = d.modes[d.currentMode];
    presentParams.Windowed = d.windowed;
    presentParams.MultiSampleType = d.multiSampleType;
    presentParams.AutoDepthStencilFormat = m.depthStencilFormat;
    presentParams.hDeviceWindow = window;
    if (windowed) {
        presentParams.BackBufferWidth = static_cast<UINT>(clientRect.right - clientRect.left);
        presentParams.BackBufferHeight = static_cast<UINT>(clientRect.bottom - clientRect.top);
        presentParams.BackBufferFormat = a.desktopMode.Format;
    } else {
        presentParams.BackBufferWidth = m.width;
        presentParams.BackBufferHeight = m.height;
        presentParams.BackBufferFormat = m.format;
    }
    // A window takes no interval of its own.
    presentParams.FullScreen_PresentationInterval =
        windowed || fullscreenSync ? D3DPRESENT_INTERVAL_DEFAULT : D3DPRESENT_INTERVAL_IMMEDIATE;
}

HRESULT AppFramework::SwitchWindowedFullscreen() {
    AdapterEntry& a = adapters[currentAdapter];
    DeviceEntry& d = a.devices[a.currentDevice];
    if (!windowed && !d.canWindow) return FallBackToWindowed();

    ready = FALSE;
    windowed = !windowed;
    d.windowed = windowed;
    AdjustWindowStyle();
    FillPresentParams();

    HRESULT hr = device ? ResetDisplayDevice() : E_FAIL;
    if (FAILED(hr)) return windowed ? FallBackToWindowed() : E_FAIL;

    if (windowed)
        SetWindowPos(window, HWND_NOTOPMOST, windowRect.left, windowRect.top, windowRect.right - windowRect.left,
                     windowRect.bottom - windowRect.top, SWP_SHOWWINDOW);
    ready = TRUE;
    return S_OK;
}

HRESULT AppFramework::FallBackToWindowed() {
    AdapterEntry* a = &adapters[currentAdapter];
    if (!a->devices[a->currentDevice].canWindow) {
        bool found = false;
        for (UINT i = 0; i < adapterCount && !found; ++i) {
            for (UINT k = 0; k < adapters[i].deviceCount && !found; ++k) {
                if (adapters[i].devices[k].canWindow) {
                    currentAdapter = i;
                    adapters[i].currentDevice = k;
                    found = true;
                }
            }
        }
        if (!found) return E_FAIL;
        a = &adapters[currentAdapter];
    }
    a->devices[a->currentDevice].windowed = TRUE;
    windowed = TRUE;
    ready = FALSE;

    LoseDeviceObjects();
    DestroyDeviceObjects();
    if (!ReleaseDevice()) return ReportError(AppError::DeviceStillReferenced, ReportKind::Fatal);

    HRESULT hr = CreateDisplayDevice();
    if (FAILED(hr)) return ReportError(hr, ReportKind::Fatal);
    ready = TRUE;
    return S_OK;
}

HRESULT AppFramework::ChooseDeviceInteractively() {
    if (!windowed) {
        if (FAILED(SwitchWindowedFullscreen())) {
            ReportError(AppError::DeviceResetFailed, ReportKind::Fatal);
            return E_FAIL;
        }
    }
    INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(144), window, DeviceDialogProc,
                                     reinterpret_cast<LPARAM>(this));
    if (result != IDOK) return S_OK;

    AdapterEntry& a = adapters[currentAdapter];
    windowed = a.devices[a.currentDevice].windowed;

    LoseDeviceObjects();
    DestroyDeviceObjects();
    if (!ReleaseDevice()) return ReportError(AppError::DeviceStillReferenced, ReportKind::Fatal);

    HRESULT hr = CreateDisplayDevice();
    if (FAILED(hr)) return ReportError(hr, ReportKind::Fatal);
    if (!animating) {
        stepOnce = TRUE;
        FrameTimer(TimerCommand::Start);
        FrameTimer(TimerCommand::Stop);
    }
    return S_OK;
}

// [SECTION] Device dialog
namespace {

constexpr int IDC_ADAPTER_COMBO = 1002;
constexpr int IDC_DEVICE_COMBO = 1000;
constexpr int IDC_FULLSCREENMODES_COMBO = 1003;
constexpr int IDC_MULTISAMPLE_COMBO = 1005;
constexpr int IDC_WINDOW = 1016;
constexpr int IDC_FULLSCREEN = 1018;

// Valid from WM_INITDIALOG to the end of the dialog.
struct DialogState {
    AppFramework* app = nullptr;
    UINT oldAdapter = 0, newAdapter = 0;
    UINT oldDevice = 0, newDevice = 0;
    UINT oldMode = 0, newMode = 0;
    BOOL oldWindowed = FALSE, newWindowed = FALSE;
    D3DMULTISAMPLE_TYPE oldMultiSample = D3DMULTISAMPLE_NONE, newMultiSample = D3DMULTISAMPLE_NONE;
};
DialogState dialogState;

void AddComboItem(HWND dialog, int control, const char* text, LPARAM data, bool select) {
    LRESULT index = SendDlgItemMessageA(dialog, control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    if (index < 0) return;
    SendDlgItemMessageA(dialog, control, CB_SETITEMDATA, static_cast<WPARAM>(index), data);
    if (select) SendDlgItemMessageA(dialog, control, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

LRESULT SelectedItemData(HWND dialog, int control) {
    LRESULT index = SendDlgItemMessageA(dialog, control, CB_GETCURSEL, 0, 0);
    if (index < 0) return -1;
    return SendDlgItemMessageA(dialog, control, CB_GETITEMDATA, static_cast<WPARAM>(index), 0);
}

}  // namespace

// The dialog reads the table through the application object it was given; it is a member so
// that it may.
INT_PTR AppFramework::DeviceDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    DialogState& s = dialogState;
    auto updateControls = [&]() {
        AppFramework& app = *s.app;
        for (int id : {IDC_ADAPTER_COMBO, IDC_DEVICE_COMBO, IDC_FULLSCREENMODES_COMBO, IDC_MULTISAMPLE_COMBO})
            SendDlgItemMessageA(dialog, id, CB_RESETCONTENT, 0, 0);
        if (s.newAdapter >= app.adapterCount) return;
        AdapterEntry& a = app.adapters[s.newAdapter];
        if (s.newDevice >= a.deviceCount) return;
        DeviceEntry& d = a.devices[s.newDevice];

        for (UINT i = 0; i < app.adapterCount; ++i)
            AddComboItem(dialog, IDC_ADAPTER_COMBO, app.adapters[i].identifier.Description, i, i == s.newAdapter);
        for (UINT i = 0; i < a.deviceCount; ++i)
            AddComboItem(dialog, IDC_DEVICE_COMBO, a.devices[i].label, i, i == s.newDevice);
        for (UINT i = 0; i < d.modeCount; ++i) {
            const ModeEntry& m = d.modes[i];
            long bits = (m.format == D3DFMT_X8R8G8B8 || m.format == D3DFMT_A8R8G8B8 || m.format == D3DFMT_R8G8B8) ? 32 : 16;
            char text[64];
            std::snprintf(text, sizeof text, "%ld x %ld x %ld", static_cast<long>(m.width), static_cast<long>(m.height), bits);
            AddComboItem(dialog, IDC_FULLSCREENMODES_COMBO, text, i, i == s.newMode);
        }
        D3DFORMAT format = s.newWindowed ? a.desktopMode.Format
                                         : (s.newMode < d.modeCount ? d.modes[s.newMode].format : a.desktopMode.Format);
        for (DWORD m = 0; m <= 16; ++m) {
            if (m == 1) continue;
            auto type = static_cast<D3DMULTISAMPLE_TYPE>(m);
            if (FAILED(app.direct3d->CheckDeviceMultiSampleType(a.ordinal, d.deviceType, format, s.newWindowed, type)))
                continue;
            char text[32];
            if (m == 0)
                std::snprintf(text, sizeof text, "none");
            else
                std::snprintf(text, sizeof text, "%d samples", static_cast<int>(m));
            AddComboItem(dialog, IDC_MULTISAMPLE_COMBO, text, static_cast<LPARAM>(m), m == 0 || type == s.newMultiSample);
        }
        LRESULT ms = SelectedItemData(dialog, IDC_MULTISAMPLE_COMBO);
        s.newMultiSample = static_cast<D3DMULTISAMPLE_TYPE>(ms < 0 ? 0 : ms);
        LRESULT items = SendDlgItemMessageA(dialog, IDC_MULTISAMPLE_COMBO, CB_GETCOUNT, 0, 0);
        EnableWindow(GetDlgItem(dialog, IDC_MULTISAMPLE_COMBO), items > 1);
        EnableWindow(GetDlgItem(dialog, IDC_WINDOW), d.canWindow);
        SendDlgItemMessageA(dialog, IDC_WINDOW, BM_SETCHECK, s.newWindowed ? BST_CHECKED : BST_UNCHECKED, 0);
        SendDlgItemMessageA(dialog, IDC_FULLSCREEN, BM_SETCHECK, s.newWindowed ? BST_UNCHECKED : BST_CHECKED, 0);
        EnableWindow(GetDlgItem(dialog, IDC_FULLSCREENMODES_COMBO), !s.newWindowed);
    };

    if (message == WM_INITDIALOG) {
        s = DialogState{};
        s.app = reinterpret_cast<AppFramework*>(lParam);
        if (!s.app) return FALSE;
        AppFramework& app = *s.app;
        s.oldAdapter = app.currentAdapter;
        AdapterEntry& a = app.adapters[s.oldAdapter];
        s.oldDevice = a.currentDevice;
        DeviceEntry& d = a.devices[s.oldDevice];
        s.oldMode = d.currentMode;
        s.oldWindowed = d.windowed;
        s.oldMultiSample = d.multiSampleType;
        s.newAdapter = s.oldAdapter;
        s.newDevice = s.oldDevice;
        s.newMode = s.oldMode;
        s.newWindowed = s.oldWindowed;
        s.newMultiSample = s.oldMultiSample;
        updateControls();
        return TRUE;
    }
    if (message != WM_COMMAND || !s.app) return FALSE;

    AppFramework& app = *s.app;
    s.newWindowed = SendDlgItemMessageA(dialog, IDC_WINDOW, BM_GETCHECK, 0, 0) == BST_CHECKED;
    const WORD id = LOWORD(wParam);
    if (id == IDOK) {
        if (s.newAdapter == s.oldAdapter && s.newDevice == s.oldDevice && s.newMode == s.oldMode &&
            s.newWindowed == s.oldWindowed && s.newMultiSample == s.oldMultiSample) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        app.currentAdapter = s.newAdapter;
        AdapterEntry& a = app.adapters[s.newAdapter];
        a.currentDevice = s.newDevice;
        DeviceEntry& d = a.devices[s.newDevice];
        d.currentMode = s.newMode;
        d.windowed = s.newWindowed;
        d.multiSampleType = s.newMultiSample;
        EndDialog(dialog, IDOK);
        return TRUE;
    }
    if (id == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    if (HIWORD(wParam) == CBN_SELENDOK) {
        LRESULT data = SelectedItemData(dialog, id);
        if (data >= 0) {
            auto index = static_cast<UINT>(data);
            switch (id) {
                case IDC_ADAPTER_COMBO:
                    if (index < app.adapterCount) {
                        s.newAdapter = index;
                        const AdapterEntry& a = app.adapters[index];
                        s.newDevice = a.currentDevice;
                        s.newMode = a.devices[s.newDevice].currentMode;
                        s.newWindowed = a.devices[s.newDevice].windowed;
                    }
                    break;
                case IDC_DEVICE_COMBO:
                    if (index < app.adapters[s.newAdapter].deviceCount) {
                        s.newDevice = index;
                        const DeviceEntry& d = app.adapters[s.newAdapter].devices[index];
                        s.newMode = d.currentMode;
                        s.newWindowed = d.windowed;
                    }
                    break;
                case IDC_FULLSCREENMODES_COMBO: s.newMode = index; break;
                case IDC_MULTISAMPLE_COMBO: s.newMultiSample = static_cast<D3DMULTISAMPLE_TYPE>(index); break;
                default: break;
            }
        }
    }
    updateControls();
    return TRUE;
}

// [SECTION] Device cursor
HRESULT AppFramework::UploadDeviceCursor(IDirect3DDevice8* dev, HCURSOR cursor) {
    ICONINFO info{};
    if (!dev || !GetIconInfo(cursor, &info)) return E_FAIL;
    HRESULT hr = E_FAIL;
    IDirect3DSurface8* surface = nullptr;
    std::vector<DWORD> maskPixels, colourPixels;
    do {
        LONG width = 0, fullHeight = 0;
        if (!win::GetBitmapPixels(info.hbmMask, &width, &fullHeight, &maskPixels)) break;
        const bool monochrome = info.hbmColor == nullptr;
        const LONG height = monochrome ? fullHeight / 2 : fullHeight;
        if (width <= 0 || height <= 0) break;
        hr = dev->CreateImageSurface(static_cast<UINT>(width), static_cast<UINT>(height), D3DFMT_A8R8G8B8, &surface);
        if (FAILED(hr)) break;
        hr = E_FAIL;
        if (!monochrome) {
            LONG cw = 0, ch = 0;
            if (!win::GetBitmapPixels(info.hbmColor, &cw, &ch, &colourPixels) || cw != width || ch < height) break;
        }
        const std::vector<DWORD>& colour = monochrome ? maskPixels : colourPixels;
        D3DLOCKED_RECT locked{};
        if (FAILED(surface->LockRect(&locked, nullptr, 0))) break;
        for (LONG y = 0; y < height; ++y) {
            auto* row = reinterpret_cast<DWORD*>(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch);
            const DWORD* colourRow = &colour[static_cast<size_t>(height - 1 - y) * width];
            const DWORD* maskRow = &maskPixels[static_cast<size_t>((monochrome ? fullHeight : height) - 1 - y) * width];
            for (LONG x = 0; x < width; ++x) row[x] = maskRow[x] == 0 ? (colourRow[x] | 0xFF000000u) : 0u;
        }
        surface->UnlockRect();
        hr = dev->SetCursorProperties(info.xHotspot, info.yHotspot, surface);
    } while (false);
    win::DeleteBitmap(info.hbmMask);
    win::DeleteBitmap(info.hbmColor);
    if (surface) surface->Release();
    return hr;
}

// The framework's own failure codes, the kinds of report, and the message text of each code.
// One table: the enum, the texts and the lookup are all derived from APP_ERROR_LIST.
#pragma once

#include "platform/win/WinTypes.h"

// X(name, code, text)
#define APP_ERROR_LIST(X)                                                                         \
    X(Direct3DUnavailable, 0x82000001u,                                                           \
      "Could not initialize Direct3D. You may\nwant to check that the latest version of\n"       \
      "DirectX is correctly installed on your\nsystem.  Also make sure that this program\n"      \
      "was compiled with header files that match\nthe installed DirectX DLLs.")                  \
    X(NoCompatibleDevice, 0x82000003u, "Could not find any compatible Direct3D\ndevices.")         \
    X(DesktopModeUnusable, 0x82000004u,                                                           \
      "This program cannot run in a desktop\nwindow with the current display settings.\n"        \
      "Please change your desktop settings to a\n16- or 32-bit display mode and re-run this\n"   \
      "sample.")                                                                                  \
    X(HardwareDeviceMissing, 0x82000005u, "No hardware-accelerated Direct3D devices\nwere found.") \
    X(HardwareLacksFeatures, 0x82000006u,                                                         \
      "This program requires functionality that is\nnot available on your Direct3D hardware\n"   \
      "accelerator.")                                                                             \
    X(HardwareCannotWindow, 0x82000007u,                                                          \
      "Your Direct3D hardware accelerator cannot\nrender into a window.\n")                      \
    X(HardwareCannotUseDesktop, 0x82000008u,                                                      \
      "Your Direct3D hardware accelerator cannot\nrender into a window with the current\n"       \
      "desktop display settings.\n")                                                              \
    X(HardwareLacksFeaturesOnDesktop, 0x82000009u,                                                \
      "This program requires functionality that is\nnot available on your Direct3D hardware\n"   \
      "accelerator with the current desktop display\nsettings.\n")                               \
    X(DeviceStillReferenced, 0x8200000Au,                                                         \
      "A D3D object has a non-zero reference\ncount (meaning things were not properly\n"         \
      "cleaned up).")                                                                             \
    X(MediaLoadFailed, 0x8200000Bu, "Could not load required media.")                             \
    X(DeviceResetFailed, 0x8200000Cu, "Could not reset the Direct3D device.")

namespace AppError {
#define APP_ERROR_ENUM(name, code, text) constexpr HRESULT name = static_cast<HRESULT>(code);
APP_ERROR_LIST(APP_ERROR_ENUM)
#undef APP_ERROR_ENUM
}  // namespace AppError

// The kinds of report ReportError takes.
namespace ReportKind {
enum : DWORD {
    Fatal = 1,                // the program ends: the main window is closed after the box
    SwitchedToReference = 2,  // a warning: the reference rasterizer is used next
};
}  // namespace ReportKind

// The text a report shows for a code, without the kind's suffix.
const char* AppErrorMessage(HRESULT code);
// The suffix a report appends for its kind ("" for kinds other than Fatal and
// SwitchedToReference).
const char* ReportKindSuffix(DWORD kind);

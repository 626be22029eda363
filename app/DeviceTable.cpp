// The table of adapters, devices and full-screen modes, built once at start-up: modes are
// listed per adapter, each format is decided per device (behaviour confirmed by CheckDevice,
// depth/stencil format), and the first device that can run in a window is selected.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/AppFramework.h"

namespace {

constexpr UINT kMaxAdapters = 10;
constexpr UINT kMaxDevices = 5;
constexpr UINT kMaxModes = 150;
constexpr UINT kMaxListedModes = 100;
constexpr UINT kMaxFormats = 20;

// A display mode as listed for one adapter (refresh rates are not told apart).
struct ListedMode {
    UINT width, height;
    D3DFORMAT format;
};

// What one device decided about one format of the adapter's format list.
struct FormatChoice {
    D3DFORMAT format;
    bool accepted;
    DWORD behaviorFlags;
    D3DFORMAT depthStencilFormat;
};

// What the hardware devices of all adapters could do; decides the warning when REF is chosen.
struct HardwareFindings {
    bool present = false;
    bool hasModes = false;
    bool canWindow = false;
    bool canUseDesktop = false;
};

bool Is16BitFormat(D3DFORMAT f) { return f == D3DFMT_R5G6B5 || f == D3DFMT_X1R5G5B5 || f == D3DFMT_A1R5G5B5; }

struct DepthCandidate {
    D3DFORMAT format;
    DWORD maxDepth;    // usable when minDepthBits <= maxDepth
    DWORD maxStencil;  // usable when minStencilBits <= maxStencil
};
// In order of preference. The 16-bit and the X8/X4 formats have no stencil.
const DepthCandidate kDepthCandidates[] = {
    {D3DFMT_D16, 16, 0},   {D3DFMT_D15S1, 15, 1},   {D3DFMT_D24X8, 24, 0},
    {D3DFMT_D24S8, 24, 8}, {D3DFMT_D24X4S4, 24, 4}, {D3DFMT_D32, 32, 0},
};

}  // namespace

bool AppFramework::PickDepthStencilFormat(UINT ordinal, D3DDEVTYPE deviceType, D3DFORMAT format,
                                          D3DFORMAT* depthStencilFormat) {
    for (const DepthCandidate& c : kDepthCandidates) {
        if (minDepthBits > c.maxDepth || minStencilBits > c.maxStencil) continue;
        if (FAILED(direct3d->CheckDeviceFormat(ordinal, deviceType, format, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE,
                                               c.format)))
            continue;
        if (FAILED(direct3d->CheckDepthStencilMatch(ordinal, deviceType, format, format, c.format))) continue;
        *depthStencilFormat = c.format;
        return true;
    }
    return false;
}

HRESULT AppFramework::BuildDeviceTable() {
    static const D3DDEVTYPE kTypes[] = {D3DDEVTYPE_HAL, D3DDEVTYPE_REF};
    static const char* const kLabels[] = {"HAL", "REF"};
    HardwareFindings hw;
    adapterCount = 0;

    UINT ordinals = direct3d->GetAdapterCount();
    for (UINT ordinal = 0; ordinal < ordinals && adapterCount < kMaxAdapters; ++ordinal) {
        AdapterEntry& a = adapters[adapterCount];
        std::memset(&a, 0, sizeof a);
        a.ordinal = ordinal;
        direct3d->GetAdapterIdentifier(ordinal, 0, &a.identifier);
        a.identifier.Description[sizeof a.identifier.Description - 1] = '\0';
        direct3d->GetAdapterDisplayMode(ordinal, &a.desktopMode);
        a.deviceCount = 0;
        a.currentDevice = 0;

        // Modes of at least 640 x 400, one per size and format; the formats they use.
        ListedMode modes[kMaxListedModes];
        UINT modeCount = 0;
        D3DFORMAT formats[kMaxFormats];
        UINT formatCount = 0;
        formats[formatCount++] = a.desktopMode.Format;
        UINT adapterModes = direct3d->GetAdapterModeCount(ordinal);
        for (UINT i = 0; i < adapterModes && modeCount < kMaxListedModes; ++i) {
            D3DDISPLAYMODE dm{};
            if (FAILED(direct3d->EnumAdapterModes(ordinal, i, &dm))) continue;
            if (dm.Width < 640 || dm.Height < 400) continue;
            bool listed = false;
            for (UINT k = 0; k < modeCount && !listed; ++k)
                listed = modes[k].width == dm.Width && modes[k].height == dm.Height && modes[k].format == dm.Format;
            if (listed) continue;
            bool knownFormat = false;
            for (UINT k = 0; k < formatCount && !knownFormat; ++k) knownFormat = formats[k] == dm.Format;
            if (!knownFormat) {
                if (formatCount == kMaxFormats) continue;  // a mode whose format cannot be kept is left out
                formats[formatCount++] = dm.Format;
            }
            modes[modeCount++] = ListedMode{dm.Width, dm.Height, dm.Format};
        }
        std::sort(modes, modes + modeCount, [](const ListedMode& x, const ListedMode& y) {
            if (x.format != y.format) return x.format > y.format;
            if (x.width != y.width) return x.width < y.width;
            return x.height < y.height;
        });

        for (UINT t = 0; t < 2 && a.deviceCount < kMaxDevices; ++t) {
            DeviceEntry& d = a.devices[a.deviceCount];
            std::memset(&d, 0, sizeof d);
            d.deviceType = kTypes[t];
            direct3d->GetDeviceCaps(ordinal, d.deviceType, &d.caps);
            d.label = kLabels[t];
            d.modeCount = 0;
            d.currentMode = 0;
            d.canWindow = FALSE;
            d.windowed = FALSE;
            d.multiSampleType = D3DMULTISAMPLE_NONE;
            const bool isHal = d.deviceType == D3DDEVTYPE_HAL;
            const bool rendersWindowed = (d.caps.Caps2 & D3DCAPS2_CANRENDERWINDOWED) != 0;

            FormatChoice choices[kMaxFormats];
            for (UINT f = 0; f < formatCount; ++f) {
                FormatChoice& c = choices[f];
                c = FormatChoice{formats[f], false, 0, D3DFMT_UNKNOWN};
                if (FAILED(direct3d->CheckDeviceType(ordinal, d.deviceType, c.format, c.format, FALSE))) continue;
                if (isHal) {
                    hw.present = true;
                    if (rendersWindowed) {
                        hw.canWindow = true;
                        if (f == 0) hw.canUseDesktop = true;
                    }
                }
                DWORD candidates[4];
                UINT candidateCount = 0;
                if (d.caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT) {
                    if (d.caps.DevCaps & D3DDEVCAPS_PUREDEVICE)
                        candidates[candidateCount++] = D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_PUREDEVICE;
                    candidates[candidateCount++] = D3DCREATE_HARDWARE_VERTEXPROCESSING;
                    candidates[candidateCount++] = D3DCREATE_MIXED_VERTEXPROCESSING;
                }
                candidates[candidateCount++] = D3DCREATE_SOFTWARE_VERTEXPROCESSING;
                bool found = false;
                for (UINT k = 0; k < candidateCount && !found; ++k) {
                    if (SUCCEEDED(CheckDevice(&d.caps, candidates[k], c.format))) {
                        c.behaviorFlags = candidates[k];
                        found = true;
                    }
                }
                if (!found) continue;
                if (useDepthBuffer && !PickDepthStencilFormat(ordinal, d.deviceType, c.format, &c.depthStencilFormat))
                    continue;
                c.accepted = true;
            }

            for (UINT i = 0; i < modeCount && d.modeCount < kMaxModes; ++i) {
                for (UINT f = 0; f < formatCount; ++f) {
                    if (!choices[f].accepted || choices[f].format != modes[i].format) continue;
                    ModeEntry& m = d.modes[d.modeCount++];
                    m.width = modes[i].width;
                    m.height = modes[i].height;
                    m.format = modes[i].format;
                    m.behaviorFlags = choices[f].behaviorFlags;
                    m.depthStencilFormat = choices[f].depthStencilFormat;
                    if (isHal) hw.hasModes = true;
                    break;  // formats are distinct: one entry per listed mode
                }
            }

            for (UINT i = 0; i < d.modeCount; ++i) {
                if (d.modes[i].width == 640 && d.modes[i].height == 480) {
                    d.currentMode = i;
                    if (Is16BitFormat(d.modes[i].format)) break;
                }
            }

            if (choices[0].accepted && rendersWindowed) {
                d.canWindow = TRUE;
                d.windowed = TRUE;
            }
            d.multiSampleType = AcceptedMultiSample(ordinal, d, a.desktopMode.Format);
            if (d.modeCount > 0) ++a.deviceCount;
        }
        if (a.deviceCount > 0) ++adapterCount;
    }

    if (adapterCount == 0) return AppError::NoCompatibleDevice;

    bool chosen = false;
    for (UINT i = 0; i < adapterCount && !chosen; ++i) {
        for (UINT k = 0; k < adapters[i].deviceCount && !chosen; ++k) {
            if (adapters[i].devices[k].windowed) {
                adapters[i].currentDevice = k;
                currentAdapter = i;
                windowed = TRUE;
                chosen = true;
            }
        }
    }
    if (!chosen) return AppError::DesktopModeUnusable;

    const AdapterEntry& a = adapters[currentAdapter];
    if (a.devices[a.currentDevice].deviceType == D3DDEVTYPE_REF) {
        HRESULT why = !hw.present         ? AppError::HardwareDeviceMissing
                      : !hw.hasModes      ? AppError::HardwareLacksFeatures
                      : !hw.canWindow     ? AppError::HardwareCannotWindow
                      : !hw.canUseDesktop ? AppError::HardwareCannotUseDesktop
                                          : AppError::HardwareLacksFeaturesOnDesktop;
        ReportError(why, ReportKind::SwitchedToReference);
    }
    return S_OK;
}

D3DMULTISAMPLE_TYPE AppFramework::AcceptedMultiSample(UINT ordinal, const DeviceEntry& d, D3DFORMAT desktopFormat) {
    const D3DMULTISAMPLE_TYPE type = requestedMultiSample;
    if (type == D3DMULTISAMPLE_NONE || (multiSampleHardwareOnly && d.deviceType != D3DDEVTYPE_HAL))
        return D3DMULTISAMPLE_NONE;
    // The device switches between windowed and full screen without a new table: every back-buffer and depth
    // format it may be created with must take the type.
    auto accepts = [&](D3DFORMAT format, BOOL windowedCheck) {
        return SUCCEEDED(direct3d->CheckDeviceMultiSampleType(ordinal, d.deviceType, format, windowedCheck, type));
    };
    if (d.canWindow && !accepts(desktopFormat, TRUE)) return D3DMULTISAMPLE_NONE;
    for (UINT i = 0; i < d.modeCount; ++i) {
        const ModeEntry& m = d.modes[i];
        if (!accepts(m.format, FALSE)) return D3DMULTISAMPLE_NONE;
        if (!useDepthBuffer) continue;
        // A windowed device takes the depth format of its current mode.
        if (!accepts(m.depthStencilFormat, FALSE) || (d.canWindow && !accepts(m.depthStencilFormat, TRUE)))
            return D3DMULTISAMPLE_NONE;
    }
    return type;
}

D3DMULTISAMPLE_TYPE AppFramework::CurrentMultiSampleType() const {
    if (!device || currentAdapter >= adapterCount) return D3DMULTISAMPLE_NONE;
    const AdapterEntry& a = adapters[currentAdapter];
    return a.devices[a.currentDevice].multiSampleType;
}

void AppFramework::ComposeDeviceText(const AdapterEntry& adapter, const DeviceEntry& dev, const ModeEntry& mode) {
    const bool hal = dev.deviceType == D3DDEVTYPE_HAL;
    const DWORD flags = mode.behaviorFlags;
    const char* vp = "";
    if ((flags & D3DCREATE_HARDWARE_VERTEXPROCESSING) && (flags & D3DCREATE_PUREDEVICE))
        vp = hal ? " (pure hw vp)" : " (simulated pure hw vp)";
    else if (flags & D3DCREATE_HARDWARE_VERTEXPROCESSING)
        vp = hal ? " (hw vp)" : " (simulated hw vp)";
    else if (flags & D3DCREATE_MIXED_VERTEXPROCESSING)
        vp = hal ? " (mixed vp)" : " (simulated mixed vp)";
    else if (flags & D3DCREATE_SOFTWARE_VERTEXPROCESSING)
        vp = " (sw vp)";
    std::snprintf(deviceText, sizeof deviceText, "%s%s", hal ? "HAL" : "REF", vp);
    if (hal) {
        // The adapter's description can be longer than the text holds: it is cut to fit.
        std::string tail = std::string(": ") + adapter.identifier.Description;
        size_t used = std::strlen(deviceText);
        size_t room = sizeof deviceText - 1 - used;
        std::memcpy(deviceText + used, tail.data(), std::min(room, tail.size()));
        deviceText[used + std::min(room, tail.size())] = '\0';
    }
}

// The program's entry point: the demo application on the framework's command-line runner.
// The data files are read from the first folder of MediaSearchPath that holds efx/, mesh/ and
// tex/: the current directory, media/ beside the executable (the build folder), the installed
// share/simmerglass, then the XDG data folders.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "app/RunApplication.h"
#include "effect/runtime/EffectFile.h"
#include "fluid/GridSize.h"
#include "platform/win/WinFile.h"
#include "platform/win/WinUser.h"
#include "scene/FluidDemoApp.h"
#include "scene/ProgramIcon.h"
#include "scene/SceneMedia.h"

namespace {

// The folder of the running executable; nothing when the platform does not tell.
std::optional<std::string> ExecutableFolder() {
    char path[4096];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path) return std::nullopt;
    std::string text(path, length);
    size_t slash = text.rfind('/');
    if (slash == std::string::npos) return std::nullopt;
    return text.substr(0, slash);
}

}  // namespace

int main(int argc, char** argv) {
    const std::optional<std::string> executableFolder = ExecutableFolder();
    const std::vector<std::string> searched =
        MediaSearchPath(executableFolder ? executableFolder->c_str() : nullptr,
                        std::getenv("XDG_DATA_DIRS"));
    // The framework's window class asks for icon 101.
    win::RegisterIconResource(101, kProgramIconPixels, kProgramIconSide, kProgramIconSide);
    return RunApplication(argc, argv, [&searched](const ApplicationOptions& options) -> std::unique_ptr<AppFramework> {
        std::optional<std::string> root = FindMediaRoot(searched);
        if (!root) std::fputs(MediaNotFoundWarning(searched).c_str(), stderr);
        return std::make_unique<FluidDemoApp>(root.value_or(""),
                                              options.grid ? static_cast<int>(options.grid) : grid_size::kDefault);
    });
}

// The program's entry point: the demo application on the framework's command-line runner.
// The data files are read from the current directory when it holds efx/, mesh/ and tex/,
// else from the media/ folder the build puts beside the executable.
#include <memory>
#include <string>

#include "app/RunApplication.h"
#include "effect/runtime/EffectFile.h"
#include "fluid/GridSize.h"
#include "platform/win/WinFile.h"
#include "scene/FluidDemoApp.h"
#include "scene/SceneMedia.h"

namespace {

std::string ExecutableFolder() {
    char path[4096];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path) return "";
    std::string text(path, length);
    size_t slash = text.rfind('/');
    return slash == std::string::npos ? std::string() : text.substr(0, slash);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string installed = ExecutableFolder() + "/media";
    return RunApplication(argc, argv, [&installed](const ApplicationOptions& options) -> std::unique_ptr<AppFramework> {
        return std::make_unique<FluidDemoApp>(FindMediaRoot("", installed),
                                              options.grid ? static_cast<int>(options.grid) : grid_size::kDefault);
    });
}

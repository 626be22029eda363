// The program's entry point: the demo application on the framework's command-line runner.
// The data files are read from the current directory when it holds efx/, mesh/ and tex/,
// else from the media/ folder the build puts beside the executable.
#include <unistd.h>

#include <climits>
#include <memory>
#include <string>

#include "app/RunApplication.h"
#include "effect/runtime/EffectFile.h"
#include "scene/FluidDemoApp.h"
#include "scene/SceneMedia.h"

namespace {

std::string ExecutableFolder() {
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return "";
    std::string text(path, static_cast<size_t>(length));
    size_t slash = text.rfind('/');
    return slash == std::string::npos ? std::string() : text.substr(0, slash);
}

}  // namespace

int main(int argc, char** argv) {
    RegisterEffectRuntime();
    const std::string installed = ExecutableFolder() + "/media";
    return RunApplication(argc, argv, [&installed]() -> std::unique_ptr<AppFramework> {
        return std::make_unique<FluidDemoApp>(FindMediaRoot("", installed));
    });
}

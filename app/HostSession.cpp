#include "app/HostSession.h"

#include "platform/win/WinTime.h"

namespace {
FrameworkState processState;
HostSession* innermost = nullptr;
}  // namespace

FrameworkState& CurrentFrameworkState() { return innermost ? innermost->state : processState; }

HostSession::HostSession(const HostConfig& config)
    : deviceOptions(config.device),
      registeredAccelerators(!config.accelerators.empty()),
      savedMessageBoxesToStandardError(win::MessageBoxesToStandardError()),
      previous(innermost) {
    state.direct3dFactory = config.direct3dFactory ? config.direct3dFactory : CurrentFrameworkState().direct3dFactory;
    innermost = this;
    win::UseFixedStepClock(config.fixedStep);
    win::SetMessageBoxesToStandardError(config.messageBoxesToStandardError);
    if (registeredAccelerators)
        win::RegisterAcceleratorResource(kAcceleratorResource, config.accelerators.data(),
                                         static_cast<int>(config.accelerators.size()));
}

HostSession::~HostSession() {
    if (registeredAccelerators) win::RegisterAcceleratorResource(kAcceleratorResource, nullptr, 0);
    win::SetMessageBoxesToStandardError(savedMessageBoxesToStandardError);
    innermost = previous;
}

#include "platform/win/RunState.h"

namespace win {
namespace {
RunState processState;
RunScope* innermost = nullptr;
}  // namespace

RunScope::RunScope() : previous(innermost) { innermost = this; }

RunScope::~RunScope() { innermost = previous; }

RunState& CurrentRunState() { return innermost ? innermost->state : processState; }

}  // namespace win

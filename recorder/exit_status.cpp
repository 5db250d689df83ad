// The exit status of a run.
#include "recorder/exit_status.h"

namespace recorder {

ExitStatus ComputeExitStatus(std::int32_t count) {
  if (count <= 1)
    return kNoArguments;
  const std::int32_t arguments = count - 1;
  return arguments > kMaximumCount ? kMaximumCount : arguments;
}

} // namespace recorder

// The exit status of a run: how the count of arguments and the failures map to it.
#ifndef TARNWHISTLE_RECORDER_EXIT_STATUS_H
#define TARNWHISTLE_RECORDER_EXIT_STATUS_H

#include <cstdint>

namespace recorder {

using ExitStatus = std::int32_t;

// Failures share their values with argument counts; only the log file tells them apart.
constexpr ExitStatus kSplitFailure = 1;
constexpr ExitStatus kNoArguments = 10;
constexpr ExitStatus kNoTempDirectory = 20;
constexpr ExitStatus kLogNotCreated = 21;
constexpr ExitStatus kMaximumCount = 255;

// 10 when the vector holds at most element 0, otherwise the number of arguments (count - 1),
// capped at 255.
ExitStatus ComputeExitStatus(std::int32_t count);

} // namespace recorder

#endif

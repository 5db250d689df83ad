// What the POSIX platform needs beyond the common operations: the process's argv.
#ifndef TARNWHISTLE_PLATFORM_POSIX_H
#define TARNWHISTLE_PLATFORM_POSIX_H

#include "platform/platform.h"

namespace platform {

// Takes the argv that main received, which stands in for the command line on POSIX. Called once,
// before anything asks for the command line.
void SetProcessArguments(int argc, char **argv);

} // namespace platform

#endif

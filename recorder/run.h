// The recorder's driver: one run from the command line to the exit status.
#ifndef TARNWHISTLE_RECORDER_RUN_H
#define TARNWHISTLE_RECORDER_RUN_H

#include "recorder/exit_status.h"

namespace recorder {

// Splits the process's command line, creates the log file in the temporary-files directory,
// writes the record and returns the status for the process to exit with. Reads nothing from the
// process entry, so it can be called from any entry point.
ExitStatus RunRecorder();

} // namespace recorder

#endif

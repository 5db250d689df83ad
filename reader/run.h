// The reader's driver: from its command line to its exit status.
#ifndef TARNWHISTLE_READER_RUN_H
#define TARNWHISTLE_READER_RUN_H

namespace reader {

// Exit statuses, the same for every way of showing: a whole record read in only one way, shown or
// matched; a record shown that is uncertain (cut short, ambiguous, or its return code does not fit
// its count), or arguments that do not match; no log, not a record, a usage error, or output that
// could not be written. Of several, the worst (the highest) is the run's.
constexpr int kReaderDone = 0;
constexpr int kReaderUncertain = 1;
constexpr int kReaderFailed = 2;

// Reads the process's arguments as the platform splits them (the same way the recorder's are),
// finds and reads the log or the list they ask for, and shows or checks it.
int RunReader();

} // namespace reader

#endif

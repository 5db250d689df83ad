// The reader's driver: from its command line to its exit status.
#ifndef TARNWHISTLE_READER_RUN_H
#define TARNWHISTLE_READER_RUN_H

// Exit statuses: done or matched, the arguments differ, and no log, not a record or a usage error.
constexpr int kReaderDone = 0;
constexpr int kReaderDiffers = 1;
constexpr int kReaderFailed = 2;

// Reads the process's arguments as the platform splits them (the same way the recorder's are),
// finds and reads the log they ask for, and shows or checks it.
int RunReader();

#endif

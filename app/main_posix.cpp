// The POSIX process entry.
#include "platform/posix.h"
#include "recorder/run.h"

int main(int argc, char **argv) {
  platform::SetProcessArguments(argc, argv);
  return recorder::RunRecorder();
}

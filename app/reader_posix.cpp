// The POSIX entry of tarnwhistle-read.
#include "platform/posix.h"
#include "reader/run.h"

int main(int argc, char **argv) {
  platform::SetProcessArguments(argc, argv);
  return reader::RunReader();
}

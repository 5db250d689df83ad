// Times programs from start to exit, interleaved round by round so that each is measured in the
// same run as the others.
//
// usage: timer_posix ROUNDS ARGUMENTS FOLDER PROGRAM...
// Each program gets ARGUMENTS one-letter arguments and TMPDIR=FOLDER. Prints, per program, the
// median, minimum and maximum time in microseconds.
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern char **environ;

namespace {

double Now() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: %s ROUNDS ARGUMENTS FOLDER PROGRAM...\n", argv[0]);
    return 2;
  }
  const int rounds = std::atoi(argv[1]);
  const int arguments = std::atoi(argv[2]);
  std::string tmpdir = std::string("TMPDIR=") + argv[3];
  char *environment[] = {tmpdir.data(), nullptr};
  std::vector<std::string> letters;
  for (int i = 0; i < arguments; ++i)
    letters.emplace_back(1, static_cast<char>('a' + i % 26));

  const int programs = argc - 4;
  std::vector<std::vector<double>> times(programs);
  for (int round = 0; round < rounds; ++round) {
    for (int p = 0; p < programs; ++p) {
      std::vector<char *> childArgv = {argv[4 + p]};
      for (std::string &letter : letters)
        childArgv.push_back(letter.data());
      childArgv.push_back(nullptr);
      const double start = Now();
      pid_t child;
      if (posix_spawn(&child, argv[4 + p], nullptr, nullptr, childArgv.data(), environment) != 0) {
        std::perror(argv[4 + p]);
        return 1;
      }
      int status;
      waitpid(child, &status, 0);
      times[p].push_back(Now() - start);
    }
  }
  for (int p = 0; p < programs; ++p) {
    std::vector<double> &t = times[p];
    std::sort(t.begin(), t.end());
    std::printf("%s %.1f %.1f %.1f\n", argv[4 + p], t[t.size() / 2], t.front(), t.back());
  }
  return 0;
}

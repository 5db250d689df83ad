// Running the real tarnwhistle binary from a test: an exact argv, a chosen environment, fresh
// folders, and what the run leaves behind.
#ifndef TARNWHISTLE_TESTS_E2E_POSIX_LAUNCH_H
#define TARNWHISTLE_TESTS_E2E_POSIX_LAUNCH_H

#include "tests/e2e/same_bytes.h"

#include <gtest/gtest.h>

#include <sys/types.h>

#include <string>
#include <vector>

namespace launch {

// The programs under test, as given on the test's command line: the recorder and the reader.
const std::string &ProgramPath();
const std::string &ReaderPath();
void SetProgramPaths(const std::string &recorder, const std::string &reader);

struct Options {
  std::vector<std::string> environment = {}; // NAME=value entries, the whole environment
  long fileSizeLimit = -1;                   // bytes, when set
  bool refuseChmod = false;                  // chmod calls fail with EPERM, as on some file systems
  std::string inputFile = {};                // standard input comes from this file, when set
  std::string outputFile = {};               // standard output goes to this file, when set
  int creationMask = -1;                     // the umask, when set
  bool outputClosed = false;           // standard output is a pipe no one reads, SIGPIPE ignored
  std::string program = ProgramPath(); // what to run
};

// The exit status of a child that could not be set up as the options ask.
constexpr int kNotSetUp = 125;

struct Result {
  int wait = 0; // as waitpid reports it
  std::string output, error;
  bool exited() const;
  int status() const;
};

// Starts the program with exactly this argv (element 0 included), waits at most a minute, and
// collects what it wrote to standard output and error.
pid_t Start(const std::vector<std::string> &argv, const Options &options, int outputPipe[2],
            int errorPipe[2]);
Result Run(const std::vector<std::string> &argv, const Options &options);

// The second half of Run, for a program started with Start: closes the pipes' write ends, waits
// at most a minute, and collects what it wrote.
Result Finish(pid_t child, int outputPipe[2], int errorPipe[2]);

std::vector<std::string> FilesIn(const std::string &folder);
std::string ReadFileBytes(const std::string &path);
void WriteFileBytes(const std::string &path, const std::string &bytes);

// The local time, shifted by some seconds, as the log names spell it.
std::string LocalTimestamp(int shiftSeconds = 0);

// The log name's parts, as the recorder spells them (in ASCII), and the timestamp in a log's name.
const std::string &LogPrefix();
const std::string &LogExtension();
std::string StampOf(const std::string &name);

void RemoveTree(const std::string &folder);

// Each test gets fresh folders; they are removed when it passes and kept, and named, when it fails.
class Test : public ::testing::Test {
protected:
  std::string NewFolder();
  void TearDown() override;

  struct Outcome {
    Result result;
    std::string before, after; // local time read just before and just after the run
  };
  // Runs the program with TMPDIR set to the folder (added to the options' environment); checks
  // that it exited on its own and wrote nothing to standard output or error.
  Outcome RunIn(const std::string &folder, const std::vector<std::string> &argv,
                Options options = {});
  // The run made exactly one file in the folder, named for a second inside the run, holding
  // exactly these bytes, readable and writable by its owner only.
  void ExpectOneLog(const std::string &folder, const Outcome &outcome, const std::string &bytes);

private:
  std::vector<std::string> folders_;
};

} // namespace launch

#endif

// Running the real tarnwhistle.exe from a Windows test program: raw command lines, a chosen
// environment, fresh folders, and the files the runs leave behind.
#ifndef TARNWHISTLE_TESTS_E2E_WINDOWS_LAUNCH_H
#define TARNWHISTLE_TESTS_E2E_WINDOWS_LAUNCH_H

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "tests/e2e/same_bytes.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace launch {

using Environment = std::vector<std::pair<std::wstring, std::wstring>>;

// tarnwhistle.exe, which the build puts next to the test programs.
std::wstring ProgramPath();

// The test's own temporary-files directory, ending in a backslash.
std::wstring DefaultTempDirectory();

// The test process's environment with these variables set (replacing any of the same name), as a
// sorted Unicode environment block.
std::vector<wchar_t> EnvironmentBlock(const Environment &overrides);

struct Process {
  HANDLE process = nullptr;
  HANDLE thread = nullptr;
};

// Starts the program (tarnwhistle.exe unless named; when the name is empty, whatever CreateProcess
// finds in the line, a batch file included) with this exact command line and environment;
// suspended if asked. Standard output and error go to the given handles when they are set.
Process Start(const std::wstring &commandLine, const Environment &environment,
              bool suspended = false, HANDLE output = nullptr, HANDLE error = nullptr,
              const std::wstring &program = ProgramPath());

// Waits for the process (a minute at most: a run that takes longer has hung), closes its handles
// and returns its exit code.
DWORD Finish(Process process);

// Start and Finish in one.
DWORD Run(const std::wstring &commandLine, const Environment &environment,
          const std::wstring &program = ProgramPath());

// A variable of the test's own environment; empty when it is not set.
std::wstring Variable(const wchar_t *name);

// The system's cmd.exe.
std::wstring CmdPath();

// Whether the tests run under Wine rather than Windows.
bool UnderWine();

// Files of another Unix user, which a CTest fixture plants when it runs as root (Wine reports their
// owner as another account); empty when there are none.
std::vector<std::wstring> ForeignFiles();

// The names of the files in a folder, sorted.
std::vector<std::wstring> FilesIn(const std::wstring &folder);

std::string ReadFileBytes(const std::wstring &path);
void WriteFileBytes(const std::wstring &path, const std::string &bytes);

// The local time, now or shifted by some seconds, as the log names spell it.
std::wstring Timestamp(const SYSTEMTIME &time);
std::wstring LocalTimestamp(int shiftSeconds = 0);

// The timestamp in a log's name.
std::wstring StampOf(const std::wstring &name);

// The log expected of a run: the program line, one line per argument (quoted where spaced), and
// the return-code line, all as UTF-16LE.
std::string RecordOf(const std::wstring &program, const std::vector<std::wstring> &arguments,
                     int status);

// The file grants access to this account (its user and the owner its token gives new files),
// SYSTEM and the Administrators group only, through a list of its own, not its folder's.
void ExpectPrivate(const std::wstring &path);

// Creates a folder, however long its path.
bool MakeFolder(const std::wstring &path);

// Removes a folder and everything in it.
void RemoveTree(const std::wstring &folder);

std::string Narrow(const std::wstring &text);

// Each test gets fresh folders; they are removed when it passes and kept, and named, when it fails.
class Test : public ::testing::Test {
protected:
  std::wstring NewFolder();
  void TearDown() override;

  struct Outcome {
    DWORD status;
    std::wstring before, after; // local time read just before and just after the run
  };
  // Runs the program with TMP set to the folder (ending in a backslash) and reads the clock around.
  Outcome RunIn(const std::wstring &folder, const std::wstring &commandLine,
                const Environment &extra = {}, const std::wstring &program = ProgramPath());
  // The run made exactly one file in the folder, named for a second inside the run, holding
  // exactly these bytes, private to this account.
  void ExpectOneLog(const std::wstring &folder, const Outcome &outcome, const std::string &bytes);

private:
  std::vector<std::wstring> folders_;
};

} // namespace launch

#endif

// The console program's platform for unit tests: streams captured, standard input, owners and
// accounts scripted, and a clock that a sleep moves on without waiting. Files are real.
#ifndef TARNWHISTLE_TESTS_FAKE_CONSOLE_H
#define TARNWHISTLE_TESTS_FAKE_CONSOLE_H

#include "platform/console.h"

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace fake {

struct Console {
  std::string output, error;             // what the program wrote
  bool outputFails = false;              // writes to standard output fail, as to a full disk
  std::optional<std::string> input = ""; // standard input; nothing when it cannot be read
  bool byteEscapes = true;
  text::QuoteForm defaultForm = text::QuoteForm::kSh;
  // Owners by file name; a file not named here is the reader's own.
  std::map<std::wstring, platform::Owner> owners;
  // Accounts by id, with their names.
  std::map<std::wstring, std::wstring> accounts = {{L"0", L"root"}, {L"1000", L"you"}};
  // The clock Now() and ModifiedTime() share, in nanoseconds: the file system's, counted from the
  // wall clock's epoch, unless the time and the files' write times are set here (file systems
  // may stamp in whole seconds).
  std::optional<std::int64_t> now;
  std::map<std::wstring, std::int64_t> modified; // by file name
  std::int64_t startTime = 0;                    // every log is new
  std::int64_t startWindow = 0;
  std::chrono::milliseconds slept{0}; // how long the program slept, in all
};

// The console the fake functions answer from; reset before each run.
Console &TheConsole();
void ResetConsole(const Console &console = {});

} // namespace fake

#endif

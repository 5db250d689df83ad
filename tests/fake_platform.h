// A platform for unit tests: scripted answers, and a log of every call in order.
#ifndef TARNWHISTLE_TESTS_FAKE_PLATFORM_H
#define TARNWHISTLE_TESTS_FAKE_PLATFORM_H

#include "platform/platform.h"

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace fake {

// What the platform answers. The defaults describe a run that succeeds.
struct Script {
  bool splitFails = false;
  std::vector<std::wstring> arguments = {L"C:\\Tools\\rec.exe"};
  // Overrides the count CommandLineToArgvW reports, for vectors the platform should never give.
  std::optional<int> reportedCount;
  std::wstring tempDirectory = L"C:\\Temp\\";
  // Overrides what GetTempPathW returns; otherwise it behaves as on Windows.
  std::optional<platform::DWORD> tempPathCount;
  // Fills the whole buffer with this unit and no NUL, instead of copying tempDirectory.
  std::optional<wchar_t> tempPathFill;
  platform::SYSTEMTIME localTime = {2026, 3, 6, 7, 9, 5, 2, 123};
  bool createFails = false;
  std::set<std::size_t> failingWrites; // zero-based indexes of WriteFile calls that fail
};

struct Call {
  std::string operation;
  std::wstring text;                   // CreateFileW: the path
  std::vector<platform::DWORD> values; // the numeric arguments, in order
  std::vector<const void *> pointers;  // the pointer arguments, in order
  std::string bytes;                   // WriteFile: the bytes passed
};

// The handle CreateFileW gives when it succeeds.
inline const platform::HANDLE kLogHandle =
    reinterpret_cast<platform::HANDLE>(static_cast<std::uintptr_t>(0x1234));

// Clears the calls and sets the answers for the next run.
void Reset(const Script &script = {});

const std::vector<Call> &Calls();

// The operation names of Calls(), in order.
std::vector<std::string> Operations();

// The block the last CommandLineToArgvW returned, and the command line the fake handed out.
const void *LastArgumentBlock();
const wchar_t *CommandLine();

} // namespace fake

#endif

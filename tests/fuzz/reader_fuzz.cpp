// Fuzzes the reader. The first byte chooses what the rest is:
// - even: a file's bytes, which must be read or refused without a crash, and whose reading, when
//   it is of a whole record whose count agrees, must be exactly what the file records;
// - odd: an argument vector as record_fuzz takes it (UTF-16LE code units, U+0000 between the
//   arguments), recorded through the fake platform and read back: the file must record exactly
//   these arguments, and unless the program's name holds a line break or the reading says it is
//   ambiguous, the reading must be the vector itself. Cuts of that file are read too.
#include "reader/reading.h"
#include "reader/show.h"
#include "recorder/run.h"

#include "tests/fake_platform.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t kMostArguments = 4000;

void Check(bool condition, const char *what) {
  if (!condition) {
    std::fprintf(stderr, "reader check failed: %s\n", what);
    std::abort();
  }
}

// Reads the bytes and shows the reading every way, as the reader would.
ReadOutcome ReadAndShow(std::string_view bytes) {
  const ReadOutcome outcome = ReadRecord(bytes);
  if (outcome.problem.empty()) {
    const ShownLog log{L"x.log", std::nullopt, outcome.reading};
    Check(!PlainView(log, true).empty() && !JsonView(log).empty(), "nothing shown");
    NullSeparated(outcome.reading, false);
  }
  return outcome;
}

void FuzzFile(std::string_view bytes) {
  const ReadOutcome outcome = ReadAndShow(bytes);
  const Reading &reading = outcome.reading;
  if (outcome.problem.empty() && Certain(reading))
    Check(bytes == RecordBytes(reading.program, reading.arguments),
          "a reading that is not what the file records");
}

void FuzzRoundTrip(std::string_view data) {
  std::vector<std::wstring> vector(1);
  for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
    const auto unit = static_cast<wchar_t>(static_cast<unsigned char>(data[i]) |
                                           static_cast<unsigned char>(data[i + 1]) << 8);
    if (unit != 0)
      vector.back().push_back(unit);
    else if (vector.size() < kMostArguments)
      vector.emplace_back();
  }
  fake::Reset({.arguments = vector});
  RunRecorder();
  std::string bytes;
  for (const fake::Call &call : fake::Calls())
    if (call.operation == "WriteFile")
      bytes += call.bytes;

  const std::vector<std::wstring> arguments(vector.begin() + 1, vector.end());
  Check(bytes == RecordBytes(vector[0], arguments),
        "the record is not exactly that of its arguments");
  const ReadOutcome outcome = ReadAndShow(bytes);
  Check(outcome.problem.empty(), "a record refused");
  const Reading &reading = outcome.reading;
  Check(reading.complete && reading.countAgrees, "a whole record read as cut short or disagreeing");
  if (vector[0].find(L"\r\n") == std::wstring::npos && !reading.ambiguous) {
    Check(reading.program == vector[0], "the program changed");
    Check(reading.arguments == arguments, "the arguments changed");
  }
  // Cuts spread over the file, and every cut in its last lines.
  for (std::size_t k = 0; k < 4; ++k)
    ReadRecord(std::string_view(bytes).substr(0, bytes.size() * k / 4));
  for (std::size_t cut = bytes.size() > 24 ? bytes.size() - 24 : 0; cut < bytes.size(); ++cut)
    ReadRecord(std::string_view(bytes).substr(0, cut));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size == 0)
    return 0;
  const std::string_view rest(reinterpret_cast<const char *>(data) + 1, size - 1);
  if (data[0] % 2 == 0)
    FuzzFile(rest);
  else
    FuzzRoundTrip(rest);
  return 0;
}

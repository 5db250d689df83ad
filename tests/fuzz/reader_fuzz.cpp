// Fuzzes the reader. The first byte chooses what the rest is:
// - even: a file's bytes, which must be read or refused without a crash, a refusal in one short
//   line whatever the file holds; a reading called certain must be exactly what the file
//   records, --expect must pass only for that reading's arguments, and a whole record with few
//   line breaks must be read as a model that tries every way of cutting its lines reads it;
// - odd: an argument vector as record_fuzz takes it (UTF-16LE code units, U+0000 between the
//   arguments), recorded through the fake platform and read back: the file must record exactly
//   these arguments; a reading without ambiguity must be the vector itself, or, where the
//   program's name holds a line break, read it as ending there (the one thing the bytes cannot
//   tell). Cuts of that file are read too, and unless an element forges lines never called
//   certain.
#include "reader/reading.h"
#include "reader/show.h"
#include "recorder/run.h"

#include "tests/fake_platform.h"
#include "tests/reading_model.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace reader {

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
    const reader::ShownLog log{L"x.log", std::nullopt, outcome.reading};
    Check(!reader::PlainView(log, true).empty() && !reader::JsonView(log).empty(), "nothing shown");
    reader::NullSeparated(outcome.reading.arguments, false);
  }
  return outcome;
}

// Each character a refusal quotes takes at most 10 bytes ("<U+10FFFF>"), and its words under 200.
constexpr std::size_t kLongestRefusal = 200 + 10 * kShownCharacters;

void FuzzFile(std::string_view bytes) {
  const ReadOutcome outcome = ReadAndShow(bytes);
  const Reading &reading = outcome.reading;
  if (!outcome.problem.empty()) {
    const std::string &problem = outcome.problem;
    Check(problem.find_first_of("\r\n") == std::string::npos && problem.size() <= kLongestRefusal,
          "a refusal that is not one short line");
    return;
  }
  if (Certain(reading))
    Check(bytes == RecordBytes(reading.program, reading.arguments),
          "a reading that is not what the file records");
  // --expect on the reading itself, on each other reading that fits, and on near misses.
  std::vector<std::vector<std::wstring>> tries = {reading.arguments};
  for (const ArgumentList &list : reading.alsoFitting)
    tries.push_back(list.arguments);
  if (!reading.arguments.empty()) {
    tries.emplace_back(reading.arguments.begin(), reading.arguments.end() - 1);
    tries.push_back(reading.arguments);
    tries.back().back() += L'"';
  }
  for (const std::vector<std::wstring> &expected : tries)
    Check(ShowsExactly(bytes, reading, expected) ==
              (Certain(reading) && expected == reading.arguments),
          "--expect passed for arguments other than a certain reading's");
  if (bytes.size() < 2 || bytes.substr(0, 2) != "\xFF\xFE")
    return;
  std::u16string units;
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
    units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          static_cast<unsigned char>(bytes[i + 1]) << 8));
  if (const auto readings = model::WholeRecordReadings(units, 12);
      readings && bytes.size() % 2 == 0) {
    const std::string disagreement = model::Disagreement(bytes, outcome, *readings);
    if (!disagreement.empty())
      std::fprintf(stderr, "%s\n", disagreement.c_str());
    Check(disagreement.empty(), "the reading differs from the model's");
  }
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
  recorder::RunRecorder();
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
  const std::size_t programBreak = vector[0].find(L"\r\n");
  if (!reading.ambiguous) {
    if (programBreak == std::wstring::npos || reading.program == vector[0]) {
      Check(reading.program == vector[0], "the program changed");
      Check(reading.arguments == arguments, "the arguments changed");
    } else {
      Check(reading.program == vector[0].substr(0, programBreak),
            "a program line read as ending elsewhere than at its first line break");
    }
  }
  // Cuts spread over the file, and every cut in its last lines.
  // Only forged lines can make a cut record look whole.
  const bool forged = std::any_of(vector.begin(), vector.end(), [](const std::wstring &element) {
    return element.find(L"\r\n") != std::wstring::npos;
  });
  const auto readCut = [&](std::size_t size) {
    const ReadOutcome cut = ReadRecord(std::string_view(bytes).substr(0, size));
    Check(forged || !Certain(cut.reading), "a record cut short read as certain");
  };
  for (std::size_t k = 0; k < 4; ++k)
    readCut(bytes.size() * k / 4);
  for (std::size_t cut = bytes.size() > 24 ? bytes.size() - 24 : 0; cut < bytes.size(); ++cut)
    readCut(cut);
}

} // namespace

} // namespace reader

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size == 0)
    return 0;
  const std::string_view rest(reinterpret_cast<const char *>(data) + 1, size - 1);
  if (data[0] % 2 == 0)
    reader::FuzzFile(rest);
  else
    reader::FuzzRoundTrip(rest);
  return 0;
}

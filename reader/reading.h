// Reading a log back into the argument vector it records, with the lines found from the format
// rather than by splitting at line breaks, which arguments may hold.
#ifndef TARNWHISTLE_READER_READING_H
#define TARNWHISTLE_READER_READING_H

#include "platform/platform.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace reader {

using platform::WideString;

// Larger than any record: the longest Windows command line gives under 1 MiB, and Linux caps the
// whole argv at a quarter of the stack limit.
constexpr std::size_t kLargestLog = 64 * 1024 * 1024;

// Readings are counted up to this many; a forged file can have exponentially many.
constexpr std::uint64_t kManyReadings = 1000;

// How many of the readings that fit are kept to be shown, the reading itself included.
constexpr std::size_t kReadingsKept = 3;

// How many characters of a line the reason a file is not a record quotes.
constexpr std::size_t kShownCharacters = 40;

// One way to read the file: element 0 and the arguments.
struct ArgumentList {
  WideString program;
  std::vector<WideString> arguments;
  bool operator==(const ArgumentList &) const = default;
};

// The reading shown, the first that fits; each of its facts is held here once.
struct Reading {
  WideString program;
  std::vector<WideString> arguments;
  std::optional<std::int32_t> returnCode; // none when the record is cut short before it
  bool complete = false;                  // the record ends with its return-code line
  bool countAgrees = false;               // the return code is the status for the count
  bool ambiguous = false;                 // other readings of the same bytes fit as well
  std::uint64_t readings = 0;             // how many fit, at most kManyReadings
  std::vector<ArgumentList> alsoFitting;  // the next few that fit, at most kReadingsKept - 1
};

// Whether the reading shows for certain what the recorder received: a whole record, read in only
// one way, whose return code is the status for its count.
bool Certain(const Reading &reading);

// The reading of a file, or why it is not a record at all: the first line that does not follow
// the format (or is in another encoding), and how it starts. The caller says "not a record".
struct ReadOutcome {
  Reading reading;
  std::string problem; // empty for a record, whole or cut short
};

// Reads a log's bytes by the rules stated at the top of reading.cpp.
ReadOutcome ReadRecord(std::string_view bytes);

// The bytes the recorder writes for this program and these arguments.
std::string RecordBytes(std::wstring_view program, const std::vector<WideString> &arguments);

// Whether the file shows for certain that exactly these arguments arrived: its reading is
// certain, its arguments are these, and the file is byte for byte their record.
bool ShowsExactly(std::string_view bytes, const Reading &reading,
                  const std::vector<WideString> &expected);

} // namespace reader

#endif

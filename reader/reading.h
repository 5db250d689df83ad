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

using platform::WideString;

// Larger than any record: the longest Windows command line gives under 1 MiB, and Linux caps the
// whole argv at a quarter of the stack limit.
constexpr std::size_t kLargestLog = 64 * 1024 * 1024;

struct Reading {
  WideString program;
  std::vector<WideString> arguments;
  std::optional<std::int32_t> returnCode; // none when the record is cut short before it
  bool complete = false;                  // the record ends with its return-code line
  bool ambiguous = false;                 // another reading of the same bytes fits as well
  bool countAgrees = false;               // the return code is the status for the count
};

// The reading of a file, or why it is not a record at all.
struct ReadOutcome {
  Reading reading;
  std::string problem; // empty for a record, whole or cut short
};

// Reads a log's bytes. Where a value holds text that looks like further lines, the argument
// indexes and the return code (which follows from the count) pick the reading that fits. The
// program line is taken to end at its first line break unless no reading then fits a whole record.
ReadOutcome ReadRecord(std::string_view bytes);

// Whether the log's bytes are exactly the record of some program followed by these arguments.
bool RecordsExactly(std::string_view bytes, const std::vector<WideString> &arguments);

#endif

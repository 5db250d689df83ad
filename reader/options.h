// The reader's command line.
#ifndef TARNWHISTLE_READER_OPTIONS_H
#define TARNWHISTLE_READER_OPTIONS_H

#include "platform/platform.h"

#include <optional>
#include <string>
#include <vector>

using platform::WideString;

enum class Mode { Plain, Json, Null, List, Expect, Help, Version };

struct ReaderOptions {
  Mode mode = Mode::Plain;
  std::optional<WideString> folder;  // --dir
  std::optional<double> waitSeconds; // --wait
  std::vector<WideString> owners;    // --owner, each account as given
  std::vector<WideString> files;     // the logs named
  std::vector<WideString> expected;  // after --expect
  std::string error;                 // what makes no sense, when something does
};

// Parses the arguments after element 0. Everything after --expect (and one "--" right after it)
// is the expected arguments, and everything after a "--" before it is a log's name.
ReaderOptions ParseOptions(const std::vector<WideString> &arguments, bool byteEscapes);

extern const char kUsage[];

#endif

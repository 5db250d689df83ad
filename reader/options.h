// The reader's command line.
#ifndef TARNWHISTLE_READER_OPTIONS_H
#define TARNWHISTLE_READER_OPTIONS_H

#include "platform/platform.h"
#include "text/quote.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

using platform::WideString;

enum class Mode { Plain, Json, Null, List, Expect, Quote, Help, Version };

// Where the argument list comes from: a log, a command line split, or the arguments that follow.
enum class Source { Log, Line, Given };

struct ReaderOptions {
  Mode mode = Mode::Plain;
  std::optional<WideString> folder;  // --dir
  std::optional<double> waitSeconds; // --wait
  std::vector<WideString> owners;    // --owner, each account as given
  std::vector<WideString> files;     // the logs named
  std::vector<WideString> expected;  // after --expect
  Source source = Source::Log;
  WideString line;                     // --split: the command line, or "-" for standard input
  std::vector<WideString> given;       // --args: element 0, then the arguments
  std::optional<text::QuoteForm> form; // --quote=FORM; none for the platform's own
  std::string error;                   // what makes no sense, when something does
};

// Parses the arguments after element 0. Everything after --expect (and one "--" right after it)
// is the expected arguments, everything after --args is the list, and everything after a "--"
// before them is a log's name.
ReaderOptions ParseOptions(const std::vector<WideString> &arguments, bool byteEscapes);

extern const char kUsage[];

#endif

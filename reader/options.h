// The reader's command line: one table of options, from which the parsing, the conflicts between
// options and the usage text all come.
#ifndef TARNWHISTLE_READER_OPTIONS_H
#define TARNWHISTLE_READER_OPTIONS_H

#include "platform/platform.h"
#include "text/quote.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace reader {

using platform::WideString;

// What the run does: read and show a list, or say how to use it or which version it is.
enum class Action { kRead, kHelp, kVersion };

// How a list is shown.
enum class View { kPlain, kJson, kNull, kList, kExpect, kQuote };

// Where the argument list comes from: a log, a command line split, or the arguments that follow.
enum class Source { kLog, kLine, kGiven };

struct Options {
  Action action = Action::kRead;
  View view = View::kPlain;
  std::optional<WideString> folder;  // --dir
  std::optional<double> waitSeconds; // --wait
  std::vector<WideString> owners;    // --owner, each account as given
  std::vector<WideString> files;     // the logs named
  std::vector<WideString> expected;  // after --expect
  Source source = Source::kLog;
  WideString line;                     // --split: the command line, or "-" for standard input
  std::vector<WideString> given;       // --args: element 0, then the arguments
  std::optional<text::QuoteForm> form; // --quote=FORM; none for the platform's own
  std::string error;                   // what makes no sense, when something does
};

// Parses the arguments after element 0. Everything after --expect (and one "--" right after it)
// is the expected arguments, everything after --args is the list, and everything after a "--"
// before them is a log's name.
Options ParseOptions(const std::vector<WideString> &arguments, bool byteEscapes);

// What --help prints: the synopsis, each option with what it does, the forms, the exit statuses.
std::string Usage();

// Each option's spellings, as the table holds them ("--null" and "-0").
std::vector<std::wstring_view> OptionSpellings();

} // namespace reader

#endif

// How the reader shows what a log holds: text for a person, JSON for a program, the bytes
// themselves for a shell. All of it is UTF-8, built from the code units exactly as recorded.
#ifndef TARNWHISTLE_READER_SHOW_H
#define TARNWHISTLE_READER_SHOW_H

#include "reader/reading.h"
#include "text/batch_view.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace reader {

using platform::WideString;

// A log as the reader presents it.
struct ShownLog {
  WideString file;                          // its path, as code units
  std::optional<platform::SYSTEMTIME> time; // the time its name holds, when it has one
  Reading reading;
  // The file's owner, by name where it has one, when the system can tell.
  std::optional<WideString> owner = std::nullopt;
};

// The width of a time as the views show it, "YYYY-MM-DD hh:mm:ss", while the year has four digits.
constexpr std::size_t kShownTimeWidth = 19;

// "1 argument", "2 arguments".
std::string ArgumentCount(std::size_t count);

// The time as the views show it, the date and the time of day apart by the separator.
std::string ShownTime(const platform::SYSTEMTIME &time, char separator = ' ');

// The file, its time, its owner, the program and each argument between [ and ], then the count and
// the return code and whether they agree, and whether the record is cut short or ambiguous.
std::string PlainView(const ShownLog &log, bool byteEscapes);

// One JSON object on one line: file, time, owner, program, arguments, return_code, complete,
// ambiguous.
std::string JsonView(const ShownLog &log);

// A list that comes from a command line split, or from the reader's own arguments.
struct ShownList {
  std::optional<WideString> line;      // the command line, when the list comes from one
  ArgumentList list;                   // by the recorder's rules
  std::optional<ArgumentList> runtime; // by the C runtime's rules, where they give another list
  std::optional<text::BatchView> batch =
      std::nullopt; // what a batch file the line starts receives from cmd
};

// The line, the program and each argument between [ and ], their count, the C runtime's list
// where it differs, and for a batch file %0 to %9, their count, %* and a warning for each thing
// cmd would act on.
std::string PlainListView(const ShownList &shown, bool byteEscapes);

// One JSON object on one line: line, program, arguments, and c_runtime (program and arguments)
// where the C runtime's list differs.
std::string JsonListView(const ShownList &shown);

// A sentence saying what a program built with the C runtime receives instead.
std::string RuntimeDiffers(const ArgumentList &runtime, bool byteEscapes);

// Each argument's bytes followed by a NUL.
std::string NullSeparated(const std::vector<WideString> &arguments, bool byteEscapes);

// The index of the first argument that NullSeparated cannot give as the bytes received: one
// holding U+0000, which would split it, or a lone surrogate, which is no byte (unless arguments
// carry bytes as escapes and it is one). Nothing when every argument can be given.
std::optional<std::size_t> FirstNotAsBytes(const std::vector<WideString> &arguments,
                                           bool byteEscapes);

// One line saying how the log's arguments differ from the expected ones: the first argument that
// differs, one missing or one too many, or why the log cannot show exactly these.
std::string FirstDifference(const Reading &reading, const std::vector<WideString> &expected,
                            bool byteEscapes);

// The first difference between two argument lists, as FirstDifference words it, naming where the
// found ones come from in counts ("the log"); empty when they are the same.
std::string ListDifference(const std::vector<WideString> &found,
                           const std::vector<WideString> &expected, const std::string &where,
                           bool byteEscapes);

} // namespace reader

#endif

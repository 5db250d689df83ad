// cmd's reading of a line, as far as it decides what a batch file receives and what it hands on:
// what cmd would act on (another command, a redirection, an expansion, a caret), the command it
// runs, and the parameters a batch file gets. Pure code: nothing here calls the system.
#ifndef TARNWHISTLE_TEXT_CMD_READING_H
#define TARNWHISTLE_TEXT_CMD_READING_H

#include "text/command_line.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace text {

// Where cmd reads the line.
enum class CmdLineKind {
  kBatchLine,   // a line of a batch file: %% gives %, parentheses open and close blocks
  kCommandLine, // the line of cmd /c "LINE", which CreateProcess runs a batch file with
  kForwarded,   // the %* a batch file pastes into a line of its own, which may stand in a block
};

// What cmd would act on rather than pass on.
enum class CmdActKind {
  kCommand,         // another command, after a live &, &&, || or |
  kRedirection,     // a redirection, with its file or handle
  kVariable,        // %NAME%, which expands when NAME is set
  kPercent,         // a % with no name to pair with, or %%: Wine's cmd drops or expands it
  kDelayedVariable, // !NAME!, which expands when delayed expansion is on
  kCaret,           // a caret cmd removes, with the character it makes plain
  kBlock,           // a parenthesis, which opens or closes a block
  kLineEnd,         // CR, LF or Ctrl-Z, or a caret at the end, where the line ends or runs on
  kOpenQuote,       // cmd's quoting still open at the end, over whatever follows on the line
};

struct CmdAct {
  CmdActKind kind;
  std::wstring text; // as written: the operator and command, the redirection, the variable...
};

struct CmdReading {
  std::wstring command;     // the first command as cmd runs it: carets gone, redirections out
  std::vector<CmdAct> acts; // everything cmd would act on, in the order met
};

// cmd's reading of the line, expanding nothing: each % or ! that could expand is reported.
CmdReading ReadCmdLine(std::wstring_view line, CmdLineKind kind);

// Whether cmd splits a batch file's parameters at the unit: space, tab, comma, semicolon, equals.
bool IsParameterDelimiter(wchar_t unit);

// Whether the unit ends a line cmd reads, or changes it (in a batch file Ctrl-Z is read as a line
// feed).
bool EndsCmdLine(wchar_t unit);

// Whether cmd acts on the unit outside quotes in a batch file's line: & | < > ^ ( ).
bool ActsOutsideQuotes(wchar_t unit);

// Each two consecutive marks (% or !) in the text with a name between, by their positions: where
// an expansion by name could start and end.
std::vector<std::pair<std::size_t, std::size_t>> NamedPairsOf(std::wstring_view text, wchar_t mark);

// A parameter's text without its quotes: the name cmd starts for %0.
std::wstring Unquoted(std::wstring_view parameter);

// What a batch file receives from the command that starts it.
struct BatchParameters {
  std::vector<std::wstring> parameters; // %0 first, then every parameter (shift reaches past %9)
  std::wstring rest;                    // %*
};

// Splits a command as cmd splits a batch file's parameters: at spaces, tabs, commas, semicolons
// and equals signs outside quotes, the quotes kept; %* is all after %0 and the blanks after it.
BatchParameters SplitBatchParameters(std::wstring_view command);

// The command lines cmd may read from the line of cmd /c "LINE": LINE itself, which /s and the
// second rule of cmd /? give; and "LINE" with its quotes kept where the first rule could apply
// (no other quote, a blank, none of & < > ( ) @ ^ |, and a file of that name).
std::vector<std::wstring> OuterQuoteReadings(std::wstring_view line);

// The list a batch file hands on when this line starts it and it forwards %* to a program: its
// own name as cmd reads it (quotes removed), then %* as the splitter splits it. Nothing when cmd
// would act on anything (delayed expansion aside, assumed off) in the line or, pasted into the
// batch file's own line, in %*; or when the readings of the outer quotes differ.
std::optional<std::vector<std::wstring>> ForwardedList(std::wstring_view line, CmdLineKind kind,
                                                       SplitRules rules);

} // namespace text

#endif

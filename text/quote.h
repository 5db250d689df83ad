// The forms a list can be quoted in: for each, the one line that delivers the list exactly, the
// readers that read such a line back, and what the form cannot carry. Each form is one row of a
// table, which the reader's options, its usage text and its checks all take from.
#ifndef TARNWHISTLE_TEXT_QUOTE_H
#define TARNWHISTLE_TEXT_QUOTE_H

#include "text/command_line.h"

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace text {

using List = std::vector<std::wstring>;

// What a quoted line is for. Each has one row in Forms(), in this order.
enum class QuoteForm {
  kCreateProcess, // CreateProcess, a shortcut's target, a service's image path or a task
  kArguments,     // the createprocess line without element 0 and the blank after it
  kCmd,           // a line in a .cmd or .bat file
  kSh,            // a POSIX shell command line
  kPowerShell,    // a line typed at a PowerShell prompt or saved in a .ps1 file
};

// The longest lines: CreateProcess takes 32,767 units with the NUL that ends them; cmd reads at
// most 8,191 in a line. A line that starts a batch file reaches cmd wrapped: Wine runs
// C:\windows\system32\cmd.exe /s/c "LINE", Windows, as observed, cmd /c "LINE"; the longer
// wrapping is counted, in case cmd's limit takes in all of its command line.
constexpr std::size_t kLongestCreateProcessLine = 32'766;
constexpr std::size_t kLongestCmdLine = 8'191;
constexpr std::wstring_view kBatchWrapping = L"C:\\windows\\system32\\cmd.exe /s/c \"\"";
constexpr std::size_t kLongestBatchLine = kLongestCmdLine - kBatchWrapping.size();

// Why a list cannot be written in a form.
enum class Refusal {
  kNone,
  kNul,            // an element holds U+0000, which ends every command line
  kQuoteInProgram, // element 0 holds a quote, which no Windows splitter reads in element 0
  kEmptyProgram,   // no element 0 at all, or for sh an empty one: no program to start
  kLineBreak,      // cmd: CR, LF or Ctrl-Z (read as LF) would end or change the batch line
  kUnencodable,    // a lone surrogate, or a byte that is not UTF-8 where only text is written
  kTooLong,        // the line would be longer than the form allows
  // Element 0 is a batch file, whose list cmd reads on its way, and:
  kBatchPercent,      // an element holds a %, which cmd may expand (Wine's cmd expands every one)
  kBatchOddQuotes,    // the arguments hold an odd number of quotes, which would leave cmd's quoting
                      // open over whatever a batch file writes after %*; element: the last of them
  kProgramPattern,    // powershell: element 0 holds what PowerShell's command lookup reads as a
                      // pattern
  kLauncherBreaks,    // powershell: one version's builder changes the element in every spelling
  kScriptHostProgram, // powershell: element 0 names a script that Windows Script Host runs, which
                      // reads its command line by rules of its own
};

// A quoted line, or why there is none. The line is in code units; where the form prints bytes,
// the bytes that are not UTF-8 stand as U+DC80 to U+DCFF (text/codec.h), so text::EncodeUnits
// gives the line's bytes.
struct QuotedLine {
  std::wstring line = {};
  Refusal refusal = Refusal::kNone;
  std::size_t element = 0; // the element the refusal names
  std::size_t length = 0;  // kTooLong: the units the line would take
  std::size_t limit = 0;   // kTooLong: the most it may take; a writer sets it where the row's
                           // own limit does not hold
  // kLauncherBreaks, and a writer's kTooLong: the launcher whose command line is meant, and for
  // kLauncherBreaks what its builder does wrong where that is known.
  std::string_view launcher = {};
  std::string flaw = {};
};

// How a form's line is printed.
enum class Output {
  kText,  // as text: a lone surrogate, or a byte that is not UTF-8, has no spelling in it
  kBytes, // as the bytes its units stand for, those that are not UTF-8 included
};

// One form: its name, what it is for, what it cannot carry, and its writer and readers.
struct FormRow {
  QuoteForm form;
  std::string_view name; // as --quote=NAME takes it
  std::string_view help; // what the line is for, in lines of at most 60 characters
  // The longest line in units, counted with the program the caller puts in front where the line
  // leaves it out; 0 for no limit.
  std::size_t longest = 0;
  Output output;
  bool withoutProgram =
      false; // the line leaves element 0 out, and its reader gives the arguments alone
  bool refusesProgramQuote = false; // element 0 may not hold a quote
  bool refusesEmptyProgram = false; // element 0 may not be empty
  bool refusesLineBreaks = false;   // no element may hold CR, LF or Ctrl-Z
  // Element 0 naming a batch file makes cmd read the line, and the writer spells the line for
  // it: no element may then hold CR, LF or Ctrl-Z either.
  bool runsBatchFiles = false;
  bool splitAsWritten =
      false; // the program's splitter reads the line as it stands, no shell before it
  // The hosts the help recommends the form for that expand %NAME% in the line before
  // CreateProcess sees it; empty when there are none.
  std::string_view expandingHosts = {};
  // The line for a list that passed the row's refusals, or a refusal of the writer's own.
  QuotedLine (*write)(const List &list);
  // The list the line gives (element 0 first, or the arguments alone for a line without it), as
  // the form's reader reads it and then the splitter; nothing when the line holds something its
  // reader would act on.
  std::optional<List> (*read)(std::wstring_view line, SplitRules rules);
  // Whether every reader of the form, with every splitter the form promises, reads the list.
  bool (*delivers)(const FormRow &row, std::wstring_view line, const List &list);
};

// Every form, in the order of QuoteForm.
std::span<const FormRow> Forms();
const FormRow &RowOf(QuoteForm form);

// The form of that name; nothing when there is none.
std::optional<QuoteForm> FormNamed(std::wstring_view name);

// The one line that delivers the list (element 0 first, never empty) exactly, or the first
// refusal its row or its writer finds.
QuotedLine QuoteCommandLine(const List &list, QuoteForm form);

// One line of English saying why the list was refused, naming the element.
std::string RefusalReason(const QuotedLine &quoted, QuoteForm form);

// The list a line of the form gives, by the row's reader.
std::optional<List> ReadQuotedLine(std::wstring_view line, QuoteForm form, SplitRules rules);

// Whether the line delivers exactly this list (element 0 first) by every reader of the form.
bool LineDelivers(std::wstring_view line, const List &list, QuoteForm form);

// One line of English for a line of the form that holds a %NAME% pair which a host the form is
// recommended for would expand before CreateProcess sees the line: the pair and the hosts. Empty
// when the form names no such host or the line holds no such pair. The line stays exact for
// CreateProcess itself.
std::string HostExpansionNote(std::wstring_view line, QuoteForm form);

} // namespace text

#endif

// Command lines: splitting one into its argument list by the rules of Windows' splitter or of
// Microsoft's C runtime, and writing the one line that delivers a given list exactly, for
// CreateProcess, for a batch file or for a POSIX shell. Pure code: nothing here calls the system.
#ifndef TARNWHISTLE_TEXT_COMMAND_LINE_H
#define TARNWHISTLE_TEXT_COMMAND_LINE_H

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace text {

// Which splitter reads a Windows command line.
enum class SplitRules {
  // CommandLineToArgvW, which the recorder calls. Inside a quoted part, "" gives a literal quote
  // and ends the part; element 0 runs to the next quote when it starts with one, and to the next
  // blank otherwise, backslashes and quotes in it being plain characters.
  kRecorder,
  // The C runtime MSVC programs use today (2008 and later, the Universal CRT): inside a quoted
  // part, "" gives a literal quote and the part goes on; in element 0 every quote toggles quoting
  // and is dropped, backslashes being plain characters.
  kRuntime,
};

// The list a command line gives, element 0 first. Blanks are space and tab. An empty line gives
// an empty list by the recorder's rules (the Windows function answers with the caller's own path,
// which no portable code knows) and one empty element by the runtime's.
std::vector<std::wstring> SplitCommandLine(std::wstring_view line, SplitRules rules);

// The arguments alone, read from a line that holds no element 0 (a shortcut's argument field): the
// argument rules from the start.
std::vector<std::wstring> SplitArguments(std::wstring_view line, SplitRules rules);

// What a quoted line is for.
enum class QuoteForm {
  kCreateProcess, // CreateProcess, a shortcut's target, a service's image path or a task
  kArguments,     // the createprocess line without element 0 and the blank after it
  kCmd,           // a .cmd or .bat line, delayed expansion off: save the file as UTF-8 without a
                  // byte-order mark and run chcp 65001 before it when it holds more than ASCII
  kSh,            // a POSIX shell command line
};

// The longest lines the forms allow: CreateProcess takes 32,767 units with the NUL that ends them;
// cmd reads at most 8,191 in a line.
constexpr std::size_t kLongestCreateProcessLine = 32'766;
constexpr std::size_t kLongestCmdLine = 8'191;

// Why a list cannot be written in a form.
enum class Refusal {
  kNone,
  kNul,            // an element holds U+0000, which ends every command line
  kQuoteInProgram, // element 0 holds a quote, which no Windows splitter reads in element 0
  kEmptyProgram,   // no element 0 at all, or for sh an empty one: no program to start
  kLineBreak,      // cmd: CR, LF or Ctrl-Z (read as LF) would end or change the batch line
  kUnencodable,    // a lone surrogate, or a byte that is not UTF-8 where only text is written
  kTooLong,        // the line would be longer than the form allows
  kBatchTarget,    // element 0 is a batch file, which CreateProcess runs through cmd, and an
                   // element holds something cmd acts on
};

// A quoted line, or why there is none. The line is in code units; for sh, the bytes that are not
// UTF-8 stand as U+DC80 to U+DCFF (text/codec.h), so text::EncodeUnits gives the line's bytes.
struct QuotedLine {
  std::wstring line;
  Refusal refusal = Refusal::kNone;
  std::size_t element = 0; // the element the refusal names
  std::size_t length = 0;  // kTooLong: the units the line would take
};

// Whether the program is a batch file, which CreateProcess runs through cmd: its name ends in
// .bat or .cmd, in any case, once the trailing dots and spaces that Windows strips are gone.
bool IsBatchFile(std::wstring_view program);

// The one line that delivers the list (element 0 first, never empty) exactly. Only what needs
// quoting is quoted: an element that is empty or holds a blank or another control character.
// - createprocess: backslashes are doubled only before a quote or the closing quote, a quote is
//   written \", and element 0, whose backslashes are plain, is quoted whole or not at all. Both
//   rule sets split the line to the same list.
// - arguments: the same line without element 0.
// - cmd: the createprocess line with element 0 always quoted (cmd reads the program's name by
//   rules of its own), then every & | < > ^ ( ) outside what cmd takes to be quotes (where every
//   quote toggles) written with ^ before it, and every % written %%.
// - sh: each element bare when it holds only letters, digits and _ - . / , : @ % + = (element 0
//   only when it is a path, holding a / and no =, so that no alias, keyword or assignment takes
//   its place), else in single quotes with ' written '\''.
QuotedLine QuoteCommandLine(const std::vector<std::wstring> &list, QuoteForm form);

// One line of English saying why the list was refused, naming the element.
std::string RefusalReason(const QuotedLine &quoted, QuoteForm form);

// The list a line of the form delivers, read as its reader reads it: the Windows forms by these
// rules (arguments: the list from element 1), cmd after cmd's own reading of % and ^ and quotes, sh
// by the shell's quoting (the rules do not matter). Nothing when the line holds something its
// reader would act on: for cmd a live & | < > ( ), a lone % or a line end, for sh anything but
// blanks, safe bare characters, single quotes and backslash escapes.
std::optional<std::vector<std::wstring>> ReadQuotedLine(std::wstring_view line, QuoteForm form,
                                                        SplitRules rules);

// Whether the line delivers exactly this list (element 0 first) by every reader of the form: both
// rule sets for the Windows forms.
bool LineDelivers(std::wstring_view line, const std::vector<std::wstring> &list, QuoteForm form);

} // namespace text

#endif

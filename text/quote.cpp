// The table of quote forms, and what every form shares: the refusals a row's data calls for, the
// length limit, and the reasons given for refusing.
#include "text/quote.h"

#include "text/cmd_reading.h"
#include "text/codec.h"
#include "text/escape.h"
#include "text/forms.h"

#include <algorithm>
#include <array>

namespace text {

namespace {

constexpr std::size_t kNoLimit = 0;

constexpr FormRow kForms[] = {
    {.form = QuoteForm::kCreateProcess,
     .name = "createprocess",
     .help = "for CreateProcess, a shortcut's target, a task or a service",
     .longest = kLongestCreateProcessLine,
     .output = Output::kText,
     .refusesProgramQuote = true,
     .runsBatchFiles = true,
     .splitAsWritten = true,
     // IExecAction's Path and Arguments, a service's ImagePath of type REG_EXPAND_SZ, and a
     // shortcut's target (IShellLink::GetPath: a raw path may hold variables to expand).
     .expandingHosts = "a scheduled task, a service's image path of type REG_EXPAND_SZ and a "
                       "shortcut's target",
     .write = &forms::WriteCreateProcess,
     .read = &forms::ReadCreateProcess,
     .delivers = &forms::EverySplitterReads},
    {.form = QuoteForm::kArguments,
     .name = "arguments",
     .help = "the same without the program (an arguments field); to\n"
             "split it back, put a program in front",
     .longest = kLongestCreateProcessLine,
     .output = Output::kText,
     .withoutProgram = true,
     .refusesProgramQuote = true,
     .runsBatchFiles = true,
     .splitAsWritten = true,
     // IExecAction's Arguments; IShellLink documents no expansion of a shortcut's arguments.
     .expandingHosts = "a scheduled task's arguments",
     .write = &forms::WriteArguments,
     .read = &forms::ReadArguments,
     .delivers = &forms::ArgumentsDeliver},
    {.form = QuoteForm::kCmd,
     .name = "cmd",
     .help = "a line for a .cmd or .bat file, delayed expansion off;\n"
             "save the file as UTF-8 and run chcp 65001 before the\n"
             "line when it holds more than ASCII",
     .longest = kLongestCmdLine,
     .output = Output::kText,
     .refusesProgramQuote = true,
     .refusesLineBreaks = true,
     .runsBatchFiles = true,
     .write = &forms::WriteCmd,
     .read = &forms::ReadCmd,
     .delivers = &forms::EverySplitterReads},
    {.form = QuoteForm::kSh,
     .name = "sh",
     .help = "a POSIX shell command",
     .longest = kNoLimit,
     .output = Output::kBytes,
     .refusesEmptyProgram = true,
     .write = &forms::WriteSh,
     .read = &forms::ReadSh,
     .delivers = &forms::ShDelivers},
    {.form = QuoteForm::kPowerShell,
     .name = "powershell",
     .help = "a line for a PowerShell prompt or a .ps1 file (UTF-8 with a\n"
             "byte-order mark): Windows PowerShell 5.1 and PowerShell 7, in\n"
             "any $PSNativeCommandArgumentPassing mode; starts the program\n"
             "Get-Command finds as an application, so the arguments arrive\n"
             "exactly and element 0 as the path it found; PowerShell does\n"
             "not wait for a GUI program: add | Out-Null",
     .longest = kNoLimit,
     .output = Output::kText,
     .refusesProgramQuote = true,
     .refusesEmptyProgram = true,
     .runsBatchFiles = true,
     .write = &forms::WritePowerShell,
     .read = &forms::ReadPowerShell,
     .delivers = &forms::EverySplitterReads},
};

constexpr bool InEnumOrder() {
  for (std::size_t i = 0; i < std::size(kForms); ++i)
    if (static_cast<std::size_t>(kForms[i].form) != i)
      return false;
  return true;
}
static_assert(InEnumOrder(), "the rows stand in the order of QuoteForm");

// Whether the element holds a lone surrogate the form cannot print: in text any, and in bytes
// one that stands for no byte.
bool Unencodable(std::wstring_view element, Output output) {
  for (std::size_t i = 0, length = 0; i < element.size(); i += length) {
    const std::uint32_t point = CodePointAt(element, i, &length);
    if (IsSurrogate(point) && (output == Output::kText || !IsEscapedByte(point)))
      return true;
  }
  return false;
}

// The refusal the element calls for in the row, if any.
Refusal RefusalOf(const FormRow &row, const std::wstring &element, bool program, bool batch) {
  if (element.find(L'\0') != std::wstring::npos)
    return Refusal::kNul;
  if (program && row.refusesProgramQuote && element.find(L'"') != std::wstring::npos)
    return Refusal::kQuoteInProgram;
  if (program && row.refusesEmptyProgram && element.empty())
    return Refusal::kEmptyProgram;
  if ((row.refusesLineBreaks || batch) && std::any_of(element.begin(), element.end(), EndsCmdLine))
    return Refusal::kLineBreak;
  if (Unencodable(element, row.output))
    return Refusal::kUnencodable;
  return Refusal::kNone;
}

// The first element, with its index, that the row cannot write; kNone when there is none.
QuotedLine RefusalFor(const FormRow &row, const List &list) {
  if (list.empty())
    return {.refusal = Refusal::kEmptyProgram};
  const bool batch = row.runsBatchFiles && IsBatchFile(list[0]);
  for (std::size_t k = 0; k < list.size(); ++k)
    if (const Refusal refusal = RefusalOf(row, list[k], k == 0, batch); refusal != Refusal::kNone)
      return {.refusal = refusal, .element = k};
  return {};
}

// The units a line takes as the system counts it: with the program in front where the form's
// line leaves it out.
std::size_t CountedLength(const FormRow &row, const List &list, const std::wstring &line) {
  if (!row.withoutProgram)
    return line.size();
  return forms::ProgramLength(list) + 1 + line.size();
}

// Whose limit a length is, for the reasons given.
struct Limit {
  std::size_t longest;
  std::size_t shown; // as the limit is usually quoted
  std::string_view whose;
};
constexpr Limit kLimits[] = {
    {kLongestCreateProcessLine, kLongestCreateProcessLine + 1, "CreateProcess takes with its NUL"},
    {kLongestCmdLine, kLongestCmdLine, "cmd reads in a line"},
    {kLongestBatchLine, kLongestBatchLine,
     "cmd reads in the line CreateProcess wraps around a "
     "batch file's"},
};

// "32,767".
std::string Grouped(std::size_t number) {
  std::string digits = std::to_string(number);
  for (std::size_t at = digits.size(); at > 3; at -= 3)
    digits.insert(at - 3, 1, ',');
  return digits;
}

std::string TooLong(const QuotedLine &quoted) {
  const std::string subject = quoted.launcher.empty()
                                  ? "the line"
                                  : "the command line " + std::string(quoted.launcher) + " builds";
  const auto limit = std::find_if(std::begin(kLimits), std::end(kLimits),
                                  [&](const Limit &l) { return l.longest == quoted.limit; });
  const std::string past = limit == std::end(kLimits)
                               ? Grouped(quoted.limit) + " units the form allows"
                               : Grouped(limit->shown) + " " + std::string(limit->whose);
  return subject + " would be " + std::to_string(quoted.length) + " units long, past the " + past;
}

// The first %NAME% pair in the line that ExpandEnvironmentStrings could expand: a name between.
std::optional<std::wstring_view> FirstPair(std::wstring_view line) {
  const auto pairs = NamedPairsOf(line, L'%');
  if (pairs.empty())
    return std::nullopt;
  return line.substr(pairs[0].first, pairs[0].second - pairs[0].first + 1);
}

} // namespace

std::span<const FormRow> Forms() { return kForms; }

const FormRow &RowOf(QuoteForm form) { return kForms[static_cast<std::size_t>(form)]; }

std::optional<QuoteForm> FormNamed(std::wstring_view name) {
  for (const FormRow &row : kForms)
    if (std::equal(name.begin(), name.end(), row.name.begin(), row.name.end()))
      return row.form;
  return std::nullopt;
}

QuotedLine QuoteCommandLine(const List &list, QuoteForm form) {
  const FormRow &row = RowOf(form);
  QuotedLine quoted = RefusalFor(row, list);
  if (quoted.refusal != Refusal::kNone)
    return quoted;
  quoted = row.write(list);
  if (quoted.refusal != Refusal::kNone)
    return quoted;
  if (quoted.limit == 0)
    quoted.limit = row.longest;
  const std::size_t length = CountedLength(row, list, quoted.line);
  if (quoted.limit != kNoLimit && length > quoted.limit) {
    quoted.length = length;
    quoted.line.clear();
    quoted.refusal = Refusal::kTooLong;
  }
  return quoted;
}

std::string RefusalReason(const QuotedLine &quoted, QuoteForm form) {
  const std::string element = ElementName(quoted.element);
  switch (quoted.refusal) {
  case Refusal::kNone:
    return {};
  case Refusal::kNul:
    return element + " holds U+0000, which ends a command line";
  case Refusal::kQuoteInProgram:
    return "the program holds a quote, which no Windows command line can pass in element 0";
  case Refusal::kEmptyProgram:
    return "there is no program: element 0 is missing, or empty where a shell must name it";
  case Refusal::kLineBreak:
    return element + " holds a CR, LF or Ctrl-Z, which cannot pass through a batch file line";
  case Refusal::kUnencodable:
    return element + (RowOf(form).output == Output::kBytes
                          ? " holds a lone surrogate, which is no byte a program can receive"
                          : " holds a lone surrogate or a byte that is not UTF-8, which a line "
                            "printed as text cannot hold");
  case Refusal::kBatchPercent:
    return element +
           " holds a %, which cmd may expand on the way to the batch file: Windows' cmd " +
           "expands a %NAME% pair, and Wine's every % again where the batch file uses %* or %1";
  case Refusal::kBatchOddQuotes:
    return "the arguments hold an odd number of quotes (the last in " + element +
           "), which would leave cmd's quoting open after them, over whatever a batch file " +
           "writes after %* on its line";
  case Refusal::kProgramPattern:
    return "the program holds one of [ ] * ? `, which PowerShell's command lookup reads as a "
           "pattern that another program's name could match";
  case Refusal::kLauncherBreaks:
    return element + " has no spelling that " + std::string(quoted.launcher) + " passes on intact" +
           (quoted.flaw.empty() ? "" : ": " + quoted.flaw);
  case Refusal::kScriptHostProgram:
    return "the program is a script that Windows Script Host runs, which reads its command line "
           "by rules of its own (without the \\\" escape): no line can promise it the list";
  case Refusal::kTooLong:
    return TooLong(quoted);
  }
  return {};
}

std::optional<List> ReadQuotedLine(std::wstring_view line, QuoteForm form, SplitRules rules) {
  return RowOf(form).read(line, rules);
}

bool LineDelivers(std::wstring_view line, const List &list, QuoteForm form) {
  const FormRow &row = RowOf(form);
  return !list.empty() && row.delivers(row, line, list);
}

std::string HostExpansionNote(std::wstring_view line, QuoteForm form) {
  const FormRow &row = RowOf(form);
  const std::optional<std::wstring_view> pair = FirstPair(line);
  if (row.expandingHosts.empty() || !pair)
    return {};
  return "note: the line holds " + Visible(*pair, false) + ", which " +
         std::string(row.expandingHosts) + " would expand before CreateProcess sees it";
}

namespace forms {

bool EverySplitterReads(const FormRow &row, std::wstring_view line, const List &list) {
  for (const SplitRules rules : kBothSplitters) {
    const std::optional<List> read = row.read(line, rules);
    if (!read ||
        !(row.withoutProgram ? std::equal(list.begin() + 1, list.end(), read->begin(), read->end())
                             : *read == list))
      return false;
  }
  return true;
}

} // namespace forms

} // namespace text

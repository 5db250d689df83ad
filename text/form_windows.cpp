// The createprocess and arguments forms: quotes only where an element needs them, and the
// backslashes before a quote or the closing quote doubled, so that both splitters read the list.
//
// When element 0 is a batch file, CreateProcess runs cmd /c "LINE", and a batch file that forwards
// %* pastes the arguments as written into a line of its own, which cmd reads again. So the batch
// spelling keeps every character cmd acts on (& | < > ^ ( )) inside what cmd takes for quotes, and
// uses no caret. cmd toggles its quoting at every quote, literal (\") or not; the splitters only at
// the others, the marks. Along each argument, with cmd's quoting as the quotes before it leave it:
// - a mark opens the argument when it is empty or holds a blank, a control, , ; = or a character
//   cmd acts on, so that a list without quotes gives %1...%9 as its arguments;
// - before a blank outside the splitters' quoted part, a mark opens one;
// - before a character cmd acts on outside cmd's quoting, a mark starts it (and opens or closes
//   the splitters' quoted part);
// - a quoted part still open at the end is closed.
// No mark follows another inside a quoted part, where "" would be a literal quote. Each argument
// toggles cmd's quoting once per literal quote it holds, so an odd number of them would leave
// cmd's quoting open after the last argument: such a list is refused, and so is every %.
#include "text/cmd_reading.h"
#include "text/forms.h"

namespace text::forms {

namespace {

bool IsBatchTarget(const List &list) { return !list.empty() && IsBatchFile(list[0]); }

bool OpensQuoted(std::wstring_view argument) {
  if (NeedsQuotes(argument))
    return true;
  for (const wchar_t unit : argument)
    if (IsParameterDelimiter(unit) || ActsOutsideQuotes(unit))
      return true;
  return false;
}

// Where the batch spelling of an argument stands.
struct Spelling {
  std::wstring &line;
  bool &cmdQuoted;     // cmd's quoting, across the arguments
  bool quoted = false; // the splitters' quoted part
  std::size_t run = 0; // backslashes read and not written yet
};

void PutMark(Spelling &s) {
  s.line.append(2 * s.run, L'\\');
  s.run = 0;
  s.line.push_back(L'"');
  s.quoted = !s.quoted;
  s.cmdQuoted = !s.cmdQuoted;
}

void AppendBatchArgument(std::wstring &line, std::wstring_view argument, bool &cmdQuoted) {
  Spelling s = {.line = line, .cmdQuoted = cmdQuoted};
  if (OpensQuoted(argument))
    PutMark(s);
  for (const wchar_t unit : argument) {
    if ((IsBlank(unit) && !s.quoted) || (ActsOutsideQuotes(unit) && !s.cmdQuoted))
      PutMark(s);
    if (unit == L'\\') {
      ++s.run;
      continue;
    }
    if (unit == L'"') {
      s.line.append(2 * s.run + 1, L'\\');
      s.cmdQuoted = !s.cmdQuoted;
    } else {
      s.line.append(s.run, L'\\');
    }
    s.run = 0;
    s.line.push_back(unit);
  }
  if (s.quoted)
    PutMark(s);
  s.line.append(s.run, L'\\');
}

QuotedLine WriteWindows(const List &list, bool withProgram) {
  if (!IsBatchTarget(list))
    return {.line = WindowsLine(list, withProgram, false)};
  QuotedLine quoted = BatchRefusal(list);
  if (quoted.refusal == Refusal::kNone) {
    quoted.line = WindowsLine(list, withProgram, false);
    quoted.limit = kLongestBatchLine;
  }
  return quoted;
}

} // namespace

std::vector<std::wstring> ArgumentTokens(const List &list) {
  std::vector<std::wstring> tokens(list.size() > 0 ? list.size() - 1 : 0);
  const bool batch = IsBatchTarget(list);
  bool cmdQuoted = false; // after the program, which is quoted whole
  for (std::size_t k = 1; k < list.size(); ++k) {
    if (batch)
      AppendBatchArgument(tokens[k - 1], list[k], cmdQuoted);
    else
      AppendArgument(tokens[k - 1], list[k]);
  }
  return tokens;
}

std::size_t ProgramLength(const List &list) {
  return list[0].size() + (NeedsQuotes(list[0]) || IsBatchTarget(list) ? 2 : 0);
}

std::wstring WindowsLine(const List &list, bool withProgram, bool programAlwaysQuoted) {
  const std::vector<std::wstring> tokens = ArgumentTokens(list);
  std::size_t size = list.empty() ? 0 : list[0].size() + 2;
  for (const std::wstring &token : tokens)
    size += token.size() + 1;
  std::wstring line;
  line.reserve(size);
  if (withProgram)
    AppendProgram(line, list[0], programAlwaysQuoted || IsBatchTarget(list));
  for (std::size_t k = 0; k < tokens.size(); ++k) {
    if (withProgram || k > 0)
      line.push_back(L' ');
    line.append(tokens[k]);
  }
  return line;
}

QuotedLine BatchRefusal(const List &list) {
  if (!IsBatchTarget(list))
    return {};
  std::size_t quotes = 0, last = 0;
  for (std::size_t k = 0; k < list.size(); ++k) {
    if (list[k].find(L'%') != std::wstring::npos)
      return {.refusal = Refusal::kBatchPercent, .element = k};
    for (const wchar_t unit : list[k])
      if (unit == L'"')
        ++quotes, last = k;
  }
  if (quotes % 2 == 1)
    return {.refusal = Refusal::kBatchOddQuotes, .element = last};
  return {};
}

QuotedLine WriteCreateProcess(const List &list) { return WriteWindows(list, true); }

QuotedLine WriteArguments(const List &list) { return WriteWindows(list, false); }

std::optional<List> ReadCreateProcess(std::wstring_view line, SplitRules rules) {
  // CreateProcess finds the program where the recorder's splitter finds element 0.
  List recorders = SplitCommandLine(line, SplitRules::kRecorder);
  if (!recorders.empty() && IsBatchFile(recorders[0]))
    return ForwardedList(line, CmdLineKind::kCommandLine, rules);
  if (rules == SplitRules::kRecorder)
    return recorders;
  return SplitCommandLine(line, rules);
}

std::optional<List> ReadArguments(std::wstring_view line, SplitRules rules) {
  return SplitArguments(line, rules);
}

bool ArgumentsDeliver(const FormRow &row, std::wstring_view line, const List &list) {
  if (!IsBatchTarget(list))
    return EverySplitterReads(row, line, list);
  // The caller puts the program in front, quoted as the help asks.
  std::wstring whole;
  AppendProgram(whole, list[0], true);
  whole.push_back(L' ');
  whole.append(line);
  for (const SplitRules rules : kBothSplitters)
    if (ForwardedList(whole, CmdLineKind::kCommandLine, rules) != list)
      return false;
  return true;
}

} // namespace text::forms

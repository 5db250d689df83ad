// The cmd form: a line for a batch file, read by cmd before the program splits it.
//
// cmd reads a batch line in two passes that matter here (text/cmd_reading.h): first %% becomes %
// (a lone % starts an expansion), then outside quotes ^ makes the next character plain and & | < >
// ( ) act; every quote toggles cmd's quoting, whatever backslashes stand before it, and inside
// quotes nothing but a quote acts. So the createprocess line is written with % doubled and a caret
// before what acts outside quotes. A batch file started from the line gets its arguments with the
// carets gone and pastes them where it forwards %*: for it the createprocess line's batch spelling
// is used, which needs no caret, and which holds no % to double.
#include "text/cmd_reading.h"
#include "text/forms.h"

namespace text::forms {

namespace {

std::wstring CmdLine(std::wstring_view windowsLine) {
  std::wstring line;
  line.reserve(windowsLine.size() + windowsLine.size() / 4);
  bool quoted = false; // as cmd sees it
  std::size_t written = 0;
  for (std::size_t i = 0; i < windowsLine.size(); ++i) {
    const wchar_t unit = windowsLine[i];
    if (unit == L'"') {
      quoted = !quoted;
    } else if (unit == L'%' || (!quoted && ActsOutsideQuotes(unit))) {
      line.append(windowsLine.substr(written, i - written));
      line.push_back(unit == L'%' ? L'%' : L'^');
      written = i;
    }
  }
  line.append(windowsLine.substr(written));
  return line;
}

// Whether the program gets the line as cmd passes it on: cmd removes carets, and acts on nothing
// else but what the assumptions rule out (delayed expansion is off), an open quote at the end
// taking in nothing.
bool PassesToAProgram(const std::vector<CmdAct> &acts) {
  for (const CmdAct &act : acts)
    if (act.kind != CmdActKind::kCaret && act.kind != CmdActKind::kOpenQuote &&
        act.kind != CmdActKind::kDelayedVariable)
      return false;
  return true;
}

} // namespace

QuotedLine WriteCmd(const List &list) {
  QuotedLine quoted = BatchRefusal(list);
  // cmd reads the program's name by rules of its own: always quoted, it reads as the splitters do.
  if (quoted.refusal == Refusal::kNone)
    quoted.line = CmdLine(WindowsLine(list, true, true));
  return quoted;
}

std::optional<List> ReadCmd(std::wstring_view line, SplitRules rules) {
  const CmdReading read = ReadCmdLine(line, CmdLineKind::kBatchLine);
  if (!PassesToAProgram(read.acts))
    return std::nullopt;
  // cmd starts a batch file where the name it reads is one.
  const BatchParameters split = SplitBatchParameters(read.command);
  if (!split.parameters.empty() && IsBatchFile(Unquoted(split.parameters.front())))
    return ForwardedList(line, CmdLineKind::kBatchLine, rules);
  return SplitCommandLine(read.command, rules);
}

} // namespace text::forms

// The cmd form: a line for a batch file, read by cmd before the program splits it.
//
// cmd reads a batch line in two passes that matter here (text/cmd_reading.h): first %% becomes %
// (a lone % starts an expansion), then outside quotes ^ makes the next character plain and & | < >
// ( ) act; every quote toggles cmd's quoting, whatever backslashes stand before it, and inside
// quotes nothing but a quote acts.
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
  // cmd reads the program's name by rules of its own: always quoted, it reads as the splitters do.
  return {.line = CmdLine(WindowsLine(list, true, true))};
}

std::optional<List> ReadCmd(std::wstring_view line, SplitRules rules) {
  const CmdReading read = ReadCmdLine(line, CmdLineKind::kBatchLine);
  if (!PassesToAProgram(read.acts))
    return std::nullopt;
  return SplitCommandLine(read.command, rules);
}

} // namespace text::forms

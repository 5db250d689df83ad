// The cmd form: a line for a batch file, read by cmd before the program splits it.
//
// cmd reads a batch line in two passes that matter here: first %% becomes % (a lone % starts an
// expansion), then outside quotes ^ makes the next character plain and & | < > ( ) act; every
// quote toggles cmd's quoting, whatever backslashes stand before it, and inside quotes nothing but
// a quote acts.
#include "text/forms.h"

namespace text::forms {

namespace {

bool ActsForCmd(wchar_t unit) {
  return unit == L'&' || unit == L'|' || unit == L'<' || unit == L'>' || unit == L'^' ||
         unit == L'(' || unit == L')';
}

std::wstring CmdLine(std::wstring_view windowsLine) {
  std::wstring line;
  line.reserve(windowsLine.size() + windowsLine.size() / 4);
  bool quoted = false; // as cmd sees it
  std::size_t written = 0;
  for (std::size_t i = 0; i < windowsLine.size(); ++i) {
    const wchar_t unit = windowsLine[i];
    if (unit == L'"') {
      quoted = !quoted;
    } else if (unit == L'%' || (!quoted && ActsForCmd(unit))) {
      line.append(windowsLine.substr(written, i - written));
      line.push_back(unit == L'%' ? L'%' : L'^');
      written = i;
    }
  }
  line.append(windowsLine.substr(written));
  return line;
}

// cmd's reading of a batch line, as far as it changes what reaches the program: nothing when
// something on the line would act.
std::optional<std::wstring> CmdReading(std::wstring_view line) {
  std::wstring expanded;
  expanded.reserve(line.size());
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == L'%') {
      if (i + 1 == line.size() || line[i + 1] != L'%')
        return std::nullopt;
      ++i;
    }
    expanded.push_back(line[i]);
  }
  std::wstring passed;
  passed.reserve(expanded.size());
  bool quoted = false;
  for (std::size_t i = 0; i < expanded.size(); ++i) {
    const wchar_t unit = expanded[i];
    if (EndsCmdLine(unit))
      return std::nullopt;
    if (unit == L'"') {
      quoted = !quoted;
    } else if (!quoted && unit == L'^') {
      if (i + 1 == expanded.size() || EndsCmdLine(expanded[i + 1]))
        return std::nullopt; // a ^ at the end joins the next line
      ++i;
    } else if (!quoted && ActsForCmd(unit)) {
      return std::nullopt;
    }
    passed.push_back(expanded[i]);
  }
  return passed;
}

} // namespace

bool EndsCmdLine(wchar_t unit) { return unit == L'\r' || unit == L'\n' || unit == L'\x1A'; }

QuotedLine WriteCmd(const List &list) {
  // cmd reads the program's name by rules of its own: always quoted, it reads as the splitters do.
  return {.line = CmdLine(WindowsLine(list, true, true))};
}

std::optional<List> ReadCmd(std::wstring_view line, SplitRules rules) {
  const std::optional<std::wstring> passed = CmdReading(line);
  if (!passed)
    return std::nullopt;
  return SplitCommandLine(*passed, rules);
}

} // namespace text::forms

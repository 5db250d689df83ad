// The createprocess and arguments forms: quotes only where an element needs them, and the
// backslashes before a quote or the closing quote doubled, so that both splitters read the list.
#include "text/forms.h"

namespace text::forms {

std::wstring WindowsLine(const List &list, bool withProgram, bool programAlwaysQuoted) {
  std::size_t size = 0;
  for (const std::wstring &element : list)
    size += element.size() + 3;
  std::wstring line;
  line.reserve(size + size / 8);
  if (withProgram)
    AppendProgram(line, list[0], programAlwaysQuoted);
  for (std::size_t k = 1; k < list.size(); ++k) {
    if (withProgram || k > 1)
      line.push_back(L' ');
    AppendArgument(line, list[k]);
  }
  return line;
}

QuotedLine WriteCreateProcess(const List &list) { return {.line = WindowsLine(list, true, false)}; }

QuotedLine WriteArguments(const List &list) { return {.line = WindowsLine(list, false, false)}; }

std::optional<List> ReadCreateProcess(std::wstring_view line, SplitRules rules) {
  return SplitCommandLine(line, rules);
}

std::optional<List> ReadArguments(std::wstring_view line, SplitRules rules) {
  return SplitArguments(line, rules);
}

} // namespace text::forms

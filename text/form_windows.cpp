// The createprocess and arguments forms: quotes only where an element needs them, and the
// backslashes before a quote or the closing quote doubled, so that both splitters read the list.
#include "text/forms.h"

namespace text::forms {

std::vector<std::wstring> ArgumentTokens(const List &list) {
  std::vector<std::wstring> tokens(list.size() > 0 ? list.size() - 1 : 0);
  for (std::size_t k = 1; k < list.size(); ++k)
    AppendArgument(tokens[k - 1], list[k]);
  return tokens;
}

std::wstring WindowsLine(const List &list, bool withProgram, bool programAlwaysQuoted) {
  const std::vector<std::wstring> tokens = ArgumentTokens(list);
  std::size_t size = list.empty() ? 0 : list[0].size() + 2;
  for (const std::wstring &token : tokens)
    size += token.size() + 1;
  std::wstring line;
  line.reserve(size);
  if (withProgram)
    AppendProgram(line, list[0], programAlwaysQuoted);
  for (std::size_t k = 0; k < tokens.size(); ++k) {
    if (withProgram || k > 0)
      line.push_back(L' ');
    line.append(tokens[k]);
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

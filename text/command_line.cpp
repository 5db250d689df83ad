// Splitting Windows command lines, and writing arguments that split back.
//
// The argument rules both Windows splitters share: blanks (space, tab) outside a quoted part end an
// argument; 2n backslashes before a quote give n backslashes and the quote opens or closes a quoted
// part; 2n+1 give n backslashes and a literal quote; other backslashes are plain. They differ only
// in a quote met inside a quoted part with another right after it: the recorder's splitter takes
// the pair as a literal quote and leaves the quoted part, the C runtime takes it as a literal quote
// and stays inside. Element 0 has a rule of its own in each (see the header).
#include "text/command_line.h"

#include <algorithm>

namespace text {

namespace {

// Reads one argument starting at line[i] (not a blank); leaves i past it.
std::wstring ReadArgument(std::wstring_view line, std::size_t &i, SplitRules rules) {
  std::wstring argument;
  std::size_t blank = i;
  while (blank < line.size() && !IsBlank(line[blank]))
    ++blank;
  argument.reserve(blank - i); // the whole of an argument with no quoted blank
  bool quoted = false;
  while (i < line.size() && (quoted || !IsBlank(line[i]))) {
    if (line[i] == L'\\') {
      std::size_t run = 0;
      while (i < line.size() && line[i] == L'\\')
        ++run, ++i;
      if (i == line.size() || line[i] != L'"') {
        argument.append(run, L'\\');
        continue;
      }
      argument.append(run / 2, L'\\');
      if (run % 2 == 1) {
        argument.push_back(L'"');
        ++i;
        continue;
      }
    }
    if (line[i] != L'"') {
      const std::size_t start = i;
      while (i < line.size() && line[i] != L'"' && line[i] != L'\\' &&
             (quoted || !IsBlank(line[i])))
        ++i;
      argument.append(line.substr(start, i - start));
    } else if (quoted && i + 1 < line.size() && line[i + 1] == L'"') {
      argument.push_back(L'"');
      i += 2;
      quoted = rules == SplitRules::kRuntime;
    } else {
      quoted = !quoted;
      ++i;
    }
  }
  return argument;
}

void ReadArguments(std::wstring_view line, std::size_t i, SplitRules rules,
                   std::vector<std::wstring> &list) {
  // At most one argument starts after each blank: room for them all saves moving them.
  std::size_t most = list.size() + 1;
  for (std::size_t k = i; k + 1 < line.size(); ++k)
    if (IsBlank(line[k]) && !IsBlank(line[k + 1]))
      ++most;
  list.reserve(most);
  for (;;) {
    while (i < line.size() && IsBlank(line[i]))
      ++i;
    if (i == line.size())
      return;
    list.push_back(ReadArgument(line, i, rules));
  }
}

// Element 0, read from the start of the line; leaves i past it.
std::wstring ReadProgram(std::wstring_view line, std::size_t &i, SplitRules rules) {
  std::wstring program;
  if (rules == SplitRules::kRecorder && i < line.size() && line[i] == L'"') {
    const std::size_t end = line.find(L'"', i + 1);
    program = line.substr(i + 1, end == std::wstring_view::npos ? end : end - i - 1);
    i = end == std::wstring_view::npos ? line.size() : end + 1;
    return program;
  }
  bool quoted = false;
  for (; i < line.size() && (quoted || !IsBlank(line[i])); ++i) {
    if (rules == SplitRules::kRuntime && line[i] == L'"')
      quoted = !quoted;
    else
      program.push_back(line[i]);
  }
  return program;
}

bool IsControlOrBlank(wchar_t unit) { return unit <= L' '; }

} // namespace

std::vector<std::wstring> SplitCommandLine(std::wstring_view line, SplitRules rules) {
  std::vector<std::wstring> list;
  if (line.empty() && rules == SplitRules::kRecorder)
    return list;
  std::size_t i = 0;
  list.push_back(ReadProgram(line, i, rules));
  ReadArguments(line, i, rules, list);
  return list;
}

std::vector<std::wstring> SplitArguments(std::wstring_view line, SplitRules rules) {
  std::vector<std::wstring> list;
  ReadArguments(line, 0, rules, list);
  return list;
}

bool NeedsQuotes(std::wstring_view element) {
  if (element.empty())
    return true;
  for (const wchar_t unit : element)
    if (IsControlOrBlank(unit))
      return true;
  return false;
}

void AppendProgram(std::wstring &line, std::wstring_view program, bool alwaysQuoted) {
  const bool quoted = alwaysQuoted || NeedsQuotes(program);
  if (quoted)
    line.push_back(L'"');
  line.append(program);
  if (quoted)
    line.push_back(L'"');
}

void AppendArgument(std::wstring &line, std::wstring_view argument) {
  AppendEscaped(line, argument, NeedsQuotes(argument));
}

void AppendEscaped(std::wstring &line, std::wstring_view argument, bool quoted) {
  if (quoted)
    line.push_back(L'"');
  std::size_t run = 0, written = 0; // backslashes just before i; units written so far
  for (std::size_t i = 0; i < argument.size(); ++i) {
    if (argument[i] == L'\\') {
      ++run;
    } else if (argument[i] == L'"') {
      line.append(argument.substr(written, i - written));
      line.append(run + 1, L'\\');
      written = i;
      run = 0;
    } else {
      run = 0;
    }
  }
  line.append(argument.substr(written));
  if (quoted) {
    line.append(run, L'\\');
    line.push_back(L'"');
  }
}

bool HasExtension(std::wstring_view program, std::span<const std::wstring_view> extensions) {
  std::wstring name(program.substr(0, program.find_last_not_of(L". ") + 1));
  for (wchar_t &unit : name)
    if (unit >= L'A' && unit <= L'Z')
      unit = static_cast<wchar_t>(unit - L'A' + L'a');
  return std::any_of(extensions.begin(), extensions.end(),
                     [&](std::wstring_view extension) { return name.ends_with(extension); });
}

bool IsBatchFile(std::wstring_view program) { return HasExtension(program, kBatchExtensions); }

} // namespace text

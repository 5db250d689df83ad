// The sh form: each element bare when it holds only safe characters, else in single quotes, and
// a POSIX shell's reading of such a line.
#include "text/forms.h"

#include <algorithm>

namespace text::forms {

namespace {

bool BareForSh(wchar_t unit) {
  if ((unit >= L'a' && unit <= L'z') || (unit >= L'A' && unit <= L'Z') ||
      (unit >= L'0' && unit <= L'9'))
    return true;
  switch (unit) {
  case L'_':
  case L'-':
  case L'.':
  case L'/':
  case L',':
  case L':':
  case L'@':
  case L'%':
  case L'+':
  case L'=':
    return true;
  default:
    return false;
  }
}

bool BareShWord(std::wstring_view word, bool program) {
  if (word.empty())
    return false;
  for (const wchar_t unit : word)
    if (!BareForSh(unit))
      return false;
  return !program ||
         (word.find(L'/') != std::wstring_view::npos && word.find(L'=') == std::wstring_view::npos);
}

std::wstring ShLine(const std::vector<std::wstring> &list) {
  std::size_t size = 0;
  for (const std::wstring &element : list)
    size += element.size() + 3;
  std::wstring line;
  line.reserve(size + size / 8);
  for (std::size_t k = 0; k < list.size(); ++k) {
    if (k > 0)
      line.push_back(L' ');
    const std::wstring_view element = list[k];
    if (BareShWord(element, k == 0)) {
      line.append(element);
      continue;
    }
    line.push_back(L'\'');
    for (std::size_t i = 0, quote; i < element.size(); i = quote + 1) {
      quote = std::min(element.find(L'\'', i), element.size());
      line.append(element.substr(i, quote - i));
      if (quote < element.size())
        line.append(L"'\\''");
    }
    line.push_back(L'\'');
  }
  return line;
}

// A POSIX shell's reading of a line of words: bare safe characters, single-quoted parts and
// backslash escapes, separated by blanks.
std::optional<std::vector<std::wstring>> ShReading(std::wstring_view line) {
  std::vector<std::wstring> words;
  words.reserve(line.size() / 2 + 1);
  std::size_t i = 0;
  for (;;) {
    while (i < line.size() && IsBlank(line[i]))
      ++i;
    if (i == line.size())
      return words;
    std::wstring word;
    bool bareOnly = true;
    while (i < line.size() && !IsBlank(line[i])) {
      if (line[i] == L'\'') {
        const std::size_t end = line.find(L'\'', i + 1);
        if (end == std::wstring_view::npos)
          return std::nullopt;
        word.append(line.substr(i + 1, end - i - 1));
        i = end + 1;
        bareOnly = false;
      } else if (line[i] == L'\\') {
        if (i + 1 == line.size() || line[i + 1] == L'\n')
          return std::nullopt;
        word.push_back(line[i + 1]);
        i += 2;
        bareOnly = false;
      } else if (BareForSh(line[i])) {
        const std::size_t start = i;
        while (i < line.size() && BareForSh(line[i]))
          ++i;
        word.append(line.substr(start, i - start));
      } else {
        return std::nullopt;
      }
    }
    if (words.empty() && bareOnly && !BareShWord(word, true))
      return std::nullopt; // an alias, a keyword or an assignment could take its place
    words.push_back(std::move(word));
  }
}

} // namespace

QuotedLine WriteSh(const List &list) { return {.line = ShLine(list)}; }

std::optional<List> ReadSh(std::wstring_view line, SplitRules) { return ShReading(line); }

bool ShDelivers(const FormRow &, std::wstring_view line, const List &list) {
  return ShReading(line) == list;
}

} // namespace text::forms

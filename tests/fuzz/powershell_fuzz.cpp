// Fuzzes the powershell form. The input is UTF-16LE code units, read two ways:
// - as a line, held in memory of exactly its size, which the form's reader and every model must
//   read without going past its end;
// - as a list, its elements separated by U+FFFF, which the form must either write as one line that
//   every model of every version and mode reads back to the list, or refuse for a reason the list
//   really has. PowerShell's reading of the line and the Legacy builders are modelled here again on
//   their own, apart from the code under test.
#include "tests/fuzz/batch_model.h"
#include "tests/fuzz/input.h"
#include "text/codec.h"
#include "text/command_line.h"
#include "text/forms.h"
#include "text/quote.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using text::QuoteForm;
using text::Refusal;
using text::SplitRules;
using List = std::vector<std::wstring>;

void Check(bool condition, const char *what) {
  if (!condition) {
    std::fprintf(stderr, "powershell check failed: %s\n", what);
    std::abort();
  }
}

bool Holds(std::wstring_view text, std::wstring_view units) {
  return text.find_first_of(units) != std::wstring_view::npos;
}

constexpr std::wstring_view kSingleQuotes = L"'\u2018\u2019\u201A\u201B";
constexpr std::wstring_view kWhiteSpace =
    L"\t\n\v\f\r \u0085\u00A0\u1680\u2000\u2001\u2002\u2003\u2004\u2005\u2006\u2007\u2008\u2009"
    L"\u200A\u2028\u2029\u202F\u205F\u3000";

constexpr std::wstring_view kScriptHost[] = {L".vbs", L".vbe", L".js", L".jse", L".wsf", L".wsh"};
constexpr std::wstring_view kStart = L"& { $PSNativeCommandArgumentPassing = 'Legacy'; if "
                                     L"('Legacy' -eq $PSNativeCommandArgumentPassing) { & (";
constexpr std::wstring_view kPassOver = L"-NotIn '.bat', '.cmd', '.vbs', '.vbe', '.js', '.jse', "
                                        L"'.wsf', '.wsh' | ";
constexpr std::wstring_view kElse = L" } else { throw '";

// One string of the line at i, leaving i past it: '...' with doubled quotes, or "..." with
// backtick escapes and $([char]0xXXXX).
std::optional<std::wstring> Value(std::wstring_view line, std::size_t &i) {
  std::wstring value;
  const auto quoteAt = [&](std::size_t at) { return Holds(line.substr(at, 1), kSingleQuotes); };
  if (i < line.size() && line[i] == L'\'') {
    for (++i; i < line.size() && !(quoteAt(i) && !quoteAt(i + 1)); ++i)
      value.push_back(quoteAt(i) ? line[++i] : line[i]);
  } else if (i < line.size() && line[i] == L'"') {
    for (++i; i < line.size() && line[i] != L'"'; ++i) {
      if (line[i] == L'`' && i + 1 < line.size()) {
        const wchar_t next = line[++i];
        value.push_back(next == L'n' ? L'\n' : next == L'r' ? L'\r' : next == L't' ? L'\t' : next);
      } else if (line.substr(i, 10) == L"$([char]0x" && i + 15 <= line.size()) {
        const std::wstring hex(line.substr(i + 10, 4));
        value.push_back(static_cast<wchar_t>(std::wcstoul(hex.c_str(), nullptr, 16)));
        i += 14;
      } else {
        value.push_back(line[i]);
      }
    }
  } else {
    return std::nullopt;
  }
  if (i++ >= line.size())
    return std::nullopt;
  return value;
}

// One argument at i: a string, or @('...', '...'), whose strings the builder takes one by one.
std::optional<List> Argument(std::wstring_view line, std::size_t &i) {
  const bool array = line.substr(i, 2) == L"@(";
  if (array)
    i += 2;
  List strings;
  for (;;) {
    std::optional<std::wstring> value = Value(line, i);
    if (!value)
      return std::nullopt;
    strings.push_back(std::move(*value));
    if (!array || line.substr(i, 2) != L", ")
      break;
    i += 2;
  }
  if (array && line.substr(i++, 1) != L")")
    return std::nullopt;
  return strings;
}

// The program, and the arguments the line hands the builder.
std::optional<std::pair<std::wstring, std::vector<List>>> Strings(std::wstring_view line) {
  const std::size_t name = line.find(L"-Name ");
  const std::size_t end = line.rfind(kElse);
  if (name == std::wstring_view::npos || end == std::wstring_view::npos)
    return std::nullopt;
  std::size_t i = name + 6;
  const std::optional<std::wstring> program = Value(line, i);
  const std::size_t close = line.find(L')', i);
  if (!program || close == std::wstring_view::npos)
    return std::nullopt;
  std::pair<std::wstring, std::vector<List>> strings = {*program, {}};
  for (i = close + 1; i < end;) {
    std::optional<List> argument;
    if (line[i++] != L' ' || !(argument = Argument(line, i)))
      return std::nullopt;
    strings.second.push_back(std::move(*argument));
  }
  return strings;
}

// Legacy: 5.1 counts every quote and doubles nothing; 7 skips a quote after a backslash and
// doubles the trailing backslashes. An array's strings each so, a blank between them.
std::wstring Legacy(const std::vector<List> &arguments, bool windowsPowerShell) {
  std::wstring text;
  for (std::size_t k = 0; k < arguments.size(); ++k) {
    for (std::size_t n = 0; n < arguments[k].size(); ++n) {
      const std::wstring &s = arguments[k][n];
      text += k > 0 || n > 0 ? L" " : L"";
      std::size_t quotes = 0;
      bool quote = false;
      for (std::size_t i = 0; i < s.size() && !quote; ++i) {
        if (s[i] == L'"' && (windowsPowerShell || i == 0 || s[i - 1] != L'\\'))
          ++quotes;
        else if (Holds(s.substr(i, 1), kWhiteSpace) && quotes % 2 == 0)
          quote = true;
      }
      text += quote ? L"\"" + s : s;
      for (std::size_t i = s.size(); quote && !windowsPowerShell && i > 0 && s[i - 1] == L'\\'; --i)
        text += L"\\";
      text += quote ? L"\"" : L"";
    }
  }
  return text;
}

bool NamesAScript(std::wstring program) {
  program.erase(program.find_last_not_of(L". ") + 1);
  for (wchar_t &unit : program)
    unit = static_cast<wchar_t>(std::towlower(unit));
  return std::any_of(std::begin(kScriptHost), std::end(kScriptHost),
                     [&](std::wstring_view extension) { return program.ends_with(extension); });
}

// Whether the element holds white space after an odd number of its quotes, which 5.1 counts
// differently, and cannot go as an array of single-spaced pieces: two spaces in a row, white
// space that is not a space, or --% alone between spaces.
bool WindowsPowerShellBreaks(const std::wstring &element) {
  std::size_t quotes = 0;
  bool afterOdd = false;
  for (const wchar_t unit : element) {
    quotes += unit == L'"';
    afterOdd = afterOdd || (quotes % 2 == 1 && Holds(std::wstring(1, unit), kWhiteSpace));
  }
  const bool otherWhiteSpace = std::any_of(element.begin(), element.end(), [](wchar_t unit) {
    return unit != L' ' && Holds(std::wstring(1, unit), kWhiteSpace);
  });
  return afterOdd && (element.find(L"  ") != std::wstring::npos || otherWhiteSpace ||
                      element.find(L" --% ") != std::wstring::npos);
}

// For a batch file, an element holding what cmd acts on must reach cmd as its token alone (or an
// array that gives the token back), which a Legacy builder may change.
bool BatchTokenBroken(const List &list, std::size_t k) {
  if (!text::IsBatchFile(list[0]) || !Holds(list[k], text::forms::kCmdActsOn))
    return false;
  const std::wstring token = text::forms::ArgumentTokens(list)[k - 1];
  return Legacy({{token}}, true) != token || Legacy({{token}}, false) != token;
}

bool HasLoneSurrogate(const std::wstring &element) {
  for (std::size_t i = 0, length = 0; i < element.size(); i += length)
    if (text::IsSurrogate(text::CodePointAt(element, i, &length)))
      return true;
  return false;
}

bool Justified(const text::QuotedLine &quoted, const List &list) {
  if (list.empty())
    return quoted.refusal == Refusal::kEmptyProgram;
  const std::wstring &element = list[quoted.element];
  switch (quoted.refusal) {
  case Refusal::kNone:
    return false;
  case Refusal::kLineBreak: // only a batch file's, which ends a line of cmd's
    return text::IsBatchFile(list[0]) && Holds(element, L"\r\n\x1A");
  case Refusal::kNul:
    return element.find(L'\0') != std::wstring::npos;
  case Refusal::kQuoteInProgram:
    return quoted.element == 0 && Holds(element, L"\"");
  case Refusal::kEmptyProgram:
    return quoted.element == 0 && element.empty();
  case Refusal::kUnencodable:
    return HasLoneSurrogate(element);
  case Refusal::kBatchPercent:
    return text::IsBatchFile(list[0]) && Holds(element, L"%");
  case Refusal::kBatchOddQuotes: {
    std::size_t quotes = 0;
    for (std::size_t k = 1; k < list.size(); ++k)
      quotes += static_cast<std::size_t>(std::count(list[k].begin(), list[k].end(), L'"'));
    return text::IsBatchFile(list[0]) && quotes % 2 == 1 && Holds(element, L"\"");
  }
  case Refusal::kProgramPattern:
    return quoted.element == 0 && Holds(element, L"[]*?`");
  case Refusal::kLauncherBreaks:
    // Only 5.1 breaks anything; or any builder a batch file's token, which some elements must
    // take alone.
    return quoted.element > 0 &&
           ((quoted.launcher == "Windows PowerShell 5.1" && WindowsPowerShellBreaks(element)) ||
            BatchTokenBroken(list, quoted.element));
  case Refusal::kScriptHostProgram:
    return quoted.element == 0 && NamesAScript(element);
  case Refusal::kTooLong: {
    std::size_t shortest = list.size() + 1;
    for (const std::wstring &e : list)
      shortest += e.size();
    return quoted.length > quoted.limit && quoted.length >= shortest &&
           quoted.limit == (text::IsBatchFile(list[0]) ? text::kLongestBatchLine
                                                       : text::kLongestCreateProcessLine);
  }
  }
  return false;
}

void CheckLine(const std::wstring &line, const List &list) {
  Check(text::LineDelivers(line, list, QuoteForm::kPowerShell), "a line a model reads otherwise");
  for (const wchar_t unit : line)
    Check(unit >= 0x20 && unit != 0x7F && !(unit >= 0x80 && unit <= 0x9F) && unit != 0x2028 &&
              unit != 0x2029,
          "a control in the line, which a prompt would not take as typed");
  Check(line.starts_with(kStart), "a line that does not pin Legacy and check it first");
  Check(text::IsBatchFile(list[0]) || line.find(kPassOver) != std::wstring::npos,
        "a bare name's lookup that may find a batch file or a script");
  const auto strings = Strings(line);
  Check(strings.has_value() && strings->second.size() + 1 == list.size() &&
            strings->first == list[0],
        "strings not read back");
  for (const bool windowsPowerShell : {true, false}) {
    const std::wstring built =
        L"\"" + list[0] + L"\" " + Legacy(strings->second, windowsPowerShell);
    for (const SplitRules rules : text::kBothSplitters)
      Check(text::SplitCommandLine(built, rules) == list, "a Legacy builder breaks the line");
    if (!text::IsBatchFile(list[0]))
      continue;
    // cmd reads a batch file's command line on its way, and the batch file pastes %* again.
    const std::optional<std::wstring> rest = fuzz::BatchRest(built, list[0]);
    Check(rest.has_value(), "a line on which cmd acts on its way to a batch file");
    for (const SplitRules rules : text::kBothSplitters)
      Check(text::SplitArguments(*rest, rules) == List(list.begin() + 1, list.end()),
            "a batch file forwards another list");
  }
}

void FuzzList(const List &list) {
  const text::QuotedLine quoted = text::QuoteCommandLine(list, QuoteForm::kPowerShell);
  if (quoted.refusal == Refusal::kNone) {
    Check(!list.empty() && !list[0].empty(), "a line without a program");
    CheckLine(quoted.line, list);
  } else {
    Check(quoted.line.empty(), "a refusal with a line");
    Check(Justified(quoted, list), "a refusal the list does not call for");
    Check(!text::RefusalReason(quoted, QuoteForm::kPowerShell).empty(), "a refusal, no reason");
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::size_t count = size / 2;
  const std::unique_ptr<wchar_t[]> units = fuzz::UnitsOf(data, count);
  const std::wstring_view line(units.get(), count);
  for (const SplitRules rules : text::kBothSplitters)
    text::ReadQuotedLine(line, QuoteForm::kPowerShell, rules);
  for (const text::forms::PowerShellModel &model : text::forms::PowerShellModels())
    text::forms::PowerShellCommandLine(line, model);
  FuzzList(fuzz::ListOf(line));
  return 0;
}

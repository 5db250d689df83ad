// Fuzzes command-line splitting and quoting. The input is UTF-16LE code units, read two ways:
// - as one line, held in memory of exactly its size, which every splitter and every form's reader
//   must read without going past its end; the list it splits into must quote back to itself;
// - as a list, its elements separated by U+FFFF, which every form must either write as a line that
//   delivers exactly that list or refuse for a reason the list really has; and the same list again
//   with element 0 a batch file's name, which the Windows forms must write so that cmd acts on
//   nothing on the way to the batch file and a batch file forwarding %* hands on the list. cmd's
//   and the shell's readings are modelled here on their own, apart from the code under test.
#include "tests/fuzz/batch_model.h"
#include "tests/fuzz/input.h"
#include "text/codec.h"
#include "text/quote.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using text::QuoteForm;
using text::Refusal;
using text::SplitRules;
using List = std::vector<std::wstring>;

constexpr QuoteForm kForms[] = {QuoteForm::kCreateProcess, QuoteForm::kArguments, QuoteForm::kCmd,
                                QuoteForm::kSh};
constexpr SplitRules kRules[] = {SplitRules::kRecorder, SplitRules::kRuntime};

void Check(bool condition, const char *what) {
  if (!condition) {
    std::fprintf(stderr, "command line check failed: %s\n", what);
    std::abort();
  }
}

bool Holds(const std::wstring &element, std::wstring_view units) {
  return element.find_first_of(units) != std::wstring::npos;
}

bool HasLoneSurrogate(const std::wstring &element, bool escapedBytesAllowed) {
  for (std::size_t i = 0, length = 0; i < element.size(); i += length) {
    const std::uint32_t point = text::CodePointAt(element, i, &length);
    if (text::IsSurrogate(point) && !(escapedBytesAllowed && text::IsEscapedByte(point)))
      return true;
  }
  return false;
}

// cmd's reading of a batch line: %% to %, then outside quotes ^ escapes and & | < > ( ) act.
std::optional<std::wstring> CmdPasses(const std::wstring &line) {
  std::wstring expanded;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == L'%' && (i + 1 == line.size() || line[++i] != L'%'))
      return std::nullopt;
    expanded.push_back(line[i]);
  }
  std::wstring passed;
  bool quoted = false;
  for (std::size_t i = 0; i < expanded.size(); ++i) {
    if (Holds(std::wstring(1, expanded[i]), L"\r\n\x1A"))
      return std::nullopt;
    if (expanded[i] == L'"') {
      quoted = !quoted;
    } else if (!quoted && expanded[i] == L'^') {
      if (++i == expanded.size() || Holds(std::wstring(1, expanded[i]), L"\r\n\x1A"))
        return std::nullopt;
    } else if (!quoted && Holds(std::wstring(1, expanded[i]), L"&|<>()")) {
      return std::nullopt;
    }
    passed.push_back(expanded[i]);
  }
  return passed;
}

// The shell's reading of the line the sh form writes: words of plain characters and quoted parts.
std::optional<List> ShWords(const std::wstring &line) {
  List words;
  bool inWord = false, quoted = false, firstBare = true;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const wchar_t unit = line[i];
    if (quoted) {
      if (unit == L'\'')
        quoted = false;
      else
        words.back().push_back(unit);
      continue;
    }
    if (unit == L' ') {
      inWord = false;
      continue;
    }
    if (!inWord)
      words.emplace_back();
    inWord = true;
    if (words.size() == 1 && (unit == L'\'' || unit == L'\\'))
      firstBare = false;
    if (unit == L'\'')
      quoted = true;
    else if (unit == L'\\' && i + 1 < line.size())
      words.back().push_back(line[++i]);
    else if (Holds(std::wstring(1, unit), L"\t\n\"$`\\|&;<>()*?[]#~!{}^"))
      return std::nullopt;
    else
      words.back().push_back(unit);
  }
  // A bare first word holding = could be an assignment rather than the program.
  if (quoted || (!words.empty() && firstBare && Holds(words[0], L"=")))
    return std::nullopt;
  return words;
}

// Batch file names the lists are tried with: cases, the dots and spaces Windows strips, what cmd
// acts on, and a % a line cannot carry to cmd.
const std::wstring kBatchNames[] = {
    LR"(C:\Tools\run.bat)", L"X.CMD", L"run.bat. .",       L"run.cmd ", LR"(C:\R&D (x)^\r.Bat)",
    L"C:\\a b\\\u00E9.cmd", L".bat",  LR"(C:\100%\x.bat)",
};

// Whether cmd reads the list on its way: element 0 is a batch file and the form starts it.
bool ThroughCmd(const List &list, QuoteForm form) {
  return form != QuoteForm::kSh && !list.empty() && text::IsBatchFile(list[0]);
}

std::size_t QuoteCount(const List &list) {
  std::size_t quotes = 0;
  for (const std::wstring &element : list)
    quotes += static_cast<std::size_t>(std::count(element.begin(), element.end(), L'"'));
  return quotes;
}

// The last element holding a quote.
std::size_t LastQuoted(const List &list) {
  std::size_t last = 0;
  for (std::size_t k = 0; k < list.size(); ++k)
    if (Holds(list[k], L"\""))
      last = k;
  return last;
}

std::size_t Longest(QuoteForm form, bool throughCmd) {
  if (form == QuoteForm::kCmd)
    return text::kLongestCmdLine;
  // cmd's own limit, less what Wine wraps around the line: C:\windows\system32\cmd.exe /s/c "".
  return throughCmd ? text::kLongestCmdLine - 35 : text::kLongestCreateProcessLine;
}

// Whether the refusal is one the list really calls for.
bool Justified(const text::QuotedLine &quoted, const List &list, QuoteForm form) {
  if (list.empty())
    return quoted.refusal == Refusal::kEmptyProgram;
  if (quoted.element >= list.size())
    return false;
  const std::wstring &element = list[quoted.element];
  switch (quoted.refusal) {
  case Refusal::kNone:
    return false;
  case Refusal::kNul:
    return element.find(L'\0') != std::wstring::npos;
  case Refusal::kQuoteInProgram:
    return form != QuoteForm::kSh && quoted.element == 0 && Holds(element, L"\"");
  case Refusal::kEmptyProgram:
    return form == QuoteForm::kSh && quoted.element == 0 && element.empty();
  case Refusal::kLineBreak:
    return (form == QuoteForm::kCmd || ThroughCmd(list, form)) && Holds(element, L"\r\n\x1A");
  case Refusal::kUnencodable:
    // Every form but sh prints its line as text.
    return (form != QuoteForm::kSh && HasLoneSurrogate(element, false)) ||
           (form == QuoteForm::kSh && HasLoneSurrogate(element, true));
  case Refusal::kBatchPercent:
    return ThroughCmd(list, form) && Holds(element, L"%");
  case Refusal::kBatchOddQuotes:
    return ThroughCmd(list, form) && QuoteCount(list) % 2 == 1 &&
           quoted.element == LastQuoted(list);
  case Refusal::kProgramPattern:
  case Refusal::kLauncherBreaks:
  case Refusal::kScriptHostProgram:
    return false; // the powershell form's alone (powershell_fuzz.cpp)
  case Refusal::kTooLong: {
    std::size_t shortest = list.size() - 1; // the blanks between elements
    for (const std::wstring &e : list)
      shortest += e.size();
    return form != QuoteForm::kSh && quoted.length > Longest(form, ThroughCmd(list, form)) &&
           quoted.length >= shortest;
  }
  }
  return false;
}

// Whether any element holds what the form must refuse.
bool Refusable(const List &list, QuoteForm form) {
  if (list.empty() || (form == QuoteForm::kSh && list[0].empty()) ||
      (form != QuoteForm::kSh && Holds(list[0], L"\"")))
    return true;
  // A batch file's list reaches cmd, which may expand a % and cannot take a line break, and whose
  // quoting an odd number of quotes would leave open.
  const bool batch = ThroughCmd(list, form);
  if (batch && QuoteCount(list) % 2 == 1)
    return true;
  for (const std::wstring &element : list)
    if (element.find(L'\0') != std::wstring::npos || (batch && Holds(element, L"%\r\n\x1A")) ||
        (form == QuoteForm::kCmd && Holds(element, L"\r\n\x1A")) ||
        (form != QuoteForm::kSh && HasLoneSurrogate(element, false)) ||
        (form == QuoteForm::kSh && HasLoneSurrogate(element, true)))
      return true;
  return false;
}

void CheckThroughCmd(const std::wstring &line, const List &list, QuoteForm form) {
  // The arguments line goes after the program, quoted, as the help asks.
  const std::wstring whole = form == QuoteForm::kArguments ? L"\"" + list[0] + L"\" " + line : line;
  const std::optional<std::wstring> rest = fuzz::BatchRest(whole, list[0]);
  Check(rest.has_value(), "a line on which cmd acts on its way to a batch file");
  const List arguments(list.begin() + 1, list.end());
  for (const SplitRules rules : kRules)
    Check(text::SplitArguments(*rest, rules) == arguments, "a batch file forwards another list");
}

void CheckDelivers(const std::wstring &line, const List &list, QuoteForm form) {
  Check(text::LineDelivers(line, list, form), "a line that does not deliver its list");
  if (form == QuoteForm::kCmd) {
    const std::optional<std::wstring> passed = CmdPasses(line);
    Check(passed.has_value(), "a cmd line on which something acts");
    for (const SplitRules rules : kRules)
      Check(text::SplitCommandLine(*passed, rules) == list, "cmd passes a line of another list");
  } else if (form == QuoteForm::kSh) {
    Check(ShWords(line) == list, "a shell reads another list");
    Check(text::EncodeUnits(line).has_value(), "a shell line that is not bytes");
  }
}

void FuzzList(const List &list) {
  for (const QuoteForm form : kForms) {
    const text::QuotedLine quoted = text::QuoteCommandLine(list, form);
    if (quoted.refusal == Refusal::kNone) {
      Check(!Refusable(list, form), "a list accepted that the form cannot carry");
      Check(form == QuoteForm::kSh || quoted.line.size() <= Longest(form, ThroughCmd(list, form)),
            "a line too long");
      CheckDelivers(quoted.line, list, form);
      if (ThroughCmd(list, form))
        CheckThroughCmd(quoted.line, list, form);
    } else {
      Check(quoted.line.empty(), "a refusal with a line");
      Check(Justified(quoted, list, form), "a refusal the list does not call for");
      Check(!text::RefusalReason(quoted, form).empty(), "a refusal without a reason");
    }
  }
}

void FuzzLine(const wchar_t *units, std::size_t size) {
  const std::wstring_view line(units, size);
  for (const SplitRules rules : kRules) {
    const List list = text::SplitCommandLine(line, rules);
    text::SplitArguments(line, rules);
    for (const QuoteForm form : kForms)
      text::ReadQuotedLine(line, form, rules);
    if (!list.empty())
      FuzzList(list);
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::size_t count = size / 2;
  const std::unique_ptr<wchar_t[]> units = fuzz::UnitsOf(data, count);
  FuzzLine(units.get(), count);
  List list = fuzz::ListOf({units.get(), count});
  FuzzList(list);
  if (!text::IsBatchFile(list[0])) {
    list[0] = kBatchNames[count % std::size(kBatchNames)];
    FuzzList(list);
  }
  return 0;
}

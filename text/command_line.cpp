// Splitting Windows command lines and quoting argument lists.
//
// The argument rules both Windows splitters share: blanks (space, tab) outside a quoted part end an
// argument; 2n backslashes before a quote give n backslashes and the quote opens or closes a quoted
// part; 2n+1 give n backslashes and a literal quote; other backslashes are plain. They differ only
// in a quote met inside a quoted part with another right after it: the recorder's splitter takes
// the pair as a literal quote and leaves the quoted part, the C runtime takes it as a literal quote
// and stays inside. Element 0 has a rule of its own in each (see the header).
//
// cmd reads a batch line in two passes that matter here: first %% becomes % (a lone % starts an
// expansion), then outside quotes ^ makes the next character plain and & | < > ( ) act; every
// quote toggles cmd's quoting, whatever backslashes stand before it, and inside quotes nothing but
// a quote acts.
#include "text/command_line.h"

#include "text/codec.h"

#include <algorithm>

namespace text {

namespace {

bool IsBlank(wchar_t unit) { return unit == L' ' || unit == L'\t'; }

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

// Quoting.

bool IsControlOrBlank(wchar_t unit) { return unit <= L' '; }

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
  const bool quoted = NeedsQuotes(argument);
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

std::wstring WindowsLine(const std::vector<std::wstring> &list, bool withProgram,
                         bool programAlwaysQuoted) {
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

bool ActsForCmd(wchar_t unit) {
  return unit == L'&' || unit == L'|' || unit == L'<' || unit == L'>' || unit == L'^' ||
         unit == L'(' || unit == L')';
}

bool EndsCmdLine(wchar_t unit) { return unit == L'\r' || unit == L'\n' || unit == L'\x1A'; }

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

// What cmd acts on when it reads the line that starts a batch file, or the one that forwards its
// arguments: operators, escapes, expansions, quotes and line ends.
constexpr std::wstring_view kCmdActsOn = L"&|<>^()%!\"\r\n";

// The first element, with its index, that the form cannot write; kNone when there is none.
QuotedLine RefusalFor(const std::vector<std::wstring> &list, QuoteForm form) {
  if (list.empty())
    return {{}, Refusal::kEmptyProgram, 0, 0};
  const bool batch = form != QuoteForm::kSh && IsBatchFile(list[0]);
  for (std::size_t k = 0; k < list.size(); ++k) {
    const std::wstring &element = list[k];
    if (element.find(L'\0') != std::wstring::npos)
      return {{}, Refusal::kNul, k, 0};
    if (k == 0 && form != QuoteForm::kSh && element.find(L'"') != std::wstring::npos)
      return {{}, Refusal::kQuoteInProgram, k, 0};
    if (k == 0 && form == QuoteForm::kSh && element.empty())
      return {{}, Refusal::kEmptyProgram, k, 0};
    if (batch && element.find_first_of(kCmdActsOn) != std::wstring::npos)
      return {{}, Refusal::kBatchTarget, k, 0};
    if (form == QuoteForm::kCmd) {
      for (const wchar_t unit : element)
        if (EndsCmdLine(unit))
          return {{}, Refusal::kLineBreak, k, 0};
      // Escaped bytes too: a batch file holds text, and they stand for no character.
      for (std::size_t i = 0, length = 0; i < element.size(); i += length)
        if (IsSurrogate(CodePointAt(element, i, &length)))
          return {{}, Refusal::kUnencodable, k, 0};
    }
    if (form == QuoteForm::kSh)
      for (std::size_t i = 0, length = 0; i < element.size(); i += length) {
        const std::uint32_t point = CodePointAt(element, i, &length);
        if (IsSurrogate(point) && !IsEscapedByte(point))
          return {{}, Refusal::kUnencodable, k, 0};
      }
  }
  return {};
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

bool IsBatchFile(std::wstring_view program) {
  const std::size_t last = program.find_last_not_of(L". ");
  if (last == std::wstring_view::npos || last < 3)
    return false;
  std::wstring extension(program.substr(last - 3, 4));
  for (wchar_t &unit : extension)
    if (unit >= L'A' && unit <= L'Z')
      unit = static_cast<wchar_t>(unit - L'A' + L'a');
  return extension == L".bat" || extension == L".cmd";
}

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

QuotedLine QuoteCommandLine(const std::vector<std::wstring> &list, QuoteForm form) {
  QuotedLine quoted = RefusalFor(list, form);
  if (quoted.refusal != Refusal::kNone)
    return quoted;
  std::size_t longest = kLongestCreateProcessLine, before = 0;
  switch (form) {
  case QuoteForm::kCreateProcess:
    quoted.line = WindowsLine(list, true, false);
    break;
  case QuoteForm::kArguments:
    // The arguments must leave room for the program the caller puts before them.
    quoted.line = WindowsLine(list, false, false);
    before = list[0].size() + (NeedsQuotes(list[0]) ? 2 : 0) + 1;
    break;
  case QuoteForm::kCmd:
    quoted.line = CmdLine(WindowsLine(list, true, true));
    longest = kLongestCmdLine;
    break;
  case QuoteForm::kSh:
    quoted.line = ShLine(list);
    longest = std::wstring::npos;
    break;
  }
  // The length is of the whole command line, the program the arguments form leaves out included.
  if (before + quoted.line.size() > longest) {
    quoted.length = before + quoted.line.size();
    quoted.line.clear();
    quoted.refusal = Refusal::kTooLong;
  }
  return quoted;
}

std::string RefusalReason(const QuotedLine &quoted, QuoteForm form) {
  const std::string element =
      quoted.element == 0 ? "the program" : "ARG[" + std::to_string(quoted.element) + "]";
  switch (quoted.refusal) {
  case Refusal::kNone:
    return {};
  case Refusal::kNul:
    return element + " holds U+0000, which ends a command line";
  case Refusal::kQuoteInProgram:
    return "the program holds a quote, which no Windows command line can pass in element 0";
  case Refusal::kEmptyProgram:
    return "there is no program: element 0 is missing, or empty where a shell must name it";
  case Refusal::kLineBreak:
    return element + " holds a CR, LF or Ctrl-Z, which cannot pass through a batch file line";
  case Refusal::kUnencodable:
    return element + (form == QuoteForm::kSh
                          ? " holds a lone surrogate, which is no byte a program can receive"
                          : " holds a lone surrogate or a byte that is not UTF-8, which a UTF-8 "
                            "batch file cannot hold");
  case Refusal::kBatchTarget:
    return element + " holds one of & | < > ^ ( ) % ! \" CR LF, which cmd acts on when it runs " +
           "the batch file the program names; such a list is refused for now";
  case Refusal::kTooLong:
    return "the line would be " + std::to_string(quoted.length) + " units long, past the " +
           (form == QuoteForm::kCmd ? "8,191 cmd reads in a line"
                                    : "32,767 CreateProcess takes with its NUL");
  }
  return {};
}

std::optional<std::vector<std::wstring>> ReadQuotedLine(std::wstring_view line, QuoteForm form,
                                                        SplitRules rules) {
  switch (form) {
  case QuoteForm::kCreateProcess:
    return SplitCommandLine(line, rules);
  case QuoteForm::kArguments:
    return SplitArguments(line, rules);
  case QuoteForm::kCmd: {
    const std::optional<std::wstring> passed = CmdReading(line);
    if (!passed)
      return std::nullopt;
    return SplitCommandLine(*passed, rules);
  }
  case QuoteForm::kSh:
    return ShReading(line);
  }
  return std::nullopt;
}

bool LineDelivers(std::wstring_view line, const std::vector<std::wstring> &list, QuoteForm form) {
  if (list.empty())
    return false;
  if (form == QuoteForm::kSh)
    return ShReading(line) == list;
  std::optional<std::wstring> passed;
  if (form == QuoteForm::kCmd && !(passed = CmdReading(line)))
    return false;
  const std::wstring_view windowsLine = passed ? std::wstring_view(*passed) : line;
  for (const SplitRules rules : {SplitRules::kRecorder, SplitRules::kRuntime}) {
    if (form != QuoteForm::kArguments) {
      if (SplitCommandLine(windowsLine, rules) != list)
        return false;
      continue;
    }
    const std::vector<std::wstring> arguments = SplitArguments(windowsLine, rules);
    if (!std::equal(list.begin() + 1, list.end(), arguments.begin(), arguments.end()))
      return false;
  }
  return true;
}

} // namespace text

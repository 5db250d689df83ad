// cmd's reading of a line, in the three places a batch file's list passes through it.
//
// Percent signs first. In a batch file's line %% gives % and any other % starts an expansion. On
// the line of cmd /c, %NAME% expands when NAME is set (Windows, observed) and Wine's cmd reads it
// as a batch line; where a batch file pastes %* or %1 into a line of its own, Windows reads the
// pasted text as it stands and Wine expands it again, so that a lone % is dropped. Nothing is
// expanded here: every % that could take part is reported, and so is every !NAME! pair, which
// expands when delayed expansion is on.
//
// Then, left to right: every " toggles cmd's quoting, whatever backslashes stand before it, and
// inside quotes nothing else acts. Outside them ^ makes the next character plain and goes (at the
// end it joins the next line); & && || | end the command and start another; < > >> redirect, with
// a handle digit before them when it follows a blank, and a handle (&1) or a file after them; in
// a batch file's line ( and ) open and close blocks, where after a command's name on the line of
// cmd /c they are plain. CR, LF and Ctrl-Z end or change a line wherever they stand.
//
// A batch file's parameters are split at spaces, tabs, commas, semicolons and equals signs outside
// quotes, the quotes kept; %* is all after %0 and the blanks after it, as Wine gives it (Windows
// too, for a line whose arguments start with none of , ; =).
#include "text/cmd_reading.h"

namespace text {

namespace {

// How each kind of line reads, in the order of CmdLineKind.
struct KindRules {
  bool doubledPercent; // %% gives %, and every other % starts an expansion
  bool blocks;         // parentheses open and close blocks
};
constexpr KindRules kKinds[] = {
    {.doubledPercent = true, .blocks = true},   // kBatchLine
    {.doubledPercent = false, .blocks = false}, // kCommandLine
    {.doubledPercent = false, .blocks = true},  // kForwarded
};

bool IsDigit(wchar_t unit) { return unit >= L'0' && unit <= L'9'; }

std::vector<std::size_t> PositionsOf(std::wstring_view text, wchar_t mark) {
  std::vector<std::size_t> positions;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (text[i] == mark)
      positions.push_back(i);
  return positions;
}

// Reports the expansions the percent signs at these positions could make.
void ReportPercents(std::wstring_view text, const std::vector<std::size_t> &live,
                    std::vector<CmdAct> &acts) {
  if (live.size() == 1)
    acts.push_back({CmdActKind::kPercent, L"%"});
  for (std::size_t k = 0; k + 1 < live.size(); ++k) {
    const std::size_t start = live[k], end = live[k + 1];
    if (end == start + 1)
      acts.push_back({CmdActKind::kPercent, L"%%"});
    else
      acts.push_back({CmdActKind::kVariable, std::wstring(text.substr(start, end - start + 1))});
  }
}

// The line with %% read as % where the kind does so, reporting every other %.
std::wstring ReadPercents(std::wstring_view line, bool doubledPercent, std::vector<CmdAct> &acts) {
  if (!doubledPercent) {
    ReportPercents(line, PositionsOf(line, L'%'), acts);
    return std::wstring(line);
  }
  std::wstring text;
  text.reserve(line.size());
  std::vector<std::size_t> live; // in the line, to report what was written
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == L'%' && i + 1 < line.size() && line[i + 1] == L'%')
      ++i;
    else if (line[i] == L'%')
      live.push_back(i);
    text.push_back(line[i]);
  }
  ReportPercents(line, live, acts);
  return text;
}

void ReportDelayed(std::wstring_view text, std::vector<CmdAct> &acts) {
  for (const auto &[start, end] : NamedPairsOf(text, L'!'))
    acts.push_back(
        {CmdActKind::kDelayedVariable, std::wstring(text.substr(start, end - start + 1))});
}

// The left-to-right reading of a line whose percent signs have been read.
struct Scan {
  std::wstring_view text;
  bool blocks;
  std::size_t i = 0;
  bool quoted = false;
  std::wstring current = {}; // the command being read, as cmd passes it on
  std::wstring op = {};      // the operator before it; empty for the first command
  bool first = true;
  CmdReading reading = {};
};

std::wstring_view Trimmed(std::wstring_view text) {
  while (!text.empty() && IsBlank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back()))
    text.remove_suffix(1);
  return text;
}

void EndCommand(Scan &s) {
  if (s.first) {
    s.reading.command = std::move(s.current);
    s.first = false;
  } else {
    const std::wstring_view command = Trimmed(s.current);
    s.reading.acts.push_back(
        {CmdActKind::kCommand, command.empty() ? s.op : s.op + L" " + std::wstring(command)});
  }
  s.current.clear();
}

void ReadOperator(Scan &s) {
  EndCommand(s);
  const bool doubled = s.i + 1 < s.text.size() && s.text[s.i + 1] == s.text[s.i];
  s.op = s.text.substr(s.i, doubled ? 2 : 1);
  s.i += doubled ? 2 : 1;
}

void ReadCaret(Scan &s) {
  if (s.i + 1 < s.text.size() && !EndsCmdLine(s.text[s.i + 1])) {
    s.reading.acts.push_back({CmdActKind::kCaret, std::wstring(s.text.substr(s.i, 2))});
    s.current.push_back(s.text[s.i + 1]);
    s.i += 2;
  } else {
    s.reading.acts.push_back({CmdActKind::kLineEnd, L"^"});
    ++s.i;
  }
}

// The file a redirection names, appended to what is written of it: up to a delimiter or an
// operator outside quotes (parentheses are plain where they open no block, as Wine shows).
void ReadRedirectedFile(Scan &s, std::wstring &written) {
  while (s.i < s.text.size() && IsBlank(s.text[s.i]))
    written.push_back(s.text[s.i++]);
  bool quoted = false;
  for (; s.i < s.text.size() && !EndsCmdLine(s.text[s.i]); ++s.i) {
    const wchar_t unit = s.text[s.i];
    const bool block = unit == L'(' || unit == L')';
    if (!quoted && (IsParameterDelimiter(unit) ||
                    (unit != L'^' && ActsOutsideQuotes(unit) && (s.blocks || !block))))
      break;
    if (unit == L'"')
      quoted = !quoted;
    written.push_back(unit);
  }
}

void ReadRedirection(Scan &s) {
  std::wstring written;
  // A handle digit right before, itself at the command's start or after a blank, belongs to it.
  const std::size_t size = s.current.size();
  if (size > 0 && IsDigit(s.current.back()) && (size == 1 || IsBlank(s.current[size - 2]))) {
    written.push_back(s.current.back());
    s.current.pop_back();
  }
  written.push_back(s.text[s.i++]);
  if (written.back() == L'>' && s.i < s.text.size() && s.text[s.i] == L'>')
    written.push_back(s.text[s.i++]);
  if (s.i < s.text.size() && s.text[s.i] == L'&') {
    written.push_back(s.text[s.i++]);
    while (s.i < s.text.size() && IsDigit(s.text[s.i]))
      written.push_back(s.text[s.i++]);
  } else {
    ReadRedirectedFile(s, written);
  }
  s.reading.acts.push_back({CmdActKind::kRedirection, std::move(written)});
}

// One unit outside quotes.
void ReadUnquoted(Scan &s) {
  const wchar_t unit = s.text[s.i];
  if (unit == L'^') {
    ReadCaret(s);
  } else if (unit == L'&' || unit == L'|') {
    ReadOperator(s);
  } else if (unit == L'<' || unit == L'>') {
    ReadRedirection(s);
  } else {
    if (s.blocks && (unit == L'(' || unit == L')'))
      s.reading.acts.push_back({CmdActKind::kBlock, std::wstring(1, unit)});
    s.current.push_back(unit);
    ++s.i;
  }
}

} // namespace

bool IsParameterDelimiter(wchar_t unit) {
  return IsBlank(unit) || unit == L',' || unit == L';' || unit == L'=';
}

bool EndsCmdLine(wchar_t unit) { return unit == L'\r' || unit == L'\n' || unit == L'\x1A'; }

bool ActsOutsideQuotes(wchar_t unit) {
  return unit == L'&' || unit == L'|' || unit == L'<' || unit == L'>' || unit == L'^' ||
         unit == L'(' || unit == L')';
}

std::vector<std::pair<std::size_t, std::size_t>> NamedPairsOf(std::wstring_view text,
                                                              wchar_t mark) {
  const std::vector<std::size_t> positions = PositionsOf(text, mark);
  std::vector<std::pair<std::size_t, std::size_t>> pairs;
  for (std::size_t k = 0; k + 1 < positions.size(); ++k)
    if (positions[k + 1] > positions[k] + 1)
      pairs.emplace_back(positions[k], positions[k + 1]);
  return pairs;
}

CmdReading ReadCmdLine(std::wstring_view line, CmdLineKind kind) {
  const KindRules &rules = kKinds[static_cast<std::size_t>(kind)];
  Scan s = {.text = {}, .blocks = rules.blocks};
  const std::wstring text = ReadPercents(line, rules.doubledPercent, s.reading.acts);
  ReportDelayed(text, s.reading.acts);
  s.text = text;
  s.current.reserve(text.size());
  while (s.i < s.text.size()) {
    const wchar_t unit = s.text[s.i];
    if (EndsCmdLine(unit))
      s.reading.acts.push_back({CmdActKind::kLineEnd, std::wstring(1, unit)});
    if (unit == L'"')
      s.quoted = !s.quoted;
    if (unit == L'"' || s.quoted || EndsCmdLine(unit)) {
      s.current.push_back(unit);
      ++s.i;
    } else {
      ReadUnquoted(s);
    }
  }
  if (s.quoted)
    s.reading.acts.push_back({CmdActKind::kOpenQuote, L"\""});
  EndCommand(s);
  return std::move(s.reading);
}

BatchParameters SplitBatchParameters(std::wstring_view command) {
  BatchParameters split;
  std::size_t i = 0;
  for (;;) {
    while (i < command.size() && IsParameterDelimiter(command[i]))
      ++i;
    if (i == command.size())
      return split;
    const std::size_t start = i;
    bool quoted = false;
    for (; i < command.size() && (quoted || !IsParameterDelimiter(command[i])); ++i)
      if (command[i] == L'"')
        quoted = !quoted;
    split.parameters.emplace_back(command.substr(start, i - start));
    if (split.parameters.size() == 1) {
      std::size_t rest = i;
      while (rest < command.size() && IsBlank(command[rest]))
        ++rest;
      split.rest = command.substr(rest);
    }
  }
}

std::vector<std::wstring> OuterQuoteReadings(std::wstring_view line) {
  std::vector<std::wstring> readings = {std::wstring(line)};
  constexpr std::wstring_view kSpecial = L"&<>()@^|";
  if (line.find(L'"') == std::wstring_view::npos &&
      line.find_first_of(L" \t") != std::wstring_view::npos &&
      line.find_first_of(kSpecial) == std::wstring_view::npos)
    readings.push_back(L"\"" + std::wstring(line) + L"\"");
  return readings;
}

namespace {

// Whether cmd acts on nothing but what the assumptions rule out (delayed expansion is off).
bool OnlyAssumed(const std::vector<CmdAct> &acts) {
  for (const CmdAct &act : acts)
    if (act.kind != CmdActKind::kDelayedVariable)
      return false;
  return true;
}

std::optional<std::vector<std::wstring>> ForwardedBy(std::wstring_view reading, CmdLineKind kind,
                                                     SplitRules rules) {
  const CmdReading read = ReadCmdLine(reading, kind);
  if (!OnlyAssumed(read.acts))
    return std::nullopt;
  const BatchParameters split = SplitBatchParameters(read.command);
  if (split.parameters.empty())
    return std::nullopt;
  // The batch file's line holds an even number of quotes before %*, so cmd starts it unquoted.
  const CmdReading pasted = ReadCmdLine(split.rest, CmdLineKind::kForwarded);
  if (!OnlyAssumed(pasted.acts))
    return std::nullopt;
  std::vector<std::wstring> list = {Unquoted(split.parameters.front())};
  std::vector<std::wstring> arguments = SplitArguments(pasted.command, rules);
  list.insert(list.end(), std::make_move_iterator(arguments.begin()),
              std::make_move_iterator(arguments.end()));
  return list;
}

} // namespace

std::wstring Unquoted(std::wstring_view parameter) {
  std::wstring unquoted;
  for (const wchar_t unit : parameter)
    if (unit != L'"')
      unquoted.push_back(unit);
  return unquoted;
}

std::optional<std::vector<std::wstring>> ForwardedList(std::wstring_view line, CmdLineKind kind,
                                                       SplitRules rules) {
  const std::vector<std::wstring> readings = kind == CmdLineKind::kCommandLine
                                                 ? OuterQuoteReadings(line)
                                                 : std::vector<std::wstring>{std::wstring(line)};
  std::optional<std::vector<std::wstring>> forwarded;
  for (const std::wstring &reading : readings) {
    std::optional<std::vector<std::wstring>> list = ForwardedBy(reading, kind, rules);
    if (!list || (forwarded && *forwarded != *list))
      return std::nullopt;
    forwarded = std::move(list);
  }
  return forwarded;
}

} // namespace text

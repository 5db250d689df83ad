// The powershell form: a line that starts the program as an application, with Legacy argument
// passing pinned in a scope of its own and each argument a literal string, or an array of them,
// that every version's Legacy builder passes on as a createprocess token; and models of what each
// version builds.
//
// The line, as this file writes and reads it:
//   & { $PSNativeCommandArgumentPassing = 'Legacy'; if ('Legacy' -eq
//   $PSNativeCommandArgumentPassing) { & (Microsoft.PowerShell.Core\Get-Command -CommandType
//   Application -Name 'PROGRAM' | Microsoft.PowerShell.Core\Where-Object Extension -NotIn '.bat',
//   '.cmd', '.vbs', '.vbe', '.js', '.jse', '.wsf', '.wsh' |
//   Microsoft.PowerShell.Utility\Select-Object -First 1) 'ARG' @('PIECE', 'PIECE')... } else {
//   throw '...' } }
// - Get-Command -CommandType Application finds a program only, never an alias, function or cmdlet
//   (documented); module-qualified, the cmdlets cannot be aliases or functions, unless a profile
//   defines functions under those very names, which no line can defend against. For a name
//   without an extension it also finds the files PATHEXT lists (PowerShell-Docs issue #11528):
//   batch files, which cmd would then read, and Windows Script Host scripts, which read their
//   command line by rules of their own. The line passes over both unless the program names a
//   batch file, and then ends the lookup with -TotalCount 1 instead; a program that names a
//   script is refused. -Name reads [ ] * ? ` as a pattern ('d[1]' was seen to start d1), so a
//   program holding them is refused.
// - A preference variable set in a scope holds there and in its children only (documented in
//   about_Preference_Variables); 5.1 and 7.0 to 7.2 do not read it and know only Legacy. A
//   profile can make the variable AllScope, and then ReadOnly, Constant or validated: the
//   assignment fails without ending the line (observed in 7.6), and the program is started only
//   where the variable then reads Legacy. The literal stands on the left, so that an array value
//   is compared as a string instead of filtered; throw alone is not enough, since
//   $ErrorActionPreference = 'SilentlyContinue' lets the line go on past it (observed in 7.6).
//   In 5.1 the variable is an ordinary one, which reads Legacy once assigned (its hostile
//   profiles are left to the hosted Windows job). An AllScope variable keeps Legacy after the
//   line.
// - In '...' nothing expands; each of U+0027 U+2018 U+2019 U+201A U+201B ends it, and two of them
//   give the second (about_Quoting_Rules names the quotes; the pair was observed). A string
//   holding a control is written "..." instead, with `r `n `t and $([char]0xXXXX) for controls and
//   a backtick before ` $ " U+201C U+201D U+201E (about_Special_Characters), so that the line
//   stays one line that a prompt takes as typed.
// - A string argument equal to --% is taken for the stop-parsing token however it is quoted
//   (observed in 7.6, as issue threads report); @('--%') is an array, whose element is passed.
//
// What a Legacy builder writes for each argument string, a blank between them (issue threads:
// PowerShell #1995, #4358 and #26432; 7.x's string matches what Trace-Command shows here):
// - an empty string: nothing;
// - a string with white space (char.IsWhiteSpace) where the count of quotes before it is even:
//   the string in quotes; 7.x does not count a quote right after a backslash and doubles the
//   backslashes before the quote it adds; 5.1 counts every quote and doubles nothing (threads
//   only: Microsoft documents neither);
// - anything else as it stands;
// - an array @(...): each element by these rules, joined by one blank (7.6 observed, and its
//   source: the joining by the source text's commas is for a bare a,b list only; what 5.1 does
//   is left to the hosted Windows job's round trips). An empty element gives nothing and may
//   leave a second blank, and 5.1 was not seen with an element --%: the form reads no array
//   holding either, but @('--%') alone.
// Standard hands the strings, each array element its own, to .NET's ArgumentList, which quotes one
// that is empty or holds white space or a quote, writes a quote \", and doubles the backslashes
// before a quote or the closing one (the .NET documentation of ArgumentList). Windows mode is
// Legacy for a .bat, .cmd, .js, .vbs or .wsf file and for cmd, cscript, wscript, find and sqlcmd,
// Standard otherwise (about_Parsing names the files and the first four programs; sqlcmd joined in
// 7.3.x by issue #18554). The command line is then the program's path in quotes and, where the
// arguments give any text, a blank and that text (.NET's Process, observed).
//
// Each argument's string is its createprocess token, which every Legacy builder leaves as it
// stands when its white space stands inside its quotes; where a builder would change it, the
// token quoted whole, or its text without the outer quotes for the builders to quote; and where
// none of these passes (5.1 counting an escaped quote), the array of the token's pieces between
// its blanks, which every builder joins back into the token as long as no piece is empty, --% or
// quoted by a builder. For a batch file, an element holding anything cmd acts on takes the token
// alone, which every builder must then write as it stands, or that array, so that it keeps what
// the createprocess form guarantees there; quotes added around the rest change nothing cmd reads.
#include "text/forms.h"

#include <algorithm>
#include <string>
#include <vector>

namespace text::forms {

namespace {

constexpr std::wstring_view kPin = L"& { $PSNativeCommandArgumentPassing = ";
constexpr std::wstring_view kCheck = L"if (";
constexpr std::wstring_view kChecked = L" -eq $PSNativeCommandArgumentPassing) { ";
constexpr std::wstring_view kOtherwise =
    L" } else { throw '$PSNativeCommandArgumentPassing could not be set to Legacy: the program "
    L"was not started' } }";
constexpr std::wstring_view kLookUp =
    L"& (Microsoft.PowerShell.Core\\Get-Command -CommandType Application -Name ";
constexpr std::wstring_view kFirst = L" -TotalCount 1)";
constexpr std::wstring_view kStopParsing = L"--%";
constexpr std::wstring_view kPattern = L"[]*?`";
constexpr std::wstring_view kHexDigits = L"0123456789ABCDEF";

// The extensions of the scripts Windows Script Host runs, which PATHEXT lists by default.
constexpr std::wstring_view kScriptHostExtensions[] = {L".vbs", L".vbe", L".js",
                                                       L".jse", L".wsf", L".wsh"};

constexpr std::string_view kWindowsPowerShell = "Windows PowerShell 5.1";
constexpr std::string_view kFeature72 =
    "PowerShell 7.2 with its experimental feature PSNativeCommandArgumentPassing";
constexpr std::string_view kPowerShell73 = "PowerShell 7.3 and later";

constexpr PowerShellModel kModels[] = {
    {kWindowsPowerShell, true, false, false, ArgumentPassing::kLegacy},
    {"PowerShell 7.0 to 7.2", false, true, false, ArgumentPassing::kLegacy},
    {kFeature72, false, true, true, ArgumentPassing::kLegacy},
    {kFeature72, false, true, true, ArgumentPassing::kStandard},
    {kPowerShell73, false, true, true, ArgumentPassing::kLegacy},
    {kPowerShell73, false, true, true, ArgumentPassing::kStandard},
    {kPowerShell73, false, true, true, ArgumentPassing::kWindows},
};

// What a Legacy builder may do wrong, for refusals: the flag of the model that says so, and the
// value it then has.
struct Flaw {
  bool PowerShellModel::*flag;
  bool faulty;
  std::string_view text;
};
constexpr Flaw kFlaws[] = {
    {&PowerShellModel::countsEscapedQuotes, true,
     "it counts every quote, escaped or not, when it decides which white space needs quotes"},
    {&PowerShellModel::doublesTrailingBackslashes, false,
     "it does not double the backslashes before a quote it adds"},
};

struct PassingName {
  std::wstring_view name;
  ArgumentPassing passing;
};
constexpr PassingName kPassingNames[] = {{L"legacy", ArgumentPassing::kLegacy},
                                         {L"standard", ArgumentPassing::kStandard},
                                         {L"windows", ArgumentPassing::kWindows}};

// Windows mode's exceptions, which get Legacy: by extension, and by program name.
constexpr std::wstring_view kLegacyExtensions[] = {L".bat", L".cmd", L".js", L".vbs", L".wsf"};
constexpr std::wstring_view kLegacyPrograms[] = {L"cmd", L"cscript", L"wscript", L"find",
                                                 L"sqlcmd"};

// The backtick escapes whose meaning every version shares, in "..." (`e and `u are 6.0 and later).
struct Escape {
  wchar_t letter, unit;
};
constexpr Escape kEscapes[] = {{L'a', 0x07}, {L'b', 0x08}, {L'f', 0x0C}, {L'n', 0x0A},
                               {L'r', 0x0D}, {L't', 0x09}, {L'v', 0x0B}};

bool IsSingleQuote(wchar_t unit) { return unit == L'\'' || (unit >= 0x2018 && unit <= 0x201B); }

bool IsDoubleQuote(wchar_t unit) { return unit == L'"' || (unit >= 0x201C && unit <= 0x201E); }

// Characters that would not stay as typed in a line at a prompt: controls and line separators.
bool IsPromptControl(wchar_t unit) {
  return unit < 0x20 || (unit >= 0x7F && unit <= 0x9F) || unit == 0x2028 || unit == 0x2029;
}

// .NET's char.IsWhiteSpace.
bool IsDotNetWhiteSpace(wchar_t unit) {
  return (unit >= 0x09 && unit <= 0x0D) || unit == 0x20 || unit == 0x85 || unit == 0xA0 ||
         unit == 0x1680 || (unit >= 0x2000 && unit <= 0x200A) || unit == 0x2028 || unit == 0x2029 ||
         unit == 0x202F || unit == 0x205F || unit == 0x3000;
}

std::size_t TrailingBackslashes(std::wstring_view text) {
  const std::size_t last = text.find_last_not_of(L'\\');
  return last == std::wstring_view::npos ? text.size() : text.size() - last - 1;
}

std::wstring Lowered(std::wstring_view text) {
  std::wstring lower(text);
  for (wchar_t &unit : lower)
    if (unit >= L'A' && unit <= L'Z')
      unit = static_cast<wchar_t>(unit - L'A' + L'a');
  return lower;
}

// Whether Windows Script Host runs the program.
bool IsScriptHostFile(std::wstring_view program) {
  return HasExtension(program, kScriptHostExtensions);
}

// The end of a lookup that passes over batch files and scripts, which PATHEXT finds for a name
// without an extension.
std::wstring ProgramsOnly() {
  std::wstring text = L" | Microsoft.PowerShell.Core\\Where-Object Extension -NotIn";
  using Extensions = std::span<const std::wstring_view>;
  for (const Extensions extensions :
       {Extensions(kBatchExtensions), Extensions(kScriptHostExtensions)})
    for (const std::wstring_view extension : extensions)
      text.append(text.ends_with(L"'") ? L", '" : L" '").append(extension).append(L"'");
  return text.append(L" | Microsoft.PowerShell.Utility\\Select-Object -First 1)");
}

// --- Writing PowerShell strings.

void AppendSingleQuoted(std::wstring &line, std::wstring_view text) {
  line.push_back(L'\'');
  for (const wchar_t unit : text) {
    line.push_back(unit);
    if (IsSingleQuote(unit))
      line.push_back(unit);
  }
  line.push_back(L'\'');
}

void AppendDoubleQuoted(std::wstring &line, std::wstring_view text) {
  line.push_back(L'"');
  for (const wchar_t unit : text) {
    if (unit == L'\t' || unit == L'\n' || unit == L'\r') {
      const Escape *escape = std::find_if(std::begin(kEscapes), std::end(kEscapes),
                                          [&](const Escape &e) { return e.unit == unit; });
      line.push_back(L'`');
      line.push_back(escape->letter);
    } else if (IsPromptControl(unit)) {
      line.append(L"$([char]0x");
      for (int shift = 12; shift >= 0; shift -= 4)
        line.push_back(kHexDigits[(unit >> shift) & 0xF]);
      line.push_back(L')');
    } else {
      if (unit == L'`' || unit == L'$' || IsDoubleQuote(unit))
        line.push_back(L'`');
      line.push_back(unit);
    }
  }
  line.push_back(L'"');
}

void AppendString(std::wstring &line, std::wstring_view text) {
  if (std::any_of(text.begin(), text.end(), IsPromptControl))
    AppendDoubleQuoted(line, text);
  else
    AppendSingleQuoted(line, text);
}

// --- Reading the line back.

struct Cursor {
  std::wstring_view text;
  std::size_t at = 0;

  bool Take(std::wstring_view expected) {
    if (text.substr(at, expected.size()) != expected)
      return false;
    at += expected.size();
    return true;
  }
  bool AtEnd() const { return at == text.size(); }
  std::wstring_view Rest() const { return text.substr(at); }
};

std::optional<std::wstring> ReadSingleQuoted(Cursor &cursor) {
  std::wstring value;
  while (!cursor.AtEnd()) {
    const wchar_t unit = cursor.text[cursor.at++];
    if (!IsSingleQuote(unit)) {
      value.push_back(unit);
    } else if (cursor.AtEnd() || !IsSingleQuote(cursor.text[cursor.at])) {
      return value;
    } else {
      value.push_back(cursor.text[cursor.at++]);
    }
  }
  return std::nullopt;
}

// $([char]0xXXXX), after its $; nothing for any other expansion.
std::optional<wchar_t> ReadCharExpression(Cursor &cursor) {
  if (!cursor.Take(L"([char]0x"))
    return std::nullopt;
  unsigned value = 0;
  std::size_t digits = 0;
  for (; digits < 4 && !cursor.AtEnd(); ++digits, ++cursor.at) {
    const wchar_t unit = cursor.text[cursor.at];
    const std::size_t digit = kHexDigits.find(unit);
    if (digit == std::wstring_view::npos)
      break;
    value = value * 16 + static_cast<unsigned>(digit);
  }
  if (digits == 0 || value == 0 || !cursor.Take(L")"))
    return std::nullopt;
  return static_cast<wchar_t>(value);
}

// The unit a backtick makes of the one after it, in "...": nothing where versions differ.
std::optional<wchar_t> Escaped(wchar_t letter) {
  for (const Escape &escape : kEscapes)
    if (escape.letter == letter)
      return escape.unit;
  if (letter == L'0' || letter == L'e' || letter == L'u')
    return std::nullopt;
  return letter;
}

std::optional<std::wstring> ReadDoubleQuoted(Cursor &cursor) {
  std::wstring value;
  while (!cursor.AtEnd()) {
    const wchar_t unit = cursor.text[cursor.at++];
    std::optional<wchar_t> read = unit;
    if (IsDoubleQuote(unit)) // a second quote right after would give a quote: not written here
      return cursor.AtEnd() || !IsDoubleQuote(cursor.text[cursor.at]) ? std::optional(value)
                                                                      : std::nullopt;
    if (unit == L'`')
      read = cursor.AtEnd() ? std::nullopt : Escaped(cursor.text[cursor.at++]);
    else if (unit == L'$')
      read = ReadCharExpression(cursor);
    if (!read)
      return std::nullopt;
    value.push_back(*read);
  }
  return std::nullopt;
}

std::optional<std::wstring> ReadString(Cursor &cursor) {
  if (cursor.Take(L"'"))
    return ReadSingleQuoted(cursor);
  if (cursor.Take(L"\""))
    return ReadDoubleQuoted(cursor);
  return std::nullopt;
}

// One argument: a string, or an array written @('...', '...'), which the builder enumerates.
struct Argument {
  std::vector<std::wstring> strings;
  bool array = false;
};

struct ParsedLine {
  std::optional<ArgumentPassing> pinned;
  std::wstring program;
  bool passesOver = false; // the lookup passes over batch files and scripts
  std::vector<Argument> arguments;
};

std::optional<ArgumentPassing> PassingNamed(std::wstring_view name) {
  const std::wstring lower = Lowered(name);
  for (const PassingName &entry : kPassingNames)
    if (entry.name == lower)
      return entry.passing;
  return std::nullopt;
}

// An array holds no empty element, and --% only alone, where every builder is known to pass it.
std::optional<Argument> ReadArray(Cursor &cursor) {
  Argument array{{}, true};
  do {
    std::optional<std::wstring> value = ReadString(cursor);
    if (!value || value->empty())
      return std::nullopt;
    array.strings.push_back(std::move(*value));
  } while (cursor.Take(L", "));
  const bool stopParsing =
      std::find(array.strings.begin(), array.strings.end(), kStopParsing) != array.strings.end();
  if (!cursor.Take(L")") || (stopParsing && array.strings.size() > 1))
    return std::nullopt;
  return array;
}

std::optional<Argument> ReadArgument(Cursor &cursor) {
  if (cursor.Take(L"@("))
    return ReadArray(cursor);
  std::optional<std::wstring> value = ReadString(cursor);
  if (!value)
    return std::nullopt;
  return Argument{{std::move(*value)}};
}

// The pin and the check after it, up to the call: the same value in both.
std::optional<ArgumentPassing> ReadPin(Cursor &cursor) {
  const std::optional<std::wstring> value = ReadString(cursor);
  if (!value || !cursor.Take(L"; ") || !cursor.Take(kCheck) || ReadString(cursor) != value ||
      !cursor.Take(kChecked))
    return std::nullopt;
  return PassingNamed(*value);
}

// The line as the form writes it, or the call alone without the pinning block around it.
std::optional<ParsedLine> ParseLine(std::wstring_view line) {
  Cursor cursor{line};
  ParsedLine parsed;
  const bool block = cursor.Take(kPin);
  if (block && !(parsed.pinned = ReadPin(cursor)))
    return std::nullopt;
  std::optional<std::wstring> program;
  if (!cursor.Take(kLookUp) || !(program = ReadString(cursor)))
    return std::nullopt;
  parsed.program = std::move(*program);
  parsed.passesOver = cursor.Take(ProgramsOnly());
  if (!parsed.passesOver && !cursor.Take(kFirst))
    return std::nullopt;
  for (;;) {
    if (block ? cursor.Rest() == kOtherwise : cursor.AtEnd())
      return parsed;
    if (!cursor.Take(L" "))
      return std::nullopt;
    std::optional<Argument> argument = ReadArgument(cursor);
    if (!argument)
      return std::nullopt;
    parsed.arguments.push_back(std::move(*argument));
  }
}

// --- The builders.

bool NeedsLegacyQuotes(const PowerShellModel &model, std::wstring_view text) {
  std::size_t quotes = 0;
  bool afterBackslash = false;
  for (const wchar_t unit : text) {
    if (unit == L'"' && (model.countsEscapedQuotes || !afterBackslash))
      ++quotes;
    else if (IsDotNetWhiteSpace(unit) && quotes % 2 == 0)
      return true;
    afterBackslash = unit == L'\\';
  }
  return false;
}

void AppendLegacy(const PowerShellModel &model, std::wstring &line, std::wstring_view text) {
  if (!NeedsLegacyQuotes(model, text)) {
    line.append(text);
    return;
  }
  line.push_back(L'"');
  line.append(text);
  if (model.doublesTrailingBackslashes)
    line.append(TrailingBackslashes(text), L'\\');
  line.push_back(L'"');
}

// As .NET writes an ArgumentList entry.
void AppendPasted(std::wstring &line, std::wstring_view text) {
  AppendEscaped(line, text, text.empty() || std::any_of(text.begin(), text.end(), [](wchar_t unit) {
                              return unit == L'"' || IsDotNetWhiteSpace(unit);
                            }));
}

bool IsLegacyInWindowsMode(std::wstring_view program) {
  std::wstring name = Lowered(program.substr(program.find_last_of(L"\\/") + 1));
  for (const std::wstring_view extension : kLegacyExtensions)
    if (name.ends_with(extension))
      return true;
  if (name.ends_with(L".exe"))
    name.resize(name.size() - 4);
  return std::find(std::begin(kLegacyPrograms), std::end(kLegacyPrograms), name) !=
         std::end(kLegacyPrograms);
}

// One argument as the model builds it in the mode: each string of an array as one of its own, a
// blank between them.
void AppendBuilt(const PowerShellModel &model, ArgumentPassing passing, std::wstring &text,
                 const Argument &argument) {
  for (std::size_t i = 0; i < argument.strings.size(); ++i) {
    if (i > 0)
      text.push_back(L' ');
    if (passing == ArgumentPassing::kStandard)
      AppendPasted(text, argument.strings[i]);
    else
      AppendLegacy(model, text, argument.strings[i]);
  }
}

// The arguments' part of the command line; nothing where one is taken for the stop-parsing token.
std::optional<std::wstring> ArgumentText(const PowerShellModel &model, ArgumentPassing passing,
                                         const std::vector<Argument> &arguments) {
  std::wstring text;
  for (std::size_t k = 0; k < arguments.size(); ++k) {
    const Argument &argument = arguments[k];
    if (!argument.array && argument.strings[0] == kStopParsing)
      return std::nullopt;
    if (k > 0)
      text.push_back(L' ');
    AppendBuilt(model, passing, text, argument);
  }
  return text;
}

// The list the command line gives: as cmd reads it on its way where the line names a batch file
// and the lookup takes it, else as the splitter reads it. Nothing for a script, which reads its
// command line by rules of its own, nor where the lookup may find one the line does not name, nor
// where it passes over the batch file the line names.
std::optional<List> ListOf(const ParsedLine &parsed, const std::wstring &built, SplitRules rules) {
  const bool batch = IsBatchFile(parsed.program);
  if (IsScriptHostFile(parsed.program) || parsed.passesOver == batch)
    return std::nullopt;
  if (batch)
    return ReadCreateProcess(built, rules);
  return SplitCommandLine(built, rules);
}

std::optional<std::wstring> CommandLine(const PowerShellModel &model, const ParsedLine &parsed) {
  ArgumentPassing passing =
      model.readsPassing ? parsed.pinned.value_or(model.passing) : ArgumentPassing::kLegacy;
  if (passing == ArgumentPassing::kWindows)
    passing = IsLegacyInWindowsMode(parsed.program) ? ArgumentPassing::kLegacy
                                                    : ArgumentPassing::kStandard;
  const std::optional<std::wstring> arguments = ArgumentText(model, passing, parsed.arguments);
  if (!arguments)
    return std::nullopt;
  std::wstring line = L"\"" + parsed.program + L"\"";
  if (!arguments->empty())
    line += L" " + *arguments;
  return line;
}

// --- Choosing each argument's spelling.

// Whether the model's Legacy builder writes the argument so that both splitters read the element,
// and leaves the quoting closed for the next argument; and exactly as asked, where asked.
bool LegacyPasses(const PowerShellModel &model, const Argument &argument,
                  const std::wstring &element, std::wstring_view exactly) {
  std::wstring piece;
  AppendBuilt(model, ArgumentPassing::kLegacy, piece, argument);
  if (!exactly.empty() && piece != exactly)
    return false;
  piece.append(L" x");
  const std::vector<std::wstring> expected = {element, L"x"};
  return std::all_of(std::begin(kBothSplitters), std::end(kBothSplitters),
                     [&](SplitRules rules) { return SplitArguments(piece, rules) == expected; });
}

bool QuotedByABuilder(std::wstring_view piece) {
  return std::any_of(std::begin(kModels), std::end(kModels),
                     [&](const PowerShellModel &model) { return NeedsLegacyQuotes(model, piece); });
}

bool IsEmpty(std::wstring_view piece) { return piece.empty(); }

bool IsStopParsing(std::wstring_view piece) { return piece == kStopParsing; }

// What keeps an array of the token's pieces between its blanks from giving every builder the
// token back, for refusals.
struct Obstacle {
  bool (*blocks)(std::wstring_view piece);
  std::string_view text;
};
constexpr Obstacle kObstacles[] = {
    {&IsEmpty, "two spaces in a row"},
    {&QuotedByABuilder, "white space other than a space"},
    {&IsStopParsing,
     "--% between spaces, which Windows PowerShell 5.1 was not seen to pass in an array"},
};

std::vector<std::wstring> Pieces(std::wstring_view token) {
  std::vector<std::wstring> pieces(1);
  for (const wchar_t unit : token)
    if (unit == L' ')
      pieces.emplace_back();
    else
      pieces.back().push_back(unit);
  return pieces;
}

const Obstacle *ArrayObstacle(const std::vector<std::wstring> &pieces) {
  for (const Obstacle &obstacle : kObstacles)
    if (std::any_of(pieces.begin(), pieces.end(),
                    [&](const std::wstring &piece) { return obstacle.blocks(piece); }))
      return &obstacle;
  return nullptr;
}

// The token; unless the token alone will do, the token quoted whole or its text without the
// outer quotes; and the array of its pieces where that gives every builder the token back.
std::vector<Argument> Candidates(const std::wstring &token, bool tokenOnly) {
  std::vector<Argument> candidates = {{{token}}};
  if (!tokenOnly && !token.empty() && token.front() == L'"') {
    std::wstring inner = token.substr(1, token.size() - 2);
    inner.resize(inner.size() - TrailingBackslashes(inner) / 2);
    candidates.push_back({{std::move(inner)}});
  } else if (!tokenOnly) {
    std::wstring whole = L"\"" + token;
    whole.append(TrailingBackslashes(token), L'\\');
    whole.push_back(L'"');
    candidates.push_back({{std::move(whole)}});
  }
  std::vector<std::wstring> pieces = Pieces(token);
  if (pieces.size() > 1 && !ArrayObstacle(pieces))
    candidates.push_back({std::move(pieces), true});
  return candidates;
}

// What keeps the model's builder from passing the element: each flaw of its own that alone,
// mended, would let a spelling through (all of them where none alone would), and what keeps the
// array of the token's pieces from serving.
std::string WhatBreaks(const PowerShellModel &model, const std::vector<Argument> &candidates,
                       const std::wstring &token, const std::wstring &element,
                       std::wstring_view exactly) {
  std::vector<std::string_view> faulty, named;
  for (const Flaw &flaw : kFlaws) {
    if (model.*flaw.flag != flaw.faulty)
      continue;
    faulty.push_back(flaw.text);
    PowerShellModel mended = model;
    mended.*flaw.flag = !flaw.faulty;
    if (std::any_of(candidates.begin(), candidates.end(),
                    [&](const Argument &c) { return LegacyPasses(mended, c, element, exactly); }))
      named.push_back(flaw.text);
  }
  std::string text;
  for (const std::string_view flaw : named.empty() ? faulty : named)
    text.append(text.empty() ? "" : ", and ").append(flaw);
  const Obstacle *obstacle = ArrayObstacle(Pieces(token));
  if (!text.empty() && obstacle != nullptr)
    text.append("; only an array of the pieces between single spaces could pass, and the "
                "argument holds ")
        .append(obstacle->text);
  return text;
}

struct Choice {
  std::optional<Argument> argument;
  const PowerShellModel *breaker = nullptr; // where there is none: a model that breaks it
  std::string flaw = {};                    // and what it breaks, where that is known
};

Choice Choose(const std::wstring &token, const std::wstring &element, bool batch) {
  // Such an element must reach cmd as its token, from every builder.
  const bool tokenOnly = batch && element.find_first_of(kCmdActsOn) != std::wstring::npos;
  const std::vector<Argument> candidates = Candidates(token, tokenOnly);
  const std::wstring_view exactly = tokenOnly ? std::wstring_view(token) : std::wstring_view();
  const auto passes = [&](const PowerShellModel &model, const Argument &candidate) {
    return LegacyPasses(model, candidate, element, exactly);
  };
  for (const Argument &candidate : candidates)
    if (std::all_of(std::begin(kModels), std::end(kModels),
                    [&](const PowerShellModel &model) { return passes(model, candidate); }))
      return {candidate};
  // The first model that no candidate passes; else the first that breaks the token.
  const PowerShellModel *breaker =
      std::find_if(std::begin(kModels), std::end(kModels), [&](const PowerShellModel &model) {
        return std::none_of(candidates.begin(), candidates.end(),
                            [&](const Argument &candidate) { return passes(model, candidate); });
      });
  if (breaker == std::end(kModels))
    breaker =
        std::find_if(std::begin(kModels), std::end(kModels),
                     [&](const PowerShellModel &model) { return !passes(model, candidates[0]); });
  if (breaker == std::end(kModels))
    breaker = std::begin(kModels);
  return {std::nullopt, breaker, WhatBreaks(*breaker, candidates, token, element, exactly)};
}

// Writes the argument as a string, or as an array @('...', '...'); --% as an array of its own.
void AppendSpelled(std::wstring &line, const Argument &argument) {
  if (!argument.array && argument.strings[0] != kStopParsing) {
    AppendString(line, argument.strings[0]);
    return;
  }
  line.append(L"@(");
  for (std::size_t i = 0; i < argument.strings.size(); ++i) {
    if (i > 0)
      line.append(L", ");
    AppendString(line, argument.strings[i]);
  }
  line.push_back(L')');
}

// The line, or a refusal when a model's command line would be longer than the system takes.
QuotedLine LengthChecked(std::wstring line, bool batch) {
  const std::size_t limit = batch ? kLongestBatchLine : kLongestCreateProcessLine;
  const std::optional<ParsedLine> parsed = ParseLine(line);
  if (!parsed)
    return {.line = std::move(line)};
  for (const PowerShellModel &model : kModels) {
    const std::optional<std::wstring> built = CommandLine(model, *parsed);
    if (built && built->size() > limit)
      return {.refusal = Refusal::kTooLong,
              .length = built->size(),
              .limit = limit,
              .launcher = model.name};
  }
  return {.line = std::move(line)};
}

} // namespace

std::span<const PowerShellModel> PowerShellModels() { return kModels; }

std::optional<std::wstring> PowerShellCommandLine(std::wstring_view line,
                                                  const PowerShellModel &model) {
  const std::optional<ParsedLine> parsed = ParseLine(line);
  if (!parsed)
    return std::nullopt;
  return CommandLine(model, *parsed);
}

QuotedLine WritePowerShell(const List &list) {
  if (list[0].find_first_of(kPattern) != std::wstring::npos)
    return {.refusal = Refusal::kProgramPattern};
  if (IsScriptHostFile(list[0]))
    return {.refusal = Refusal::kScriptHostProgram};
  const bool batch = IsBatchFile(list[0]);
  if (QuotedLine refused = BatchRefusal(list); refused.refusal != Refusal::kNone)
    return refused;
  const std::vector<std::wstring> tokens = ArgumentTokens(list);
  std::wstring line(kPin);
  line.append(L"'Legacy'; ").append(kCheck).append(L"'Legacy'").append(kChecked).append(kLookUp);
  AppendString(line, list[0]);
  line.append(batch ? std::wstring(kFirst) : ProgramsOnly());
  for (std::size_t k = 1; k < list.size(); ++k) {
    Choice choice = Choose(tokens[k - 1], list[k], batch);
    if (!choice.argument)
      return {.refusal = Refusal::kLauncherBreaks,
              .element = k,
              .launcher = choice.breaker->name,
              .flaw = std::move(choice.flaw)};
    line.push_back(L' ');
    AppendSpelled(line, *choice.argument);
  }
  line.append(kOtherwise);
  return LengthChecked(std::move(line), batch);
}

std::optional<List> ReadPowerShell(std::wstring_view line, SplitRules rules) {
  const std::optional<ParsedLine> parsed = ParseLine(line);
  if (!parsed)
    return std::nullopt;
  std::optional<List> agreed;
  for (const PowerShellModel &model : kModels) {
    const std::optional<std::wstring> built = CommandLine(model, *parsed);
    if (!built)
      return std::nullopt;
    std::optional<List> read = ListOf(*parsed, *built, rules);
    if (!read || (agreed && *agreed != *read))
      return std::nullopt;
    agreed = std::move(read);
  }
  return agreed;
}

} // namespace text::forms

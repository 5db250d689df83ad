#include "tests/shown_units.h"
#include "text/cmd_reading.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using text::CmdActKind;
using text::CmdLineKind;
using text::SplitRules;
using List = std::vector<std::wstring>;

// An act as kind and text, to compare whole lists of them.
using Act = std::pair<CmdActKind, std::wstring>;

std::vector<Act> ActsOf(const text::CmdReading &reading) {
  std::vector<Act> acts;
  for (const text::CmdAct &act : reading.acts)
    acts.emplace_back(act.kind, act.text);
  return acts;
}

constexpr CmdLineKind kBatch = CmdLineKind::kBatchLine;
constexpr CmdLineKind kSlashC = CmdLineKind::kCommandLine;
constexpr CmdLineKind kPasted = CmdLineKind::kForwarded;

} // namespace

// cmd's rules, one row each: what it runs of the line and what it acts on.
TEST(CmdReading, ReadsALineByCmdsRules) {
  const struct {
    std::wstring line;
    CmdLineKind kind;
    std::wstring command;
    std::vector<Act> acts;
  } cases[] = {
      {LR"("p" a "b c")", kBatch, LR"("p" a "b c")", {}},
      // Every quote toggles cmd's quoting, a backslash before it or not.
      {LR"(p "a&b|c" \"<x>\")", kSlashC, LR"(p "a&b|c" \"<x>\")", {}},
      {LR"(p "a"&calc)", kSlashC, LR"(p "a")", {{CmdActKind::kCommand, L"& calc"}}},
      {LR"(p a && b || c | d &)",
       kBatch,
       L"p a ",
       {{CmdActKind::kCommand, L"&& b"},
        {CmdActKind::kCommand, L"|| c"},
        {CmdActKind::kCommand, L"| d"},
        {CmdActKind::kCommand, L"&"}}},
      {LR"(p ^&a "^&" ^^)",
       kBatch,
       LR"(p &a "^&" ^)",
       {{CmdActKind::kCaret, L"^&"}, {CmdActKind::kCaret, L"^^"}}},
      {LR"(p "a"^"b")",
       kBatch,
       LR"(p "a""b")",
       {{CmdActKind::kCaret, L"^\""}, {CmdActKind::kOpenQuote, L"\""}}},
      {L"p a^", kBatch, L"p a", {{CmdActKind::kLineEnd, L"^"}}},
      {L"p a\nb \"\r\"",
       kSlashC,
       L"p a\nb \"\r\"",
       {{CmdActKind::kLineEnd, L"\n"}, {CmdActKind::kLineEnd, L"\r"}}},
      {LR"(p "open)", kSlashC, LR"(p "open)", {{CmdActKind::kOpenQuote, L"\""}}},
      // Redirections leave the blanks around them; a digit is a handle only after a blank.
      {L"p a >out b", kSlashC, L"p a  b", {{CmdActKind::kRedirection, L">out"}}},
      {L"p a 2>&1 b", kSlashC, L"p a  b", {{CmdActKind::kRedirection, L"2>&1"}}},
      {L"p a2>x", kSlashC, L"p a2", {{CmdActKind::kRedirection, L">x"}}},
      {LR"(p a >> "o 1"x b)", kSlashC, L"p a  b", {{CmdActKind::kRedirection, LR"(>> "o 1"x)"}}},
      {L"p <in|more",
       kSlashC,
       L"p ",
       {{CmdActKind::kRedirection, L"<in"}, {CmdActKind::kCommand, L"| more"}}},
      // Blocks: parentheses act in a batch file's line and where %* is pasted, not after a name
      // on the line of cmd /c.
      {L"p (a) \"(\"", kSlashC, L"p (a) \"(\"", {}},
      {L"p (a) \"(\"",
       kBatch,
       L"p (a) \"(\"",
       {{CmdActKind::kBlock, L"("}, {CmdActKind::kBlock, L")"}}},
      {L"a)", kPasted, L"a)", {{CmdActKind::kBlock, L")"}}},
      // Percent signs: in a batch file's line %% is %; elsewhere every one may take part.
      {L"p 100%% %PATH% x", kBatch, L"p 100% %PATH% x", {{CmdActKind::kVariable, L"%PATH%"}}},
      {L"p \"%1\"", kBatch, L"p \"%1\"", {{CmdActKind::kPercent, L"%"}}},
      {L"p 100%", kSlashC, L"p 100%", {{CmdActKind::kPercent, L"%"}}},
      {L"p %a:~1%b%%",
       kSlashC,
       L"p %a:~1%b%%",
       {{CmdActKind::kVariable, L"%a:~1%"},
        {CmdActKind::kVariable, L"%b%"},
        {CmdActKind::kPercent, L"%%"}}},
      {L"100%%", kPasted, L"100%%", {{CmdActKind::kPercent, L"%%"}}},
      {L"p !a! !",
       kSlashC,
       L"p !a! !",
       {{CmdActKind::kDelayedVariable, L"!a!"}, {CmdActKind::kDelayedVariable, L"! !"}}},
      {L"p !! a!", kBatch, L"p !! a!", {{CmdActKind::kDelayedVariable, L"! a!"}}},
  };
  for (const auto &c : cases) {
    const text::CmdReading reading = text::ReadCmdLine(c.line, c.kind);
    SCOPED_TRACE(Shown(c.line) + " kind " + std::to_string(static_cast<int>(c.kind)));
    EXPECT_EQ(Shown(reading.command), Shown(c.command));
    EXPECT_EQ(ActsOf(reading), c.acts);
  }
}

// Delimiters as Microsoft's note on batch arguments (KB71247) and Wine show them; %* as Wine
// gives it.
TEST(CmdReading, SplitsABatchFilesParametersAtItsDelimiters) {
  const struct {
    std::wstring command;
    List parameters;
    std::wstring rest;
  } cases[] = {
      {LR"("C:\x.bat" a "b c" d,e;f=g  h)",
       {LR"("C:\x.bat")", L"a", LR"("b c")", L"d", L"e", L"f", L"g", L"h"},
       LR"(a "b c" d,e;f=g  h)"},
      {L"x.bat \t,a b", {L"x.bat", L"a", L"b"}, L",a b"},
      {LR"(x.bat a"b c"d e)", {L"x.bat", LR"(a"b c"d)", L"e"}, LR"(a"b c"d e)"},
      {LR"(x.bat "" ")", {L"x.bat", LR"("")", LR"(")"}, LR"("" ")"},
      {L"x.bat a\x000B b", {L"x.bat", L"a\x000B", L"b"}, L"a\x000B b"},
      {L"  x.bat", {L"x.bat"}, L""},
      {L"", {}, L""},
  };
  for (const auto &c : cases) {
    const text::BatchParameters split = text::SplitBatchParameters(c.command);
    EXPECT_EQ(split.parameters, c.parameters) << Shown(c.command);
    EXPECT_EQ(split.rest, c.rest) << Shown(c.command);
  }
}

// cmd /?: without /s, "LINE" keeps its quotes when it holds exactly two, no special character
// between them, a blank, and names a file; the rest strip them.
TEST(CmdReading, ReadsTheOuterQuotesBothWays) {
  const struct {
    std::wstring line;
    List readings;
  } cases[] = {
      {LR"("x.bat" a)", {LR"("x.bat" a)"}},
      {L"x.bat a", {L"x.bat a", L"\"x.bat a\""}},
      {L"x.bat", {L"x.bat"}},
      {L"x.bat a&b", {L"x.bat a&b"}},
      {L"x.bat @a", {L"x.bat @a"}},
  };
  for (const auto &c : cases)
    EXPECT_EQ(text::OuterQuoteReadings(c.line), c.readings) << Shown(c.line);
}

// What a batch file that forwards %* hands on, by both splitters; nothing where cmd would act.
TEST(CmdReading, GivesTheListABatchFileForwards) {
  const struct {
    std::wstring line;
    CmdLineKind kind;
    std::optional<List> list;
  } cases[] = {
      {LR"("x.bat" "a&b" c)", kSlashC, List{L"x.bat", L"a&b", L"c"}},
      {LR"("C:\a b\x.bat" "\""&calc "a b\\" \")", kSlashC,
       List{LR"(C:\a b\x.bat)", L"\"&calc", LR"(a b\)", L"\""}},
      {LR"("x.bat" "\""&calc)", kSlashC, std::nullopt},
      {LR"("x.bat" !a!)", kSlashC, List{L"x.bat", L"!a!"}},
      {LR"-("x.bat" "(a)")-", kSlashC, List{L"x.bat", L"(a)"}},
      {LR"("x.bat" (a))", kSlashC, std::nullopt},
      {LR"("x.bat" a&b)", kSlashC, std::nullopt},
      {LR"("x.bat" a^&b)", kSlashC, std::nullopt},
      {LR"("x.bat" a\"b)", kSlashC, std::nullopt},
      {LR"("x.bat" 100%)", kSlashC, std::nullopt},
      // Without any quote, Windows' cmd could keep the outer ones.
      {L"x.bat a b", kSlashC, std::nullopt},
      {L"x.bat a b", kBatch, List{L"x.bat", L"a", L"b"}},
      {LR"("x.bat" "a%%b")", kBatch, std::nullopt},
      {LR"("x.bat" a^&b)", kBatch, std::nullopt},
      {L"", kSlashC, std::nullopt},
  };
  for (const auto &c : cases)
    for (const SplitRules rules : text::kBothSplitters)
      EXPECT_EQ(text::ForwardedList(c.line, c.kind, rules), c.list) << Shown(c.line);
}

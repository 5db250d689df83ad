#include "tests/shown_units.h"
#include "text/forms.h"
#include "text/quote.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

using text::QuoteForm;
using text::Refusal;
using text::SplitRules;
using text::forms::PowerShellModel;
using List = std::vector<std::wstring>;

// The models, in the order PowerShellModels() gives them.
enum Model { k51, k70, k72Legacy, k72Standard, k73Legacy, k73Standard, k73Windows };

const PowerShellModel &ModelOf(Model model) {
  return text::forms::PowerShellModels()[static_cast<std::size_t>(model)];
}

const std::wstring kCall =
    L"& (Microsoft.PowerShell.Core\\Get-Command -CommandType Application -Name ";
const std::wstring kNotBatch = L" | Microsoft.PowerShell.Core\\Where-Object Extension -NotIn "
                               L"'.bat', '.cmd', '.vbs', '.vbe', '.js', '.jse', '.wsf', '.wsh' | "
                               L"Microsoft.PowerShell.Utility\\Select-Object -First 1)";
// The pin, its check, and what follows the call.
const std::wstring kPinned = L"& { $PSNativeCommandArgumentPassing = 'Legacy'; if ('Legacy' -eq "
                             L"$PSNativeCommandArgumentPassing) { ";
const std::wstring kOtherwise = L" } else { throw '$PSNativeCommandArgumentPassing could not be "
                                L"set to Legacy: the program was not started' } }";

// The call alone, unpinned: what each version builds from it with the profile's mode.
std::wstring Call(std::wstring_view program, std::wstring_view arguments) {
  return kCall + L"'" + std::wstring(program) + L"'" + kNotBatch + L" " + std::wstring(arguments);
}

std::wstring Pinned(std::wstring_view passing, std::wstring_view call) {
  const std::wstring value = L"'" + std::wstring(passing) + L"'";
  return L"& { $PSNativeCommandArgumentPassing = " + value + L"; if (" + value +
         L" -eq $PSNativeCommandArgumentPassing) { " + std::wstring(call) + kOtherwise;
}

std::optional<std::wstring> Built(std::wstring_view line, Model model) {
  return text::forms::PowerShellCommandLine(line, ModelOf(model));
}

// Asserts that no string of the alphabet, up to seven units, gives 5.1's command line the target.
void SearchNoSpelling(const std::wstring &alphabet, const std::wstring &target) {
  std::size_t total = 1;
  for (std::size_t length = 1; length <= 7; ++length) {
    total *= alphabet.size();
    for (std::size_t n = 0; n < total; ++n) {
      std::wstring text;
      for (std::size_t m = n, i = 0; i < length; ++i, m /= alphabet.size())
        text.push_back(alphabet[m % alphabet.size()]);
      const std::optional<std::wstring> built = Built(Call(L"p", L"'" + text + L"' 'x'"), k51);
      ASSERT_TRUE(built.has_value());
      const List wanted = {L"p", target, L"x"};
      ASSERT_FALSE(text::SplitCommandLine(*built, SplitRules::kRecorder) == wanted &&
                   text::SplitCommandLine(*built, SplitRules::kRuntime) == wanted)
          << Shown(text);
    }
  }
}

struct BuildCase {
  std::wstring arguments; // as the line spells them
  std::wstring legacy51, legacy7, standard;
};

} // namespace

// The Legacy rows follow the threads and the 7.6 Trace-Command output; Standard is .NET's
// ArgumentList quoting.
TEST(PowerShell, EachVersionBuildsTheCommandLineByItsOwnRules) {
  const BuildCase cases[] = {
      {LR"('a b')", LR"("a b")", LR"("a b")", LR"("a b")"},
      {LR"('' 'x')", LR"( x)", LR"( x)", LR"("" x)"},
      {LR"('')", L"", L"", LR"("")"},
      {LR"('a"b c')", LR"(a"b c)", LR"(a"b c)", LR"("a\"b c")"},
      {LR"('a\"b c')", LR"(a\"b c)", LR"("a\"b c")", LR"("a\\\"b c")"},
      {LR"('x y\')", LR"("x y\")", LR"("x y\\")", LR"("x y\\")"},
      {LR"('"a b"')", LR"("a b")", LR"("a b")", LR"("\"a b\"")"},
      {LR"('"a\" b"')", LR"(""a\" b"")", LR"("a\" b")", LR"("\"a\\\" b\"")"},
      {L"'a\u00A0b\\'", L"\"a\u00A0b\\\"", L"\"a\u00A0b\\\\\"", L"\"a\u00A0b\\\\\""},
      {L"\"a`tb\"", L"\"a\tb\"", L"\"a\tb\"", L"\"a\tb\""},
      {LR"('-x:y' '$HOME' 'a,b' '@x' '`')", LR"(-x:y $HOME a,b @x `)", LR"(-x:y $HOME a,b @x `)",
       LR"(-x:y $HOME a,b @x `)"},
      {LR"(@('--%') 'a')", LR"(--% a)", LR"(--% a)", LR"(--% a)"},
      // An array: each element by the element rules, one blank between them; in Standard each
      // is an entry of its own.
      {LR"(@('"a\"b', 'c"'))", LR"("a\"b c")", LR"("a\"b c")", LR"("\"a\\\"b" "c\"")"},
      {LR"(@('a b', 'c\') 'd')", LR"("a b" c\ d)", LR"("a b" c\ d)", LR"("a b" c\ d)"},
      {LR"(@('x y\', 'z'))", LR"("x y\" z)", LR"("x y\\" z)", LR"("x y\\" z)"},
  };
  for (const BuildCase &c : cases) {
    SCOPED_TRACE(Shown(c.arguments));
    const std::wstring line = Call(L"p", c.arguments);
    const auto withProgram = [](const std::wstring &text) {
      return text.empty() ? L"\"p\"" : L"\"p\" " + text;
    };
    EXPECT_EQ(Built(line, k51), withProgram(c.legacy51));
    EXPECT_EQ(Built(line, k70), withProgram(c.legacy7));
    EXPECT_EQ(Built(line, k73Legacy), withProgram(c.legacy7));
    EXPECT_EQ(Built(line, k72Standard), withProgram(c.standard));
    EXPECT_EQ(Built(line, k73Standard), withProgram(c.standard));
  }
}

// 7.3's Windows mode: Legacy for the programs and files named in about_Parsing (and sqlcmd),
// Standard for the rest.
TEST(PowerShell, WindowsModeGivesLegacyToItsExceptionsOnly) {
  const struct {
    std::wstring program;
    bool legacy;
  } cases[] = {
      {LR"(C:\Tools\run.bat)", true},
      {L"RUN.CMD", true},
      {L"x.js", true},
      {L"x.vbs", true},
      {L"x.WSF", true},
      {L"cmd", true},
      {LR"(C:\Windows\System32\CMD.EXE)", true},
      {L"cscript.exe", true},
      {L"wscript", true},
      {L"find.exe", true},
      {L"sqlcmd", true},
      {LR"(C:\Tools\p.exe)", false},
      {L"cmdx.exe", false},
      {L"run.bat.exe", false},
      {L"/usr/bin/find", true},
      {LR"(C:\cmd\tool.exe)", false},
  };
  for (const auto &c : cases) {
    const std::wstring line = Call(c.program, LR"('a"b c')");
    const std::wstring program = L"\"" + c.program + L"\" ";
    EXPECT_EQ(Built(line, k73Windows), program + (c.legacy ? LR"(a"b c)" : LR"("a\"b c")"))
        << Shown(c.program);
  }
}

// The pin holds for the versions that read the variable, whatever a profile left there.
TEST(PowerShell, ThePinnedModeHoldsWhereTheVariableIsRead) {
  const std::wstring call = Call(L"p", LR"('a"b c')");
  const std::wstring legacy = LR"("p" a"b c)", standard = LR"("p" "a\"b c")";
  const struct {
    std::wstring line;
    Model model;
    std::wstring built;
  } cases[] = {
      {Pinned(L"Legacy", call), k73Standard, legacy},
      {Pinned(L"Legacy", call), k73Windows, legacy},
      {Pinned(L"Legacy", call), k72Standard, legacy},
      {Pinned(L"standard", call), k73Legacy, standard},
      {Pinned(L"Standard", call), k51, legacy},
      {Pinned(L"Standard", call), k70, legacy},
      {call, k73Windows, standard},
      {call, k72Legacy, legacy},
  };
  for (const auto &c : cases)
    EXPECT_EQ(Built(c.line, c.model), c.built) << Shown(c.line);
}

TEST(PowerShell, WritesEachArgumentAsALiteralThatEveryBuilderPassesOn) {
  const std::wstring start = kPinned + kCall + L"'C:\\Tools\\rec.exe'" + kNotBatch;
  const struct {
    List arguments;
    std::wstring written;
  } cases[] = {
      {{L"alpha", L"two words", L""}, LR"( 'alpha' '"two words"' '""')"},
      {{LR"(C:\My Dir\)", LR"(a"b)", LR"(say "hi")"}, LR"( '"C:\My Dir\\"' 'a\"b' '"say \"hi\""')"},
      {{L"$HOME", L"`x", L"@a", L"a,b", L";", L"{x}", L"-x:y", L"--", L"~", L"*", L"1e3"},
       LR"( '$HOME' '`x' '@a' 'a,b' ';' '{x}' '-x:y' '--' '~' '*' '1e3')"},
      {{L"--%", L"%PATH%"}, LR"( @('--%') '%PATH%')"},
      {{L"it's", L"\u2018a\u2019\u201A\u201B", L"\u201Cq\u201D"},
       L" 'it''s' '\u2018\u2018a\u2019\u2019\u201A\u201A\u201B\u201B' '\u201Cq\u201D'"},
      {{L"a\r\nb", L"\t$`\"\u201C", L"\x0001\u2028"},
       L" \"`\"a`r`nb`\"\" \"`\"`t`$``\\`\"`\u201C`\"\" \"`\"$([char]0x0001)$([char]0x2028)`\"\""},
      // White space that is not a blank: 5.1 would quote the token without doubling its
      // backslash, so the token goes quoted whole.
      {{L"a\u00A0\\"}, L" '\"a\u00A0\\\\\"'"},
      // 5.1 counts the escaped quote before the second blank: left to the builders to quote.
      {{LR"(--msg=He said "hi there")"}, LR"( '--msg=He said \"hi there\"')"},
  };
  for (const auto &c : cases) {
    List list = {LR"(C:\Tools\rec.exe)"};
    list.insert(list.end(), c.arguments.begin(), c.arguments.end());
    const text::QuotedLine quoted = text::QuoteCommandLine(list, QuoteForm::kPowerShell);
    EXPECT_EQ(quoted.refusal, Refusal::kNone)
        << text::RefusalReason(quoted, QuoteForm::kPowerShell);
    EXPECT_EQ(Shown(quoted.line), Shown(start + c.written + kOtherwise));
    EXPECT_TRUE(text::LineDelivers(quoted.line, list, QuoteForm::kPowerShell))
        << Shown(quoted.line);
  }
}

// Where the program names a batch file the lookup takes it; else it passes over batch files, which
// PATHEXT would find for a name without an extension.
TEST(PowerShell, LooksUpABatchFileOnlyWhereTheProgramNamesOne) {
  const std::wstring pin = kPinned + kCall;
  EXPECT_EQ(text::QuoteCommandLine({LR"(C:\Tools\run.bat)", L"a b"}, QuoteForm::kPowerShell).line,
            pin + LR"('C:\Tools\run.bat' -TotalCount 1) '"a b"')" + kOtherwise);
  EXPECT_EQ(text::QuoteCommandLine({L"run", L"a&b"}, QuoteForm::kPowerShell).line,
            pin + L"'run'" + kNotBatch + L" 'a&b'" + kOtherwise);
  // A batch file's arguments are the tokens of its createprocess line, on which cmd acts on
  // nothing.
  EXPECT_EQ(
      text::QuoteCommandLine({L"run.cmd", L"a&b", L"say \"hi\""}, QuoteForm::kPowerShell).line,
      pin + LR"('run.cmd' -TotalCount 1) '"a&b"' '"say \"hi\""')" + kOtherwise);
}

// Where 5.1 counts an escaped quote and would quote the token again, the pieces between the
// token's spaces go as an array, which every builder joins back into the token.
TEST(PowerShell, WritesTheTokensPiecesAsAnArrayWhereWindowsPowerShellBreaksTheToken) {
  const struct {
    List list;
    std::wstring arguments; // as the line writes them
  } cases[] = {
      {{L"p", LR"(a"b c)"}, LR"( @('"a\"b', 'c"'))"},
      {{L"p", LR"("two words")"}, LR"( @('"\"two', 'words\""'))"},
      {{L"p", LR"(x y" z\)"}, LR"( @('"x', 'y\"', 'z\\"'))"},
      {{L"p", LR"(x\" y)"}, LR"( @('"x\\\"', 'y"'))"},
      {{L"p", LR"(\" a)"}, LR"( @('"\\\"', 'a"'))"},
      // A piece holding a tab where every builder leaves it alone, written "..." for the tab.
      {{L"p", L"a\tb\" c\\"}, L" @(\"`\"a`tb\\`\"\", 'c\\\\\"')"},
      // The plain token still comes first.
      {{L"p", LR"(a"b)", L"a b"}, LR"( 'a\"b' '"a b"')"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(Shown(c.list[1]));
    const text::QuotedLine quoted = text::QuoteCommandLine(c.list, QuoteForm::kPowerShell);
    EXPECT_EQ(quoted.refusal, Refusal::kNone)
        << text::RefusalReason(quoted, QuoteForm::kPowerShell);
    EXPECT_EQ(Shown(quoted.line),
              Shown(kPinned + kCall + L"'p'" + kNotBatch + c.arguments + kOtherwise));
    EXPECT_TRUE(text::LineDelivers(quoted.line, c.list, QuoteForm::kPowerShell));
  }
  // For a batch file, an element holding a quote takes the token alone, or this array of it.
  const List batch = {L"run.cmd", LR"("two words")"};
  const text::QuotedLine quoted = text::QuoteCommandLine(batch, QuoteForm::kPowerShell);
  EXPECT_EQ(quoted.line,
            kPinned + kCall + LR"('run.cmd' -TotalCount 1) @('"\"two', 'words\""'))" + kOtherwise);
  EXPECT_TRUE(text::LineDelivers(quoted.line, batch, QuoteForm::kPowerShell));
}

// A refusal names the flaws of 5.1's builder that break the argument, and what keeps the array
// of its pieces from passing.
TEST(PowerShell, NamesWhatBreaksTheArgument) {
  const std::string start = "ARG[1] has no spelling that Windows PowerShell 5.1 passes on intact: ";
  const std::string counts =
      "it counts every quote, escaped or not, when it decides which white space needs quotes";
  const std::string keeps = ", and it does not double the backslashes before a quote it adds";
  const std::string array =
      "; only an array of the pieces between single spaces could pass, and the argument holds ";
  const struct {
    std::wstring element;
    std::string reason;
  } cases[] = {
      {L"a\"b\tc", start + counts + array + "white space other than a space"},
      {L"a\"b c\u00A0d", start + counts + array + "white space other than a space"},
      {LR"(a"b  c)", start + counts + array + "two spaces in a row"},
      {LR"(x  y" z\)", start + counts + keeps + array + "two spaces in a row"},
      {L"x y\"\tz\\", start + counts + keeps + array + "white space other than a space"},
      {LR"(a" --% b)",
       start + counts + array +
           "--% between spaces, which Windows PowerShell 5.1 was not seen to pass in an array"},
  };
  for (const auto &c : cases) {
    const text::QuotedLine quoted =
        text::QuoteCommandLine({L"p", c.element}, QuoteForm::kPowerShell);
    EXPECT_EQ(text::RefusalReason(quoted, QuoteForm::kPowerShell), c.reason) << Shown(c.element);
  }
}

// Windows Script Host reads a script's command line by rules of its own: a program that names one
// is refused, and a bare name's lookup passes over them.
TEST(PowerShell, RefusesAScriptHostScriptAndLooksUpPastThem) {
  const struct {
    std::wstring program;
    bool script;
  } cases[] = {
      {L"x.vbs", true},   {L"X.VBE", true}, {LR"(C:\s\x.js)", true},  {L"x.jse", true},
      {L"x.Wsf", true},   {L"x.wsh", true}, {L"x.vbs. ", true},       {L"x.vbs.exe", false},
      {L"x.json", false}, {L"xvbs", false}, {LR"(C:\x.js\p)", false}, {L"cscript.exe", false},
  };
  for (const auto &c : cases) {
    const text::QuotedLine quoted =
        text::QuoteCommandLine({c.program, L"a"}, QuoteForm::kPowerShell);
    EXPECT_EQ(quoted.refusal, c.script ? Refusal::kScriptHostProgram : Refusal::kNone)
        << Shown(c.program);
    EXPECT_EQ(quoted.line.find(kNotBatch) != std::wstring::npos, !c.script) << Shown(c.program);
  }
}

TEST(PowerShell, RefusesWhatNoLineCarriesAndSaysWhichVersionBreaksIt) {
  const std::wstring longest(32'762, L'a'); // with "p" and a blank, the most CreateProcess takes
  const struct {
    List list;
    Refusal refusal;
    std::size_t element;
    std::string reason;
  } cases[] = {
      {{L"p", L"a\"b\tc"},
       Refusal::kLauncherBreaks,
       1,
       "ARG[1] has no spelling that Windows PowerShell 5.1 passes on intact: it counts every "
       "quote, escaped or not, when it decides which white space needs quotes; only an array of "
       "the pieces between single spaces could pass, and the argument holds white space other "
       "than a space"},
      {{L"p", L"x", LR"("a  b")"}, Refusal::kLauncherBreaks, 2, ""},
      {{L"p", LR"(x  y" z\)"}, Refusal::kLauncherBreaks, 1, ""},
      {{L"C:\\Scripts\\run.vbs", L"a"},
       Refusal::kScriptHostProgram,
       0,
       "the program is a script that Windows Script Host runs, which reads its command line by "
       "rules of its own (without the \\\" escape): no line can promise it the list"},
      {{LR"(C:\d[1]\p.exe)"},
       Refusal::kProgramPattern,
       0,
       "the program holds one of [ ] * ? `, which PowerShell's command lookup reads as a pattern "
       "that another program's name could match"},
      {{L"p*"}, Refusal::kProgramPattern, 0, ""},
      {{L"a`b"}, Refusal::kProgramPattern, 0, ""},
      {{L"", L"x"}, Refusal::kEmptyProgram, 0, ""},
      {{L"p\"", L"x"}, Refusal::kQuoteInProgram, 0, ""},
      {{L"p", std::wstring(L"a\0", 2)}, Refusal::kNul, 1, ""},
      {{L"p", L"\xD800"}, Refusal::kUnencodable, 1, ""},
      {{L"run.bat", L"100%"}, Refusal::kBatchPercent, 1, ""},
      // A batch file's element that holds what cmd acts on reaches cmd as its token, which 7
      // quotes again for the U+2000 after its second quote.
      {{L"run.cmd", L"a\"h)\u2000", L"q\""},
       Refusal::kLauncherBreaks,
       1,
       "ARG[1] has no spelling that PowerShell 7.0 to 7.2 passes on intact"},
      {{L"p", longest + L"a"},
       Refusal::kTooLong,
       0,
       "the command line Windows PowerShell 5.1 builds would be 32767 units long, past the 32,767 "
       "CreateProcess takes with its NUL"},
      {{L"run.bat", std::wstring(8'200, L'a')}, Refusal::kTooLong, 0, ""},
  };
  for (const auto &c : cases) {
    const text::QuotedLine quoted = text::QuoteCommandLine(c.list, QuoteForm::kPowerShell);
    SCOPED_TRACE(Shown(c.list.back()));
    EXPECT_EQ(quoted.refusal, c.refusal) << text::RefusalReason(quoted, QuoteForm::kPowerShell);
    EXPECT_EQ(quoted.line, L"");
    EXPECT_EQ(quoted.element, c.element);
    if (!c.reason.empty()) {
      EXPECT_EQ(text::RefusalReason(quoted, QuoteForm::kPowerShell), c.reason);
    }
  }
  const text::QuotedLine fits = text::QuoteCommandLine({L"p", longest}, QuoteForm::kPowerShell);
  EXPECT_EQ(fits.refusal, Refusal::kNone) << text::RefusalReason(fits, QuoteForm::kPowerShell);
  EXPECT_EQ(Built(fits.line, k51)->size(), text::kLongestCreateProcessLine);
}

// No string at all that 5.1 is handed gives these: every blank in them follows an odd number of
// quotes. Searched over quotes, backslashes, a letter and a blank, up to seven units. Where the
// blank is a space, an array of the pieces between the spaces passes them, which 5.1 joins with
// single spaces; where it is a tab, nothing does.
TEST(PowerShell, WindowsPowerShellHasNoSpellingForWhatItIsRefused) {
  for (const wchar_t blank : {L' ', L'\t'}) {
    const std::wstring alphabet = std::wstring(L"\"\\a") + blank;
    for (std::wstring target : {LR"(a" a)", LR"("a a")", LR"(" a)"}) {
      std::replace(target.begin(), target.end(), L' ', blank);
      SearchNoSpelling(alphabet, target);
      const text::QuotedLine quoted =
          text::QuoteCommandLine({L"p", target}, QuoteForm::kPowerShell);
      EXPECT_EQ(quoted.refusal, blank == L' ' ? Refusal::kNone : Refusal::kLauncherBreaks)
          << Shown(target);
      EXPECT_EQ(quoted.line.find(L" @('") != std::wstring::npos, blank == L' ') << Shown(target);
    }
  }
}

// Lines read back only where every version builds the same list from them.
TEST(PowerShell, ReadsALineOnlyWhereEveryVersionAgrees) {
  const struct {
    std::wstring line;
    std::optional<List> list;
  } cases[] = {
      {Pinned(L"Legacy", Call(L"p", LR"('a\"b' '"c d"' '""' @('--%'))")),
       List{L"p", LR"(a"b)", L"c d", L"", L"--%"}},
      {Call(L"p", LR"('a' 'b c')"), List{L"p", L"a", L"b c"}},
      {Call(L"p", LR"('a"b')"), std::nullopt}, // Standard passes the quote, Legacy not
      {Call(L"p", LR"('')"), std::nullopt},    // Standard keeps it, Legacy drops it
      {Pinned(L"Legacy", Call(L"p", L"'--%' 'x'")), std::nullopt}, // the stop-parsing token
      {Pinned(L"Legacy", Call(L"p", L"\"$x\"")), std::nullopt},
      {Pinned(L"Legacy", Call(L"p", L"\"`e\"")), std::nullopt}, // ESC in 7, e in 5.1
      {Pinned(L"Legacy", Call(L"p", L"\"a\"\"b\"")), std::nullopt},
      {Pinned(L"Legacy", Call(L"p", L"'open")), std::nullopt},
      {Pinned(L"Legacy", Call(L"p", L"a")), std::nullopt},
      {Pinned(L"Legacy", Call(L"p", L"'a'")) + L";", std::nullopt},
      {Pinned(L"Sometimes", Call(L"p", L"'a'")), std::nullopt},
      {L"& 'p' 'a'", std::nullopt},
      // A lookup that does not pass over batch files and scripts may start one the line does not
      // name: a batch file, on whose list cmd acts, or a script, which reads its own way.
      {Pinned(L"Legacy", kCall + L"'run' -TotalCount 1) 'a&b'"), std::nullopt},
      {Pinned(L"Legacy", kCall + L"'run' -TotalCount 1) 'a b'"), std::nullopt},
      {Pinned(L"Legacy", kCall + L"'run.cmd' -TotalCount 1) 'a b'"), List{L"run.cmd", L"a b"}},
      {Pinned(L"Legacy", kCall + L"'run.vbs' -TotalCount 1) 'a b'"), std::nullopt},
      {Pinned(L"Legacy", Call(L"run.vbs", L"'a b'")), std::nullopt},
      {Pinned(L"Legacy", Call(L"run", L"'a&b'")), List{L"run", L"a&b"}},
      {Pinned(L"Legacy", Call(L"run.cmd", L"'a&b'")), std::nullopt},
      {Pinned(L"Legacy", Call(L"p", L"\"a\u201C\"")), std::nullopt}, // a typographic quote ends it
      {Pinned(L"Legacy", Call(L"p", L"\"`$``$([char]0x000A)`\u201C\"")), List{L"p", L"$`\n\u201C"}},
      // Arrays: each element by the element rules, one blank between them.
      {Pinned(L"Legacy", Call(L"p", LR"(@('"a\"b', 'c"') @('x', 'y'))")),
       List{L"p", LR"(a"b c)", L"x", L"y"}},
      {Pinned(L"Legacy", Call(L"p", L"@(\"`t\", 'a b')")), List{L"p", L"\t", L"a b"}},
      {Call(L"p", LR"(@('"a\"b', 'c"'))"), std::nullopt}, // Standard passes each on its own
      {Pinned(L"Legacy", Call(L"p", L"@('a', '')")), std::nullopt},
      {Pinned(L"Legacy", Call(L"p", L"@('', 'a')")), std::nullopt},
      {Pinned(L"Legacy", Call(L"p", L"@('a', '--%')")), std::nullopt},
      {Pinned(L"Legacy", Call(L"p", L"@()")), std::nullopt},
      {Pinned(L"Legacy", Call(L"p", L"@('a','b')")), std::nullopt},
      // The check compares the value pinned, and the line ends in its else.
      {L"& { $PSNativeCommandArgumentPassing = 'Legacy'; if ('Standard' -eq "
       L"$PSNativeCommandArgumentPassing) { " +
           Call(L"p", L"'a'") + kOtherwise,
       std::nullopt},
      {L"& { $PSNativeCommandArgumentPassing = 'Legacy'; " + Call(L"p", L"'a'") + L" }",
       std::nullopt},
      {kPinned + Call(L"p", L"'a'") + L" }", std::nullopt},
      {kPinned + Call(L"p", L"'a'") + kOtherwise, List{L"p", L"a"}},
  };
  for (const auto &c : cases)
    EXPECT_EQ(text::ReadQuotedLine(c.line, QuoteForm::kPowerShell, SplitRules::kRecorder), c.list)
        << Shown(c.line);
}

// Random lists weighted to what PowerShell and the builders act on: a line made delivers its
// list to every model, and a list is refused for a version's builder only where an element holds
// both a quote and white space.
TEST(PowerShell, EveryLineMadeDeliversItsListToEveryVersion) {
  const std::wstring alphabet = L"\"\"\\\\  a'$`@,;{}-:%~*\u2018\u2019\u201C\u00A0\t\n\u00E9--";
  std::mt19937 random(20261210);
  int made = 0;
  for (int round = 0; round < 20'000; ++round) {
    List list(1 + random() % 4);
    list[0] = L"C:\\p.exe";
    for (std::size_t k = 1; k < list.size(); ++k)
      for (std::size_t n = random() % 7; n > 0; --n)
        list[k].push_back(alphabet[random() % alphabet.size()]);
    const text::QuotedLine quoted = text::QuoteCommandLine(list, QuoteForm::kPowerShell);
    if (quoted.refusal == Refusal::kNone) {
      ++made;
      ASSERT_TRUE(text::LineDelivers(quoted.line, list, QuoteForm::kPowerShell))
          << Shown(quoted.line);
    } else {
      ASSERT_EQ(quoted.refusal, Refusal::kLauncherBreaks);
      const std::wstring &element = list[quoted.element];
      ASSERT_TRUE(element.find(L'"') != std::wstring::npos &&
                  element.find_first_of(L" \t\n\u00A0") != std::wstring::npos)
          << Shown(element);
    }
  }
  EXPECT_GT(made, 5'000);
}

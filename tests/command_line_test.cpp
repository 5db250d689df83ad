#include "tests/shown_units.h"
#include "text/quote.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using text::QuoteForm;
using text::Refusal;
using text::SplitRules;
using List = std::vector<std::wstring>;

struct SplitCase {
  std::wstring line;
  List list;
};

} // namespace

// The argument rows are Microsoft's published examples for the C runtime's parsing with a program
// before them, where the recorder's splitter agrees; the rest are the function's documented
// remarks (leading blanks, trailing blanks, backslashes) and what it was seen to do under Wine.
TEST(CommandLine, SplitsByTheRecordersRules) {
  const SplitCase cases[] = {
      {LR"(p "a b c" d e)", {L"p", L"a b c", L"d", L"e"}},
      {LR"(p "ab\"c" "\\" d)", {L"p", LR"(ab"c)", LR"(\)", L"d"}},
      {LR"(p a\\\b d"e f"g h)", {L"p", LR"(a\\\b)", L"de fg", L"h"}},
      {LR"(p a\\\"b c d)", {L"p", LR"(a\"b)", L"c", L"d"}},
      {LR"(p a\\\\"b c" d e)", {L"p", LR"(a\\b c)", L"d", L"e"}},
      {LR"(p "abc" d e)", {L"p", L"abc", L"d", L"e"}},
      {LR"(p a\\b d"e f"g h)", {L"p", LR"(a\\b)", L"de fg", L"h"}},
      // Where the runtime differs: a doubled quote inside a quoted part ends it.
      {LR"(p a"b"" c d)", {L"p", LR"(ab")", L"c", L"d"}},
      {LR"(p "a""b" c)", {L"p", LR"(a"b c)"}},
      {LR"(p """ a")", {L"p", LR"(")", L"a"}},
      {LR"(p """")", {L"p", LR"(")"}},
      {LR"(p a""b "" "")", {L"p", L"ab", L"", L""}},
      {LR"(p "open to the end)", {L"p", L"open to the end"}},
      {LR"(p \\server\share\ "C:\dir\\" "C:\dir\" x)",
       {L"p", LR"(\\server\share\)", LR"(C:\dir\)", LR"(C:\dir" x)"}},
      {L"p a\tb\t\"c\td\" e\r\nf \x000B", {L"p", L"a", L"b", L"c\td", L"e\r\nf", L"\x000B"}},
      {L"  p a \t ", {L"", L"p", L"a"}},
      {L" ", {L""}},
      {L"", {}},
      // Element 0: to the next quote when it starts with one, else to the next blank.
      {LR"("C:\Program Files\p.exe" x)", {LR"(C:\Program Files\p.exe)", L"x"}},
      {LR"("a b"c d)", {L"a b", L"c", L"d"}},
      {LR"(a"b c"d e)", {LR"(a"b)", L"cd e"}},
      {LR"(C:\dir\\"x)", {LR"(C:\dir\\"x)"}},
      {LR"("C:\dir\\" x)", {LR"(C:\dir\\)", L"x"}},
      {LR"("" x)", {L"", L"x"}},
      {LR"("open program)", {L"open program"}},
  };
  for (const SplitCase &c : cases)
    EXPECT_EQ(text::SplitCommandLine(c.line, SplitRules::kRecorder), c.list) << Shown(c.line);
}

// Microsoft's published examples for the C runtime (its C and C++ pages), and element 0 by the
// runtime's rule: quotes toggle and are dropped, backslashes are plain.
TEST(CommandLine, SplitsByTheRuntimesRules) {
  const SplitCase cases[] = {
      {LR"(p "a b c" d e)", {L"p", L"a b c", L"d", L"e"}},
      {LR"(p "ab\"c" "\\" d)", {L"p", LR"(ab"c)", LR"(\)", L"d"}},
      {LR"(p a\\\b d"e f"g h)", {L"p", LR"(a\\\b)", L"de fg", L"h"}},
      {LR"(p a\\\"b c d)", {L"p", LR"(a\"b)", L"c", L"d"}},
      {LR"(p a\\\\"b c" d e)", {L"p", LR"(a\\b c)", L"d", L"e"}},
      {LR"(p "abc" d e)", {L"p", L"abc", L"d", L"e"}},
      {LR"(p a\\b d"e f"g h)", {L"p", LR"(a\\b)", L"de fg", L"h"}},
      {LR"(p a"b"" c d)", {L"p", LR"(ab" c d)"}},
      {LR"(p "a""b" c)", {L"p", LR"(a"b)", L"c"}},
      {LR"(p """ a")", {L"p", LR"(" a)"}},
      {LR"(p """")", {L"p", LR"(")"}},
      {LR"(p a""b "" "")", {L"p", L"ab", L"", L""}},
      {LR"(p "open to the end)", {L"p", L"open to the end"}},
      {L"p a\tb\t\"c\td\" e\r\nf", {L"p", L"a", L"b", L"c\td", L"e\r\nf"}},
      {L"  p a \t ", {L"", L"p", L"a"}},
      {L"", {L""}},
      {LR"("C:\Program Files\p.exe" x)", {LR"(C:\Program Files\p.exe)", L"x"}},
      {LR"("a b"c d)", {L"a bc", L"d"}},
      {LR"(a"b c"d e)", {L"ab cd", L"e"}},
      {LR"(C:\dir\\"x y)", {LR"(C:\dir\\x y)"}},
      {LR"("C:\dir\\" x)", {LR"(C:\dir\\)", L"x"}},
      {LR"("" x)", {L"", L"x"}},
  };
  for (const SplitCase &c : cases)
    EXPECT_EQ(text::SplitCommandLine(c.line, SplitRules::kRuntime), c.list) << Shown(c.line);
}

TEST(CommandLine, SplitsArgumentsWithoutAProgram) {
  EXPECT_EQ(text::SplitArguments(LR"(  "a b" c\" "" )", SplitRules::kRecorder),
            (List{L"a b", LR"(c")", L""}));
  EXPECT_EQ(text::SplitArguments(LR"("a""b" c)", SplitRules::kRuntime), (List{LR"(a"b)", L"c"}));
  EXPECT_EQ(text::SplitArguments(L" \t", SplitRules::kRecorder), List{});
}

namespace {

struct QuoteCase {
  List list;
  QuoteForm form;
  std::wstring line;
  Refusal refusal = Refusal::kNone;
  std::size_t element = 0;
};

template <std::size_t n> void ExpectQuoted(const QuoteCase (&cases)[n]) {
  for (const QuoteCase &c : cases) {
    const text::QuotedLine quoted = text::QuoteCommandLine(c.list, c.form);
    SCOPED_TRACE(Shown(c.line) + " form " + std::to_string(static_cast<int>(c.form)));
    EXPECT_EQ(quoted.refusal, c.refusal) << text::RefusalReason(quoted, c.form);
    EXPECT_EQ(Shown(quoted.line), Shown(c.line));
    if (c.refusal == Refusal::kNone) {
      EXPECT_TRUE(text::LineDelivers(quoted.line, c.list, c.form));
      EXPECT_EQ(text::RefusalReason(quoted, c.form), "");
    } else {
      EXPECT_EQ(quoted.element, c.element);
      EXPECT_NE(text::RefusalReason(quoted, c.form), "");
    }
  }
}

} // namespace

TEST(CommandLine, QuotesOnlyWhatNeedsIt) {
  const List spaced = {LR"(C:\Tools\rec.exe)", L"alpha", L"two words", L""};
  const List installer = {L"setup.exe", L"/dir", LR"(C:\Program Files\App\)", L"/quiet"};
  const List quotes = {L"p", LR"(a"b)", LR"(\")", LR"(a\\b)", LR"(x\)", L"say \"hi\"\\"};
  const List program = {LR"(C:\Program Files\p\)", L"x"};
  // After \" cmd takes what follows to be quoted until the next quote, which opens "a b&c" for
  // the program but closes cmd's quoting.
  const List cmdOperators = {L"p", L"a&b", L"\"&calc", L"100%", L"^", L"(x)", L"a b&c", L"<%1>"};
  const List shell = {L"/bin/echo", L"it's", L"$HOME", L"a\nb", L"--opt=1,2:3@x+y%", L"~", L"*"};
  const std::wstring longArgument(32'764, L'a');
  const QuoteCase cases[] = {
      {spaced, QuoteForm::kCreateProcess, LR"(C:\Tools\rec.exe alpha "two words" "")"},
      {spaced, QuoteForm::kArguments, LR"(alpha "two words" "")"},
      {spaced, QuoteForm::kCmd, LR"("C:\Tools\rec.exe" alpha "two words" "")"},
      {spaced, QuoteForm::kSh, LR"('C:\Tools\rec.exe' alpha 'two words' '')"},
      {installer, QuoteForm::kCreateProcess, LR"(setup.exe /dir "C:\Program Files\App\\" /quiet)"},
      {installer, QuoteForm::kSh, LR"('setup.exe' /dir 'C:\Program Files\App\' /quiet)"},
      {quotes, QuoteForm::kCreateProcess, LR"(p a\"b \\\" a\\b x\ "say \"hi\"\\")"},
      {quotes, QuoteForm::kArguments, LR"(a\"b \\\" a\\b x\ "say \"hi\"\\")"},
      {program, QuoteForm::kCreateProcess, LR"("C:\Program Files\p\" x)"},
      {{L"p", L"a\tb", L"c\rd", L"\x0001"},
       QuoteForm::kCreateProcess,
       L"p \"a\tb\" \"c\rd\" \"\x0001\""},
      {{L"p"}, QuoteForm::kArguments, L""},
      {cmdOperators, QuoteForm::kCreateProcess, LR"(p a&b \"&calc 100% ^ (x) "a b&c" <%1>)"},
      {cmdOperators, QuoteForm::kCmd, LR"("p" a^&b \"&calc 100%% ^ (x) "a b^&c" <%%1>)"},
      {{L"p", L"^\"^", L"(|)"}, QuoteForm::kCmd, LR"("p" ^^\"^ (|))"},
      {{L"p", L"^\"^", L"\"", L"(|)"}, QuoteForm::kCmd, LR"("p" ^^\"^ \" ^(^|^))"},
      {{L"p", L"\u00E9\xD83D\xDE00"}, QuoteForm::kCmd, L"\"p\" \u00E9\xD83D\xDE00"},
      {shell, QuoteForm::kSh, L"/bin/echo 'it'\\''s' '$HOME' 'a\nb' --opt=1,2:3@x+y% '~' '*'"},
      {{L"ls", L"x"}, QuoteForm::kSh, L"'ls' x"},
      {{L"FOO=a/b", L"x=y"}, QuoteForm::kSh, L"'FOO=a/b' x=y"},
      {{L"./a", L"\xDCFF\xDC80", L"\u00E9"}, QuoteForm::kSh, L"./a '\xDCFF\xDC80' '\u00E9'"},
      // Refusals.
      {{LR"(C:\a"b.exe)", L"x"}, QuoteForm::kCreateProcess, L"", Refusal::kQuoteInProgram, 0},
      {{LR"(C:\a"b.exe)", L"x"}, QuoteForm::kArguments, L"", Refusal::kQuoteInProgram, 0},
      {{LR"(C:\a"b.exe)", L"x"}, QuoteForm::kCmd, L"", Refusal::kQuoteInProgram, 0},
      {{L"p", std::wstring(L"a\0b", 3)}, QuoteForm::kCreateProcess, L"", Refusal::kNul, 1},
      {{L"p", L"x", std::wstring(1, L'\0')}, QuoteForm::kSh, L"", Refusal::kNul, 2},
      {{L"p", L"a", L"b\nc"}, QuoteForm::kCmd, L"", Refusal::kLineBreak, 2},
      {{L"p", L"a\rb"}, QuoteForm::kCmd, L"", Refusal::kLineBreak, 1},
      {{L"p", L"a\x001A"}, QuoteForm::kCmd, L"", Refusal::kLineBreak, 1},
      {{L"p", L"a\xD800"}, QuoteForm::kCmd, L"", Refusal::kUnencodable, 1},
      {{L"p", L"\xDC80"}, QuoteForm::kCmd, L"", Refusal::kUnencodable, 1},
      {{L"p", L"\xDE00\xD83D"}, QuoteForm::kSh, L"", Refusal::kUnencodable, 1},
      {{L"", L"a"}, QuoteForm::kSh, L"", Refusal::kEmptyProgram, 0},
      {{}, QuoteForm::kCreateProcess, L"", Refusal::kEmptyProgram, 0},
      {{L"p", longArgument}, QuoteForm::kCreateProcess, L"p " + longArgument},
      {{L"p", longArgument + L"a"}, QuoteForm::kCreateProcess, L"", Refusal::kTooLong},
      {{L"p", longArgument}, QuoteForm::kArguments, longArgument},
      {{L"p ", longArgument}, QuoteForm::kArguments, L"", Refusal::kTooLong},
      {{L"p", std::wstring(8'187, L'a')}, QuoteForm::kCmd, L"\"p\" " + std::wstring(8'187, L'a')},
      {{L"p", std::wstring(8'188, L'a')}, QuoteForm::kCmd, L"", Refusal::kTooLong},
      {{L"p", std::wstring(4'094, L'%')}, QuoteForm::kCmd, L"", Refusal::kTooLong},
      // A batch file runs through cmd, which acts on these wherever they stand: they go in quotes.
      {{LR"(C:\Tools\run.bat)", L"a&ver>x"},
       QuoteForm::kCreateProcess,
       LR"("C:\Tools\run.bat" "a&ver>x")"},
      {{L"RUN.CMD", L"x", L"100%PATH%x"}, QuoteForm::kArguments, L"", Refusal::kBatchPercent, 2},
      {{L"run.bat. ", L"say \"hi\""}, QuoteForm::kCmd, LR"("run.bat. " "say \"hi\"")"},
      {{LR"(C:\R&D\run.cmd)"}, QuoteForm::kCreateProcess, LR"("C:\R&D\run.cmd")"},
      // A batch file's name is quoted whole, so that cmd takes the same line whichever way it
      // reads the outer quotes.
      {{L"run.bat", L"a b", L"c\\"}, QuoteForm::kCreateProcess, L"\"run.bat\" \"a b\" c\\"},
      {{L"./run.bat", L"a&b"}, QuoteForm::kSh, L"./run.bat 'a&b'"},
      {{L"run.bat.exe", L"a&b"}, QuoteForm::kCreateProcess, L"run.bat.exe a&b"},
  };
  ExpectQuoted(cases);
}

// For a batch file, every character cmd acts on stands inside what cmd takes for quotes, where
// cmd toggles at every quote and the splitters only at those not escaped; the lines were checked
// with a batch file forwarding %* under Wine.
TEST(CommandLine, QuotesABatchFilesListForCmdToo) {
  const List plain = {L"x.bat", L"a b",   L"c,d",    L"e;f",   L"g=h",
                      L"",      L"plain", L"\u00E9", L"!PATH!"};
  const List acted = {L"x.bat", L"a&b", L"(a)", L"^", L"a|b<c>d", L"say \"hi\" & bye"};
  const std::wstring fits(text::kLongestBatchLine - 8, L'a');
  const QuoteCase cases[] = {
      {plain, QuoteForm::kCreateProcess,
       L"\"x.bat\" \"a b\" \"c,d\" \"e;f\" \"g=h\" \"\" plain \u00E9 !PATH!"},
      {acted, QuoteForm::kCreateProcess,
       LR"-("x.bat" "a&b" "(a)" "^" "a|b<c>d" "say \"hi\" & bye")-"},
      {acted, QuoteForm::kArguments, LR"-("a&b" "(a)" "^" "a|b<c>d" "say \"hi\" & bye")-"},
      {acted, QuoteForm::kCmd, LR"-("x.bat" "a&b" "(a)" "^" "a|b<c>d" "say \"hi\" & bye")-"},
      // After a literal quote cmd's quoting is the other way round: a mark puts it back.
      {{LR"(C:\x.bat)", L"\"&calc", L"^\"&x"},
       QuoteForm::kCreateProcess,
       LR"("C:\x.bat" "\""&calc ""^\""&x")"},
      {{L"x.bat", L"a\"b", L"&", L"c\"d"}, QuoteForm::kCreateProcess, LR"("x.bat" a\"b ""& c\"d)"},
      {{L"x.bat", LR"(\"&echo w\)", L"\"&\"&\""},
       QuoteForm::kCreateProcess,
       LR"("x.bat" "\\\""&echo" w\\" "\"&\""&\")"},
      {{L"x.bat", LR"(C:\dir\)", LR"(a b\)", LR"(\\)"},
       QuoteForm::kCreateProcess,
       LR"("x.bat" C:\dir\ "a b\\" \\)"},
      {{L"x.bat", fits}, QuoteForm::kCreateProcess, L"\"x.bat\" " + fits},
      {{L"x.bat", fits + L"a"}, QuoteForm::kCreateProcess, L"", Refusal::kTooLong},
      {{L"x.bat", fits}, QuoteForm::kArguments, fits},
      {{L"x.bat", fits + L"a"}, QuoteForm::kArguments, L"", Refusal::kTooLong},
      // Refusals: a %, which cmd may expand; an odd number of quotes; a line break.
      {{L"x.bat", L"100%"}, QuoteForm::kCreateProcess, L"", Refusal::kBatchPercent, 1},
      {{LR"(C:\100%\x.bat)", L"a"}, QuoteForm::kCreateProcess, L"", Refusal::kBatchPercent, 0},
      {{L"x.cmd", L"a", L"%PATH%"}, QuoteForm::kCmd, L"", Refusal::kBatchPercent, 2},
      // The payload that cuts a quote out of cmd's own command line to close the quoting.
      {{L"x.bat", L"%CMDCMDLINE:~-1%&calc"}, QuoteForm::kArguments, L"", Refusal::kBatchPercent, 1},
      {{L"x.bat", L"a\"b"}, QuoteForm::kCreateProcess, L"", Refusal::kBatchOddQuotes, 1},
      {{L"x.bat", L"a\"b", L"c\"d", L"\"", L"e"},
       QuoteForm::kArguments,
       L"",
       Refusal::kBatchOddQuotes,
       3},
      {{L"x.bat", L"say \"hi"}, QuoteForm::kCmd, L"", Refusal::kBatchOddQuotes, 1},
      {{L"x.bat", L"a\nb"}, QuoteForm::kCreateProcess, L"", Refusal::kLineBreak, 1},
      {{L"x.bat", L"a", L"\x001A"}, QuoteForm::kArguments, L"", Refusal::kLineBreak, 2},
      {{L"x.exe", L"100%", L"a\"b", L"a\nb"},
       QuoteForm::kCreateProcess,
       L"x.exe 100% a\\\"b \"a\nb\""},
  };
  ExpectQuoted(cases);
}

TEST(CommandLine, KnowsABatchFileByItsNameAsWindowsStripsIt) {
  const struct {
    std::wstring_view program;
    bool batch;
  } cases[] = {
      {LR"(C:\Tools\run.bat)", true},
      {L"X.CMD", true},
      {L"run.bat.", true},
      {L"run.cmd ", true},
      {L"run.Bat . .", true},
      {L".bat", true},
      {L"run.bat.exe", false},
      {L"run.bat\t", false},
      {L"bat", false},
      {L"run.bats", false},
      {L"", false},
      {L"...", false},
  };
  for (const auto &c : cases)
    EXPECT_EQ(text::IsBatchFile(c.program), c.batch) << Shown(c.program);
}

TEST(CommandLine, RefusalsSayWhy) {
  const text::QuotedLine tooLong =
      text::QuoteCommandLine({L"p", std::wstring(8'188, L'a')}, QuoteForm::kCmd);
  EXPECT_EQ(text::RefusalReason(tooLong, QuoteForm::kCmd),
            "the line would be 8192 units long, past the 8,191 cmd reads in a line");
  // The arguments form counts the program the caller puts before the line.
  const text::QuotedLine arguments =
      text::QuoteCommandLine({L"prog", std::wstring(32'762, L'a')}, QuoteForm::kArguments);
  EXPECT_EQ(text::RefusalReason(arguments, QuoteForm::kArguments),
            "the line would be 32767 units long, past the 32,767 CreateProcess takes with its NUL");
  const text::QuotedLine lineBreak = text::QuoteCommandLine({L"p", L"a", L"\n"}, QuoteForm::kCmd);
  EXPECT_EQ(text::RefusalReason(lineBreak, QuoteForm::kCmd),
            "ARG[2] holds a CR, LF or Ctrl-Z, which cannot pass through a batch file line");
  // A batch file's line: its own limit, its percent signs and its quotes.
  const struct {
    List list;
    QuoteForm form;
    std::string reason;
  } batch[] = {
      {{L"x.bat", std::wstring(8'149, L'a')},
       QuoteForm::kCreateProcess,
       "the line would be 8157 units long, past the 8,156 cmd reads in the line CreateProcess "
       "wraps around a batch file's"},
      {{L"x.bat", L"a", L"50%"},
       QuoteForm::kArguments,
       "ARG[2] holds a %, which cmd may expand on the way to the batch file: Windows' cmd expands "
       "a %NAME% pair, and Wine's every % again where the batch file uses %* or %1"},
      {{L"x.bat", L"a\"b", L"c"},
       QuoteForm::kCmd,
       "the arguments hold an odd number of quotes (the last in ARG[1]), which would leave cmd's "
       "quoting open after them, over whatever a batch file writes after %* on its line"},
  };
  for (const auto &c : batch)
    EXPECT_EQ(text::RefusalReason(text::QuoteCommandLine(c.list, c.form), c.form), c.reason);
}

// A scheduled task, a service's REG_EXPAND_SZ image path and a shortcut's target expand %NAME%
// before CreateProcess sees the line: the forms recommended for them say so.
TEST(CommandLine, NotesWhereAHostWouldExpandAVariable) {
  const struct {
    std::wstring line;
    QuoteForm form;
    std::string note;
  } cases[] = {
      {L"p 100%PATH%x", QuoteForm::kCreateProcess,
       "note: the line holds %PATH%, which a scheduled task, a service's image path of type "
       "REG_EXPAND_SZ and a shortcut's target would expand before CreateProcess sees it"},
      {L"50%% off %\t%", QuoteForm::kArguments,
       "note: the line holds % off %, which a scheduled task's arguments would expand before "
       "CreateProcess sees it"},
      {L"a\tb %x\ty%", QuoteForm::kCreateProcess,
       "note: the line holds %x<TAB>y%, which a scheduled task, a service's image path of type "
       "REG_EXPAND_SZ and a shortcut's target would expand before CreateProcess sees it"},
      {L"p 100%%", QuoteForm::kCreateProcess, ""},
      {L"p 100%", QuoteForm::kArguments, ""},
      {L"\"p\" %PATH%", QuoteForm::kCmd, ""},
      {L"p '%PATH%'", QuoteForm::kSh, ""},
  };
  for (const auto &c : cases)
    EXPECT_EQ(text::HostExpansionNote(c.line, c.form), c.note) << Shown(c.line);
}

// The models of cmd and of the shell read back only what holds nothing live for them.
TEST(CommandLine, ReadsQuotedLinesAsTheirReadersDo) {
  const struct {
    std::wstring line;
    QuoteForm form;
    std::optional<List> list;
  } cases[] = {
      {LR"("p" ^&^|^<^>^(^)^^ "&|<>()^" 50%%)", QuoteForm::kCmd,
       List{L"p", L"&|<>()^", L"&|<>()^", L"50%"}},
      {LR"(p \"&calc)", QuoteForm::kCmd, List{L"p", L"\"&calc"}},
      {LR"(p a&calc)", QuoteForm::kCmd, std::nullopt},
      {LR"(p "a"&calc)", QuoteForm::kCmd, std::nullopt},
      {LR"(p \"a\"&calc)", QuoteForm::kCmd, std::nullopt},
      {LR"(p (x))", QuoteForm::kCmd, std::nullopt},
      {LR"(p %PATH%)", QuoteForm::kCmd, std::nullopt},
      {LR"(p "%1")", QuoteForm::kCmd, std::nullopt},
      {LR"(p a^)", QuoteForm::kCmd, std::nullopt},
      // A batch file gets its arguments from cmd, and a batch file forwarding %* hands them on.
      {LR"("x.bat" "a&b" c)", QuoteForm::kCreateProcess, List{L"x.bat", L"a&b", L"c"}},
      {LR"("x.bat" a&b)", QuoteForm::kCreateProcess, std::nullopt},
      {LR"(x.exe a&b)", QuoteForm::kCreateProcess, List{L"x.exe", L"a&b"}},
      {LR"("x.bat" "a&b")", QuoteForm::kCmd, List{L"x.bat", L"a&b"}},
      {LR"("x.bat" a^&b)", QuoteForm::kCmd, std::nullopt},
      {LR"("x.exe" a^&b)", QuoteForm::kCmd, List{L"x.exe", L"a&b"}},
      {L"p \"a\nb\"", QuoteForm::kCmd, std::nullopt},
      {LR"(/bin/x 'a b'\''c' d\ e '')", QuoteForm::kSh, List{L"/bin/x", L"a b'c", L"d e", L""}},
      {LR"(x a)", QuoteForm::kSh, std::nullopt},
      {LR"(A=b/c a)", QuoteForm::kSh, std::nullopt},
      {LR"('x' $HOME)", QuoteForm::kSh, std::nullopt},
      {LR"('x' 'open)", QuoteForm::kSh, std::nullopt},
      {L"'x' a\nb", QuoteForm::kSh, std::nullopt},
  };
  for (const auto &c : cases)
    EXPECT_EQ(text::ReadQuotedLine(c.line, c.form, SplitRules::kRecorder), c.list) << Shown(c.line);
}

// Random lists weighted to what the rules act on: every line made must deliver its list.
TEST(CommandLine, EveryLineMadeDeliversItsList) {
  const std::wstring alphabet = L"\"\\ \t\"\\a&|<>^()%'\r\n=/\xD800\xDC80";
  std::mt19937 random(20261208);
  for (int round = 0; round < 20'000; ++round) {
    List list(1 + random() % 4);
    for (std::wstring &element : list)
      for (std::size_t n = random() % 7; n > 0; --n)
        element.push_back(alphabet[random() % alphabet.size()]);
    if (round % 3 == 0)
      list[0] = L"x.bat"; // whose list cmd reads on the way
    for (const QuoteForm form :
         {QuoteForm::kCreateProcess, QuoteForm::kArguments, QuoteForm::kCmd, QuoteForm::kSh}) {
      const text::QuotedLine quoted = text::QuoteCommandLine(list, form);
      if (quoted.refusal == Refusal::kNone) {
        ASSERT_TRUE(text::LineDelivers(quoted.line, list, form)) << Shown(quoted.line);
      }
    }
  }
}

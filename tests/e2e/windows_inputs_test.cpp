// Hard inputs for tarnwhistle.exe: the longest command lines, broken UTF-16, characters that look
// like line structure, and how the Windows splitter treats quotes and backslashes.
#include "tests/e2e/windows_launch.h"
#include "tests/record_bytes.h"

#include <string>
#include <vector>

namespace {

using WindowsInput = launch::Test;

// CreateProcessW takes at most 32,767 units, its NUL included.
constexpr std::size_t kLongestCommandLine = 32'766;

int StatusFor(std::size_t arguments) {
  return arguments == 0 ? 10 : arguments > 255 ? 255 : static_cast<int>(arguments);
}

} // namespace

TEST_F(WindowsInput, LongestCommandLineIsRecordedWhole) {
  std::wstring line = L"rec.exe";
  std::vector<std::wstring> arguments;
  for (int i = 0; line.size() < kLongestCommandLine; ++i) {
    const std::size_t room = kLongestCommandLine - line.size() - 1;
    std::wstring argument =
        std::to_wstring(i) + L"-" + std::wstring(500, static_cast<wchar_t>(L'a' + i % 26));
    argument.resize(std::min(argument.size(), room));
    if (argument.empty())
      break;
    line += L" " + argument;
    arguments.push_back(argument);
  }
  ASSERT_EQ(line.size(), kLongestCommandLine);
  const std::wstring folder = NewFolder();
  const Outcome outcome = RunIn(folder, line);
  EXPECT_EQ(outcome.status, static_cast<DWORD>(StatusFor(arguments.size())));
  ExpectOneLog(folder, outcome,
               launch::RecordOf(L"rec.exe", arguments, StatusFor(arguments.size())));
}

TEST_F(WindowsInput, MostArgumentsThatFitAreAllRecordedInOrder) {
  std::wstring line = L"r";
  std::vector<std::wstring> arguments;
  const std::wstring letters = L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  while (line.size() + 2 <= kLongestCommandLine) {
    arguments.push_back(letters.substr(arguments.size() % letters.size(), 1));
    line += L" " + arguments.back();
  }
  ASSERT_EQ(arguments.size(), 16'382u);
  const std::wstring folder = NewFolder();
  const Outcome outcome = RunIn(folder, line);
  EXPECT_EQ(outcome.status, 255u);
  ExpectOneLog(folder, outcome, launch::RecordOf(L"r", arguments, 255));
}

TEST_F(WindowsInput, BrokenUtf16IsWrittenAsTheCodeUnitsArrived) {
  const std::wstring folder = NewFolder();
  const Outcome outcome = RunIn(folder, L"r\xD800.exe \xD800 \xDC00 ab\xD83D \xDE00z "
                                        L"\xD83D\xDE00\xD800\xD83D\xDE00 \xDBFF\xDFFF\xDC00");
  EXPECT_EQ(outcome.status, 6u);
  ExpectOneLog(folder, outcome,
               expected::Log({u"Program = r\xD800.exe", u"ARG[1] = \xD800", u"ARG[2] = \xDC00",
                              u"ARG[3] = ab\xD83D", u"ARG[4] = \xDE00z",
                              u"ARG[5] = \xD83D\xDE00\xD800\xD83D\xDE00",
                              u"ARG[6] = \xDBFF\xDFFF\xDC00", u"ReturnCode = 6"}));
}

TEST_F(WindowsInput, LineBreaksAndByteOrderMarksInsideArgumentsAreKept) {
  const std::wstring folder = NewFolder();
  // Only spaces and tabs separate arguments; everything else, control characters included, is
  // part of one. The last arguments end right at the command line's NUL.
  const Outcome outcome =
      RunIn(folder, L"rec.exe cr\rcr lf\nlf crlf\r\nReturnCode\u0020=\u00200 \uFEFF \uFEFFlead "
                    L"\x0001\x001F\x007F end\\\\ \"open quote");
  EXPECT_EQ(outcome.status, 10u);
  const std::string log =
      expected::Log({u"Program = rec.exe", u"ARG[1] = cr\rcr", u"ARG[2] = lf\nlf",
                     u"ARG[3] = crlf\r\nReturnCode", u"ARG[4] = =", u"ARG[5] = 0",
                     u"ARG[6] = \uFEFF", u"ARG[7] = \uFEFFlead", u"ARG[8] = \x0001\x001F\x007F",
                     u"ARG[9] = end\\\\", u"ARG[10] = \"open quote\"", u"ReturnCode = 10"});
  ExpectOneLog(folder, outcome, log);
}

// The expected vectors follow the splitter's documented rules: blanks (space, tab) outside quotes
// separate arguments; 2n backslashes before a quote give n backslashes and the quote toggles
// quoting; 2n+1 give n backslashes and a literal quote; other backslashes are literal; inside
// quotes a doubled quote gives a literal quote and ends the quoted part; leading blanks make
// element 0 empty and trailing blanks are ignored; element 0 runs to the next blank, or when it
// starts with a quote to the next quote, with no backslash rules.
TEST_F(WindowsInput, QuotesAndBackslashesFollowTheWindowsSplitter) {
  const struct {
    std::wstring commandLine;
    std::wstring program;
    std::vector<std::wstring> arguments;
  } cases[] = {
      {LR"(rec.exe "a b" c)", L"rec.exe", {L"a b", L"c"}},
      {LR"(rec.exe a\b a\\b \\server\share\)",
       L"rec.exe",
       {LR"(a\b)", LR"(a\\b)", LR"(\\server\share\)"}},
      {LR"(rec.exe a\"b a\\\"b a\\\\\"b)", L"rec.exe", {LR"(a"b)", LR"(a\"b)", LR"(a\\"b)"}},
      {LR"(rec.exe "a\\" b)", L"rec.exe", {LR"(a\)", L"b"}},
      {LR"(rec.exe a\\"b c" d)", L"rec.exe", {LR"(a\b c)", L"d"}},
      {LR"(rec.exe "C:\temp\" next)", L"rec.exe", {LR"(C:\temp" next)"}},
      {LR"(rec.exe "C:\Program Files\\")", L"rec.exe", {LR"(C:\Program Files\)"}},
      {LR"(rec.exe "a""b c")", L"rec.exe", {LR"(a"b)", L"c"}},
      {LR"(rec.exe a""b "" c)", L"rec.exe", {L"ab", L"", L"c"}},
      {LR"(rec.exe "" "")", L"rec.exe", {L"", L""}},
      {LR"(rec.exe "open to the end)", L"rec.exe", {L"open to the end"}},
      {L"rec.exe a\tb\t\"c\td\"", L"rec.exe", {L"a", L"b", L"c\td"}},
      {L"rec.exe   a  \t  b \t ", L"rec.exe", {L"a", L"b"}},
      {L"  rec.exe a", L"", {L"rec.exe", L"a"}},
      {LR"("C:\Program Files\rec.exe" x)", LR"(C:\Program Files\rec.exe)", {L"x"}},
      {LR"(setup.exe /dir "C:\Program Files\App\" /quiet)",
       L"setup.exe",
       {L"/dir", LR"(C:\Program Files\App" /quiet)"}},
      {LR"(setup.exe /dir "C:\Program Files\App\\" /quiet)",
       L"setup.exe",
       {L"/dir", LR"(C:\Program Files\App\)", L"/quiet"}},
      {LR"("C:\dir\\" x)", LR"(C:\dir\\)", {L"x"}},
      {LR"(C:\odd"name.exe x)", LR"(C:\odd"name.exe)", {L"x"}},
  };
  for (const auto &c : cases) {
    const std::wstring folder = NewFolder();
    const Outcome outcome = RunIn(folder, c.commandLine);
    SCOPED_TRACE(launch::Narrow(c.commandLine));
    EXPECT_EQ(outcome.status, static_cast<DWORD>(StatusFor(c.arguments.size())));
    ExpectOneLog(folder, outcome,
                 launch::RecordOf(c.program, c.arguments, StatusFor(c.arguments.size())));
  }
}

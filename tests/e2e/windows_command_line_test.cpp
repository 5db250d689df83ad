// The portable splitters against Windows' own: CommandLineToArgvW called on hundreds of thousands
// of random lines in this process, and the C runtime's argv of a helper program started once per
// line on thousands, both on the documented examples too; then a cmd-form line run from a batch
// file by cmd, starting tarnwhistle.exe, whose log must hold exactly the list.
#include "tests/e2e/windows_launch.h"
#include "text/quote.h"

#include <shellapi.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

using List = std::vector<std::wstring>;
using text::SplitRules;

// Lines made mostly of what the splitters act on, and of units that are easy to mishandle.
std::wstring RandomLine(std::mt19937 &random) {
  static const std::vector<std::wstring> pieces = {
      L"\"", L"\"",     L"\"",     L"\"",           L"\\",     L"\\",     L"\\", L"\\",
      L" ",  L" ",      L" ",      L"\t",           L"\r",     L"\n",     L"a",  L"a",
      L"b",  L"\xD800", L"\xDC00", L"\xD83D\xDE00", L"\x000B", L"\u3000", L"^"};
  std::wstring line;
  for (std::size_t n = 1 + random() % 24; n > 0; --n)
    line += pieces[random() % pieces.size()];
  return line;
}

// Every documented example line, with a program before those that are arguments only.
const std::vector<std::wstring> kDocumentedLines = {
    LR"(p "a b c" d e)",
    LR"(p "ab\"c" "\\" d)",
    LR"(p a\\\b d"e f"g h)",
    LR"(p a\\\"b c d)",
    LR"(p a\\\\"b c" d e)",
    LR"(p "abc" d e)",
    LR"(p a\\b d"e f"g h)",
    LR"(p a"b"" c d)",
    LR"(p "a""b" c)",
    LR"("C:\Program Files\p.exe" x)",
    LR"("a b"c d)",
    LR"(a"b c"d e)",
    L"  p a \t ",
    LR"(setup.exe /dir "C:\Program Files\App\" /quiet)",
    LR"(setup.exe /dir "C:\Program Files\App\\" /quiet)",
};

std::string Shown(const std::wstring &units) {
  std::string shown;
  for (const wchar_t unit : units) {
    if (unit >= 0x20 && unit < 0x7F && unit != L'<') {
      shown.push_back(static_cast<char>(unit));
    } else {
      char escape[16];
      std::snprintf(escape, sizeof escape, "<%04X>", static_cast<unsigned>(unit));
      shown += escape;
    }
  }
  return shown;
}

std::string Shown(const List &list) {
  std::string shown;
  for (const std::wstring &element : list) {
    shown.push_back('[');
    shown += Shown(element);
    shown.push_back(']');
  }
  return shown;
}

List CommandLineToArgv(const std::wstring &line) {
  int count = 0;
  LPWSTR *arguments = CommandLineToArgvW(line.c_str(), &count);
  List list;
  if (arguments == nullptr)
    return list;
  for (int i = 0; i < count; ++i)
    list.emplace_back(arguments[i]);
  LocalFree(arguments);
  return list;
}

// Compares each line's lists and reports the disagreements, the first ones in full.
struct Tally {
  const char *what;
  std::size_t lines = 0, disagreements = 0;

  void Compare(const std::wstring &line, const List &windows, const List &portable) {
    ++lines;
    if (windows == portable)
      return;
    if (++disagreements <= 20)
      ADD_FAILURE() << what << " disagrees on " << Shown(line) << "\n  Windows:  " << Shown(windows)
                    << "\n  portable: " << Shown(portable);
  }
  ~Tally() { std::printf("%s: %zu lines, %zu disagreements\n", what, lines, disagreements); }
};

std::wstring Beside(const wchar_t *name) {
  const std::wstring recorder = launch::ProgramPath();
  return recorder.substr(0, recorder.rfind(L'\\') + 1) + name;
}

struct Helper {
  launch::Process process;
  HANDLE output = nullptr;
};

// Starts the helper on exactly this command line, its standard output into a pipe; no process
// when CreateProcessW refuses the line.
Helper StartHelper(const std::wstring &line) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
    return {};
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  std::vector<wchar_t> commandLine(line.begin(), line.end());
  commandLine.push_back(L'\0');
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  PROCESS_INFORMATION info = {};
  const std::wstring helper = Beside(L"write_arguments.exe");
  const bool started = CreateProcessW(helper.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                      nullptr, nullptr, &startup, &info);
  CloseHandle(writeEnd);
  if (!started) {
    CloseHandle(readEnd);
    return {};
  }
  return {{info.hProcess, info.hThread}, readEnd};
}

// What the helper wrote: its arguments, each ended by a zero unit.
List FinishHelper(Helper helper) {
  std::string bytes;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(helper.output, buffer, sizeof buffer, &got, nullptr) && got > 0)
    bytes.append(buffer, got);
  CloseHandle(helper.output);
  EXPECT_EQ(launch::Finish(helper.process), 0u);
  List list;
  std::wstring element;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto unit = static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                           static_cast<unsigned char>(bytes[i + 1]) << 8);
    if (unit == 0)
      list.push_back(std::move(element)), element.clear();
    else
      element.push_back(unit);
  }
  return list;
}

// The runtime the helper is built on: the Universal CRT with MSVC and MinGW-w64's UCRT builds,
// msvcrt.dll with the others.
constexpr bool kUniversalRuntime =
#if defined(_MSC_VER) || defined(_UCRT)
    true;
#else
    false;
#endif

// Wine's msvcrt.dll reads element 0 by the argument rules as well, where Microsoft's runtime
// has a rule of its own for it (quotes toggle and are dropped, backslashes are plain).
List WineRuntimeSplit(const std::wstring &line) {
  List list = text::SplitArguments(line, SplitRules::kRuntime);
  if (line.empty() || line[0] == L' ' || line[0] == L'\t')
    list.insert(list.begin(), L"");
  return list;
}

} // namespace

TEST(WindowsSplitter, AgreesWithTheRecordersRulesOnRandomLines) {
  Tally tally{"CommandLineToArgvW against the recorder's rules"};
  std::mt19937 random(20261208);
  for (int round = 0; round < 300'000; ++round) {
    const std::wstring line = RandomLine(random);
    tally.Compare(line, CommandLineToArgv(line),
                  text::SplitCommandLine(line, SplitRules::kRecorder));
  }
  for (const std::wstring &line : kDocumentedLines)
    tally.Compare(line, CommandLineToArgv(line),
                  text::SplitCommandLine(line, SplitRules::kRecorder));
  EXPECT_EQ(tally.disagreements, 0u);
}

// The C runtime splits its own command line once, at start: one process per line, a few started
// at a time.
TEST(WindowsSplitter, AgreesWithTheRuntimesRulesOnRandomLines) {
  if (!kUniversalRuntime && !launch::UnderWine())
    GTEST_SKIP() << "the helper is built on msvcrt.dll, whose splitter is older than the rules "
                    "modelled (those of the 2008 and later runtime)";
  std::vector<std::wstring> lines = kDocumentedLines;
  std::mt19937 random(20261209);
  while (lines.size() < 2'000)
    lines.push_back(RandomLine(random));
  Tally tally{kUniversalRuntime ? "the Universal CRT's argv against the runtime's rules"
                                : "msvcrt.dll's argv against the runtime's rules"};
  std::size_t refused = 0;
  constexpr std::size_t kAtOnce = 8;
  for (std::size_t first = 0; first < lines.size(); first += kAtOnce) {
    std::vector<Helper> helpers;
    for (std::size_t i = first; i < lines.size() && i < first + kAtOnce; ++i)
      helpers.push_back(StartHelper(lines[i]));
    for (std::size_t k = 0; k < helpers.size(); ++k) {
      const std::wstring &line = lines[first + k];
      if (helpers[k].process.process == nullptr) {
        // Wine's CreateProcessW fails on a few lines (ERROR_INTERNAL_ERROR): nothing to compare.
        EXPECT_TRUE(launch::UnderWine()) << "CreateProcessW refused " << Shown(line);
        ++refused;
        continue;
      }
      tally.Compare(line, FinishHelper(helpers[k]),
                    launch::UnderWine() ? WineRuntimeSplit(line)
                                        : text::SplitCommandLine(line, SplitRules::kRuntime));
    }
  }
  std::printf("lines CreateProcessW would not start: %zu\n", refused);
  EXPECT_EQ(tally.disagreements, 0u);
}

namespace {

using WindowsCmd = launch::Test;

} // namespace

// Each list goes through the cmd form into a batch file saved as UTF-8, which cmd runs after
// switching to code page 65001; the recorder it starts must log exactly the list.
TEST_F(WindowsCmd, BatchLineDeliversTheListToTheProgram) {
  std::vector<List> lists = {
      {L"plain", L"two words", L"", L"a\"b", LR"(C:\Program Files\App\)", L"say \"hi\" & exit"},
      {L"a&b", L"\"&calc", L"100%", L"%PATH%", L"%1", L"^", L"(x)", L"a b&c", L"<in>", L"|",
       L"!bang!"},
      {L"\"", LR"(\")", LR"(\\")", L"\"a \"\" b\"", L"^\"^", L"\"^&\"", L"\"<\" |", L"\t"},
  };
  // Wine's cmd cannot show these. It keeps the caret of ^^, ^( and ^) in a word where a quoted
  // part ends before it and another starts after it ("(" ) is written \"^(\" )); and it reads
  // batch lines in the OEM code page whatever chcp says.
  if (!launch::UnderWine()) {
    lists.push_back({L"\"(\" )", L"\"^\"", L"\"a\"^(\"b\""});
    lists.push_back({L"\u00E9t\u00E9", L"\u4E2D\u6587", L"\xD83D\xDE00", L"\u00A0"});
  }
  for (const List &arguments : lists) {
    List list = {launch::ProgramPath()};
    list.insert(list.end(), arguments.begin(), arguments.end());
    const text::QuotedLine quoted = text::QuoteCommandLine(list, text::QuoteForm::kCmd);
    ASSERT_EQ(quoted.refusal, text::Refusal::kNone) << Shown(list);
    SCOPED_TRACE(Shown(quoted.line));
    const std::wstring script = NewFolder() + L"run.cmd";
    launch::WriteFileBytes(script, "@echo off\r\nchcp 65001 >nul\r\n" +
                                       launch::Narrow(quoted.line) + "\r\n");
    const std::wstring folder = NewFolder();
    const Outcome outcome =
        RunIn(folder, L"cmd.exe /d /s /c \"\"" + script + L"\"\"", {}, launch::CmdPath());
    const int status = static_cast<int>(arguments.size());
    EXPECT_EQ(outcome.status, static_cast<DWORD>(status));
    ExpectOneLog(folder, outcome, launch::RecordOf(list[0], arguments, status));
  }
}

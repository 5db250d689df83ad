// Batch files as targets, judged by the system's own cmd: each quoted line is started by
// CreateProcess with no program named, so that it starts cmd for the batch file as any caller
// would, and the batch file forwards %* to tarnwhistle.exe, whose log must hold exactly the list
// while no command an element smuggles in runs. Then the batch view's parameters against what cmd
// gives a batch file that records them.
#include "recorder/exit_status.h"
#include "tests/e2e/windows_launch.h"
#include "text/batch_view.h"
#include "text/quote.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

using List = std::vector<std::wstring>;
using text::QuoteForm;

// Appended piece by piece: GCC 12 warns, wrongly, of overlapping copies in a literal added to a
// string.
std::string Shown(const List &list) {
  std::string shown;
  for (const std::wstring &element : list)
    shown.append(1, '[').append(launch::Narrow(element)).append(1, ']');
  return shown;
}

// A batch file of these lines, written with CRLF; ASCII but for the paths in it.
std::wstring WriteBatch(const std::wstring &path, const std::vector<std::wstring> &lines) {
  std::string bytes;
  for (const std::wstring &line : lines)
    bytes += launch::Narrow(line) + "\r\n";
  launch::WriteFileBytes(path, bytes);
  return path;
}

// The elements the tests pass; PWNED stands for the path of a file that only a command smuggled
// in would create. Each list holds an even number of quotes and no %.
const std::vector<List> kHostileLists = {
    {L"a&b", L"x|y", L"<in", L">out", L"(a)", L")", L"^", L"^^", L"a^&b", L"&echo x>PWNED"},
    {L"\"&echo x>PWNED", L"^\"&echo y>PWNED"},
    {LR"(C:\dir\)", LR"(a b\)", LR"(\\)", LR"(\"&echo z>PWNED\)", LR"("\)"},
    {L"say \"hi\" & bye", L"", L"\"a \"\"b\"", L"\" \"", L"\"|\"&\"|\""},
    {L"a,b", L"c;d", L"e=f", L"\t", L" ", L",", L"=x", L";", L"!PATH!", L"!"},
    {L"||echo w>PWNED", L"&&", L"2>PWNED", L"a\\\"&echo v>PWNED\\\"b"},
};

// Non-ASCII text reaches the batch file through the line of cmd /c, which cmd reads as Unicode;
// the cmd form's batch file would need its code page set, which Wine's cmd does not follow.
const List kText = {L"\u00E9t\u00E9", L"\u4E2D\u6587", L"\xD83D\xDE00", L"a \u00A0b"};

std::wstring Replaced(std::wstring text, std::wstring_view from, const std::wstring &to) {
  for (std::size_t at = text.find(from); at != std::wstring::npos; at = text.find(from, at))
    text.replace(at, from.size(), to), at += to.size();
  return text;
}

// How a batch file forwards %*: alone on its line, or with a redirection after it, which cmd must
// still act on, so that nothing after %* is taken into the arguments.
struct Forwarder {
  const wchar_t *name;
  const wchar_t *after; // what follows %* on the line; AFTER is the folder's after.txt
};
constexpr Forwarder kForwarders[] = {
    {L"run.bat", L""},
    {L"RUN.CMD", L" 2>\"AFTER\""},
};

class WindowsBatch : public launch::Test {
protected:
  // A folder of its own for the batch file and for anything a command would write, apart from
  // the one the log goes to, which must hold only the log. No blank in it, so that a smuggled
  // redirection would name the file as it is.
  std::wstring BatchFolder() {
    const std::wstring folder = NewFolder();
    EXPECT_EQ(folder.find(L' '), std::wstring::npos) << launch::Narrow(folder);
    return folder;
  }

  std::wstring WriteForwarder(const std::wstring &folder, const Forwarder &forwarder) {
    const std::wstring after = Replaced(forwarder.after, L"AFTER", folder + L"after.txt");
    return WriteBatch(folder + forwarder.name, {L"@\"" + launch::ProgramPath() + L"\" %*" + after});
  }

  // Starts the line, which names the batch file, and checks the log and the batch file's folder.
  void ExpectDelivered(const std::wstring &line, const std::wstring &folder,
                       const Forwarder &forwarder, const List &arguments) {
    SCOPED_TRACE(launch::Narrow(line));
    const std::wstring logs = NewFolder();
    const Outcome outcome = RunIn(logs, line, {}, L"");
    const int count = static_cast<int>(arguments.size());
    EXPECT_EQ(outcome.status, static_cast<DWORD>(count));
    ExpectOneLog(logs, outcome, launch::RecordOf(launch::ProgramPath(), arguments, count));
    std::vector<std::wstring> files = {forwarder.name};
    if (*forwarder.after != L'\0')
      files.push_back(L"after.txt");
    std::sort(files.begin(), files.end());
    EXPECT_EQ(launch::FilesIn(folder), files) << "files in " << launch::Narrow(folder);
  }
};

} // namespace

// The createprocess and arguments lines, started with no program named as a caller would.
TEST_F(WindowsBatch, CreateProcessLinesHandOnTheListAndRunNothingElse) {
  std::vector<List> lists = kHostileLists;
  lists.push_back(kText);
  for (const Forwarder &forwarder : kForwarders) {
    for (const List &hostile : lists) {
      for (const QuoteForm form : {QuoteForm::kCreateProcess, QuoteForm::kArguments}) {
        const std::wstring folder = BatchFolder();
        const std::wstring batch = WriteForwarder(folder, forwarder);
        List list = {batch};
        for (const std::wstring &element : hostile)
          list.push_back(Replaced(element, L"PWNED", folder + L"pwned.txt"));
        const text::QuotedLine quoted = text::QuoteCommandLine(list, form);
        ASSERT_EQ(quoted.refusal, text::Refusal::kNone) << Shown(list);
        const std::wstring line =
            form == QuoteForm::kArguments ? L"\"" + batch + L"\" " + quoted.line : quoted.line;
        ExpectDelivered(line, folder, forwarder, List(list.begin() + 1, list.end()));
      }
    }
  }
}

// The cmd form's line in a batch file, which starts the forwarding one without call.
TEST_F(WindowsBatch, CmdLinesHandOnTheListAndRunNothingElse) {
  for (const Forwarder &forwarder : kForwarders) {
    for (const List &hostile : kHostileLists) {
      const std::wstring folder = BatchFolder();
      List list = {WriteForwarder(folder, forwarder)};
      for (const std::wstring &element : hostile)
        list.push_back(Replaced(element, L"PWNED", folder + L"pwned.txt"));
      const text::QuotedLine quoted = text::QuoteCommandLine(list, QuoteForm::kCmd);
      ASSERT_EQ(quoted.refusal, text::Refusal::kNone) << Shown(list);
      const std::wstring callers = NewFolder();
      const std::wstring caller = WriteBatch(callers + L"caller.cmd", {L"@echo off", quoted.line});
      ExpectDelivered(L"\"" + caller + L"\"", folder, forwarder,
                      List(list.begin() + 1, list.end()));
    }
  }
}

// Where Wine and Windows differ: a lone % in a batch file's arguments. Windows pastes the text of
// %* as it stands; Wine's cmd expands it again before it reads the line, so that a lone % goes,
// and %~2 brings in the second argument without its quotes, with what cmd then acts on. That is
// why every % is refused.
TEST_F(WindowsBatch, ALonePercentReachesAForwardingBatchFileOnlyOnWindows) {
  const struct {
    std::wstring arguments; // after the batch file's name; PWNED as above
    List windows, wine;     // what arrives
    bool wineRunsMore;      // whether Wine's cmd runs the command smuggled in
  } cases[] = {
      {L"100%", {L"100%"}, {L"100"}, false},
      {L"%~2 \"&echo x>PWNED\"", {L"%~2", L"&echo x>PWNED"}, {}, true},
  };
  for (const auto &c : cases) {
    const std::wstring folder = BatchFolder();
    const std::wstring batch = WriteForwarder(folder, kForwarders[0]);
    const std::wstring pwned = folder + L"pwned.txt";
    const std::wstring line = L"\"" + batch + L"\" " + Replaced(c.arguments, L"PWNED", pwned);
    SCOPED_TRACE(launch::Narrow(line));
    const std::wstring logs = NewFolder();
    const Outcome outcome = RunIn(logs, line, {}, L"");
    List arrives = launch::UnderWine() ? c.wine : c.windows;
    for (std::wstring &argument : arrives)
      argument = Replaced(argument, L"PWNED", pwned);
    const int status = arrives.empty() ? recorder::kNoArguments : static_cast<int>(arrives.size());
    ExpectOneLog(logs, outcome, launch::RecordOf(launch::ProgramPath(), arrives, status));
    EXPECT_EQ(GetFileAttributesW(pwned.c_str()) != INVALID_FILE_ATTRIBUTES,
              launch::UnderWine() && c.wineRunsMore);
  }
}

namespace {

// What a batch file got, as it recorded it with set (which writes a value as it is, where echo
// would act on it): %0 to %9 (an absent one is empty) and %*.
struct Recorded {
  List parameters;
  std::wstring rest;
};

Recorded ReadRecorded(const std::string &bytes) {
  Recorded recorded = {List(10), L""};
  for (std::size_t start = 0, end = 0; start < bytes.size(); start = end + 2) {
    end = bytes.find("\r\n", start);
    if (end == std::string::npos)
      end = bytes.size();
    const std::string line = bytes.substr(start, end - start);
    const std::wstring value(line.begin() + std::min<std::size_t>(4, line.size()), line.end());
    if (line.starts_with("P_R="))
      recorded.rest = value;
    else if (line.size() >= 4 && line.starts_with("P_") && line[3] == '=' && line[2] >= '0' &&
             line[2] <= '9')
      recorded.parameters[static_cast<std::size_t>(line[2] - '0')] = value;
  }
  return recorded;
}

// Lines of what a batch file's parameters are split by: quotes, blanks, , ; = and parentheses.
std::wstring RandomArguments(std::mt19937 &random) {
  static const std::wstring pieces[] = {L"a", L"b", L"\"", L"\"", L" ", L"  ", L"\t",
                                        L",", L";", L"=",  L"\\", L"(", L")",  L"ab"};
  std::wstring text = L"a";
  for (std::size_t n = random() % 12; n > 0; --n)
    text += pieces[random() % std::size(pieces)];
  // Where %* would start or end with a blank, Windows' cmd is not known to keep it as Wine does.
  while (text.back() == L' ' || text.back() == L'\t')
    text.pop_back();
  return text;
}

} // namespace

// The batch view against cmd, on ASCII lines without ^, % or !, where Wine reads like Windows.
// No pipe: Windows runs each side of one in a cmd of its own, with a command line it makes.
TEST_F(WindowsBatch, ViewShowsTheParametersCmdGives) {
  const std::wstring folder = BatchFolder();
  const std::wstring record = folder + L"params.txt";
  std::vector<std::wstring> lines = {L"@set P_0=%0"};
  for (int k = 1; k <= 9; ++k)
    lines.push_back(L"@set P_" + std::to_wstring(k) + L"=%" + std::to_wstring(k));
  lines.push_back(L"@set P_R=%*");
  lines.push_back(L"@set P_>\"" + record + L"\"");
  const std::wstring program = L"\"" + WriteBatch(folder + L"rec.bat", lines) + L"\"";
  std::vector<std::wstring> arguments = {L"a \"b c\" d,e;f=g\th",
                                         L"a & echo b",
                                         L"a >\"" + folder + L"out.txt\" b",
                                         L"a 2>&1 b",
                                         L"\"a&b\" \"c|d\" \"<e>\"",
                                         L"a\"b c\"d e",
                                         L"a\\\"b c",
                                         L"(a) a)b"};
  std::mt19937 random(20261210);
  while (arguments.size() < 120)
    arguments.push_back(RandomArguments(random));
  for (const std::wstring &argumentsPart : arguments) {
    const std::wstring line = program + L" " + argumentsPart;
    SCOPED_TRACE(launch::Narrow(line));
    DeleteFileW(record.c_str());
    EXPECT_EQ(launch::Run(line, {}, L""), 0u);
    const std::optional<text::BatchView> view = text::ViewBatchLine(line);
    ASSERT_TRUE(view.has_value());
    const Recorded recorded = ReadRecorded(launch::ReadFileBytes(record));
    List expected = view->parameters;
    expected.resize(10);
    EXPECT_EQ(recorded.parameters, expected);
    EXPECT_EQ(recorded.rest, view->rest);
  }
}

// Where Wine and Windows differ: Windows' cmd sets CMDCMDLINE to its own command line, which
// shows how CreateProcess wraps a batch file's line (cmd /c "LINE"); Wine's cmd sets no such
// variable, and wraps it as /s/c "LINE", as its trace of process starts shows.
TEST_F(WindowsBatch, CmdShowsHowItWasStartedOnlyOnWindows) {
  const std::wstring folder = BatchFolder();
  const std::wstring record = folder + L"cmdline.txt";
  const std::wstring batch = WriteBatch(
      folder + L"show.bat", {L"@set \"C_=%CMDCMDLINE%\"", L"@set C_>\"" + record + L"\" 2>nul"});
  const std::wstring line = L"\"" + batch + L"\" \"a b\" c";
  launch::Run(line, {}, L"");
  const std::string bytes = launch::ReadFileBytes(record);
  if (launch::UnderWine()) {
    EXPECT_EQ(bytes, "");
    return;
  }
  const std::string wrapped = std::string(1, '"').append(launch::Narrow(line)).append("\"\r\n");
  ASSERT_GE(bytes.size(), wrapped.size()) << bytes;
  EXPECT_EQ(bytes.substr(bytes.size() - wrapped.size()), wrapped) << bytes;
  std::string lower = bytes;
  for (char &c : lower)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_NE(lower.find(" /c "), std::string::npos) << bytes;
}

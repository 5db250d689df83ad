// The real tarnwhistle-read.exe on what the real tarnwhistle.exe wrote.
#include "tests/e2e/windows_launch.h"

#include <aclapi.h>
#include <sddl.h>

#include <string>
#include <vector>

namespace {

using WindowsReader = launch::Test;

// Arguments as a command line: quotes, backslashes, line structure, invisible characters, broken
// UTF-16 and the reader's own options. The reader splits its command line as the recorder does.
const std::wstring kHardArguments =
    L"alpha \"two words\" \"\" \"tab\there\" \"say \\\"hi\\\"\" \"C:\\Program Files\\\\\" a\\\\b "
    L"\"line\r\nARG[5] = forged\" \u00A0\uFEFF \xD800x \xD83D\xDE00 -0 --expect \"<LF>\" --";

std::wstring ReaderPath() {
  const std::wstring recorder = launch::ProgramPath();
  return recorder.substr(0, recorder.rfind(L'\\') + 1) + L"tarnwhistle-read.exe";
}

struct Read {
  DWORD status;
  std::string output;
};

// Runs the reader with TMP set to the folder and collects its standard output.
Read ReadIn(const std::wstring &folder, const std::wstring &arguments) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE readEnd, writeEnd;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
    return {0xDEAD, ""};
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  const launch::Process process =
      launch::Start(L"tarnwhistle-read.exe " + arguments, {{L"TMP", folder}}, false, writeEnd,
                    writeEnd, ReaderPath());
  CloseHandle(writeEnd);
  Read read = {0, ""};
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0)
    read.output.append(buffer, got);
  CloseHandle(readEnd);
  read.status = launch::Finish(process);
  return read;
}

// An account as the reader should show it: its SID, and "DOMAIN\name" where it has a name.
struct Account {
  std::wstring sid, name;
};

Account AccountOf(PSID sid) {
  Account account;
  wchar_t *text = nullptr;
  if (ConvertSidToStringSidW(sid, &text))
    account.sid = text;
  LocalFree(text);
  wchar_t name[256], domain[256];
  DWORD nameSize = 256, domainSize = 256;
  SID_NAME_USE use;
  account.name = LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use)
                     ? (domainSize > 0 ? std::wstring(domain) + L"\\" : L"") + name
                     : account.sid;
  return account;
}

Account OwnerOf(const std::wstring &path) {
  const HANDLE file = CreateFileW(path.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  Account account;
  if (GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                      nullptr, &descriptor) == ERROR_SUCCESS)
    account = AccountOf(owner);
  LocalFree(descriptor);
  CloseHandle(file);
  return account;
}

// The text as a JSON string's content.
std::string InJson(const std::wstring &text) {
  std::string json;
  for (const char c : launch::Narrow(text))
    json += c == '\\' ? std::string("\\\\") : std::string(1, c);
  return json;
}

} // namespace

TEST_F(WindowsReader, GivesBackExactlyTheArgumentsTheRecorderReceived) {
  const std::wstring folder = NewFolder();
  EXPECT_EQ(RunIn(folder, L"rec.exe " + kHardArguments).status, 15u);

  Read read = ReadIn(folder, L"--expect -- " + kHardArguments);
  EXPECT_EQ(read.status, 0u) << read.output;
  EXPECT_EQ(read.output, "");

  std::wstring other = kHardArguments;
  other.replace(other.find(L"a\\\\b"), 4, L"a\\b");
  read = ReadIn(folder, L"--expect -- " + other);
  EXPECT_EQ(read.status, 1u);
  EXPECT_NE(read.output.find("ARG[7] differs: expected [a\\b], found [a\\\\b]"), std::string::npos)
      << read.output;
}

TEST_F(WindowsReader, WaitsForTheLogOfARunStartedAfterIt) {
  const std::wstring folder = NewFolder();
  const launch::Process reader =
      launch::Start(L"tarnwhistle-read.exe --wait 60 --expect -- a \"b c\"", {{L"TMP", folder}},
                    false, nullptr, nullptr, ReaderPath());
  EXPECT_EQ(RunIn(folder, L"rec.exe a \"b c\"").status, 2u);
  EXPECT_EQ(launch::Finish(reader), 0u);
}

TEST_F(WindowsReader, SearchTakesOnlyTrustedOwnersLogsAndEveryViewShowsTheOwner) {
  const std::wstring folder = NewFolder(), foreignOnly = NewFolder();
  RunIn(folder, L"rec.exe mine");
  const std::wstring own = launch::FilesIn(folder).at(0);
  const Account self = OwnerOf(folder + own);
  // Under Wine a file of another Unix user shows another owner; only root can plant one.
  const std::vector<std::wstring> foreign = launch::ForeignFiles();
  const std::wstring planted = L"Tarnwhistle_2001-01-01_00-00-01.log";
  Account other;
  if (foreign.size() >= 2) {
    const std::string bytes = launch::ReadFileBytes(folder + own);
    for (const std::wstring &path : {folder + planted, foreignOnly + planted}) {
      const std::wstring &file = foreign[path.starts_with(folder) ? foreign.size() - 1 : 0];
      ASSERT_TRUE(MoveFileW(file.c_str(), path.c_str())) << launch::Narrow(path);
      // Written after the reader's own log, so the newer of the two.
      launch::WriteFileBytes(path, bytes);
    }
    other = OwnerOf(folder + planted);
    ASSERT_NE(other.sid, self.sid);
  }
  const struct {
    bool foreignOnly;
    std::wstring arguments;
    DWORD status;
    std::string shows;
  } cases[] = {
      {false, L"", 0, launch::Narrow(own + L"\nTime: ")},
      {false, L"", 0, "\nOwner: " + launch::Narrow(self.name) + "\nProgram: [rec.exe]\n"},
      {false, L"--json", 0, "\"owner\":\"" + InJson(self.name) + "\",\"program\":\"rec.exe\""},
      {false, L"--list --dir " + folder, 0,
       "  1 argument  " + launch::Narrow(self.name) + "  " + launch::Narrow(folder + own)},
      {false, L"--owner \"no such account\"", 2, "--owner no such account: no such account"},
      {true, L"--dir " + folder, 0, launch::Narrow(own + L"\n")},
      {true, L"--dir " + folder + L" --owner " + other.sid + L" --json", 0,
       "\"owner\":\"" + InJson(other.name) + "\""},
      {true, folder + planted, 0, "\nOwner: " + launch::Narrow(other.name) + "\n"},
      {true, L"--dir " + foreignOnly, 2,
       "no Tarnwhistle_*.log files of yours or of the system's own accounts; passed over those "
       "of " +
           launch::Narrow(other.name) + " (--owner ACCOUNT takes an account's logs)"},
  };
  int skipped = 0;
  for (const auto &c : cases) {
    if (c.foreignOnly && other.sid.empty()) {
      ++skipped;
      continue;
    }
    const Read read = ReadIn(folder, c.arguments);
    EXPECT_EQ(read.status, c.status) << launch::Narrow(c.arguments) << "\n" << read.output;
    EXPECT_NE(read.output.find(c.shows), std::string::npos)
        << launch::Narrow(c.arguments) << "\nexpected: " << c.shows << "\nfound: " << read.output;
  }
  if (skipped > 0)
    GTEST_SKIP() << skipped << " rows need files of another user (the fixture that plants them "
                 << "needs root)";
}

TEST_F(WindowsReader, WaitTakesTheLogOfALauncherStartedAtOnceAndNeverThePassBefores) {
  const std::wstring folder = NewFolder();
  // A script's loop: the reader in the background, the launcher straight after, no pause. Each
  // round expects its own arguments, so taking the round before's log fails the check.
  for (int round = 0; round < 30; ++round) {
    const std::wstring arguments = L"round " + std::to_wstring(round);
    const launch::Process reader =
        launch::Start(L"tarnwhistle-read.exe --wait 60 --expect -- " + arguments,
                      {{L"TMP", folder}}, false, nullptr, nullptr, ReaderPath());
    RunIn(folder, L"rec.exe " + arguments);
    EXPECT_EQ(launch::Finish(reader), 0u) << "round " << round;
  }
  // A reader started the moment the last one ended sees no new log.
  const Read read = ReadIn(folder, L"--wait 1 --json");
  EXPECT_EQ(read.status, 2u) << read.output;
  EXPECT_NE(read.output.find("no new log within 1 second"), std::string::npos) << read.output;
}

// Each Windows form of --quote, printed by the real reader and used as it is meant to be: the
// recorder started by CreateProcess with the line, with the program before the arguments line,
// and from a batch file by cmd, must receive exactly the list.
TEST_F(WindowsReader, QuotesALineThatDeliversTheListInEachForm) {
  const std::wstring given = L"\"two words\" \"\" \"a\\\"b\" \"C:\\Program Files\\App\\\\\" 100% "
                             L"a&b (x) \"say \\\"hi\\\" & exit\" ^";
  const std::vector<std::wstring> arguments = {
      L"two words",         L"", L"a\"b", L"C:\\Program Files\\App\\", L"100%", L"a&b", L"(x)",
      L"say \"hi\" & exit", L"^"};
  const int status = static_cast<int>(arguments.size());
  const std::wstring program = launch::ProgramPath();
  const auto quoted = [&](const std::wstring &form, const std::wstring &element0) {
    const Read read =
        ReadIn(NewFolder(), L"--quote=" + form + L" --args \"" + element0 + L"\" " + given);
    EXPECT_EQ(read.status, 0u) << read.output;
    EXPECT_TRUE(read.output.ends_with("\n")) << read.output;
    std::wstring line(read.output.begin(), read.output.end() - (read.output.empty() ? 0 : 1));
    return line;
  };

  std::wstring folder = NewFolder();
  Outcome outcome = RunIn(folder, quoted(L"createprocess", program));
  EXPECT_EQ(outcome.status, static_cast<DWORD>(status));
  ExpectOneLog(folder, outcome, launch::RecordOf(program, arguments, status));

  folder = NewFolder();
  outcome = RunIn(folder, L"rec.exe " + quoted(L"arguments", L"rec.exe"));
  ExpectOneLog(folder, outcome, launch::RecordOf(L"rec.exe", arguments, status));

  const std::wstring script = NewFolder() + L"run.cmd";
  launch::WriteFileBytes(script,
                         "@echo off\r\n" + launch::Narrow(quoted(L"cmd", program)) + "\r\n");
  folder = NewFolder();
  outcome = RunIn(folder, L"cmd.exe /d /s /c \"\"" + script + L"\"\"", {}, launch::CmdPath());
  EXPECT_EQ(outcome.status, static_cast<DWORD>(status));
  ExpectOneLog(folder, outcome, launch::RecordOf(program, arguments, status));
}

// What tarnwhistle.exe does when it cannot do its job: the status, and nothing written anywhere.
#include "tests/e2e/windows_launch.h"
#include "tests/record_bytes.h"

#include <aclapi.h>
#include <sddl.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using launch::Narrow;
using WindowsFailure = launch::Test;

// Every name a run started now could give its log, a little before and well after.
std::vector<std::wstring> NamesOfTheComingSeconds() {
  std::vector<std::wstring> names;
  for (int second = -1; second <= 30; ++second)
    names.push_back(L"Tarnwhistle_" + launch::LocalTimestamp(second) + L".log");
  return names;
}

// Logs named for the run's seconds that appeared in a folder.
std::vector<std::wstring> LogsOfTheRun(const std::wstring &folder, const std::wstring &before,
                                       const std::wstring &after) {
  std::vector<std::wstring> logs;
  for (const std::wstring &name : launch::FilesIn(folder))
    if (name.starts_with(L"Tarnwhistle_") && name >= L"Tarnwhistle_" + before &&
        name <= L"Tarnwhistle_" + after + L".log")
      logs.push_back(name);
  return logs;
}

// A folder inside this one whose path, without its final backslash, has exactly this length.
std::wstring NestedFolder(std::wstring folder, std::size_t length) {
  folder.pop_back();
  while (folder.size() < length) {
    // Components of at most 60 units, never leaving a remainder too short for one more.
    const std::size_t remaining = length - folder.size();
    folder += L"\\" + std::wstring(remaining <= 61 ? remaining - 1
                                                   : std::min<std::size_t>(60, remaining - 3),
                                   L'd');
    EXPECT_TRUE(launch::MakeFolder(folder)) << Narrow(folder);
  }
  return folder;
}

// What a run must leave as it was at a path: its kind, number of names, owner and content.
std::string Describe(const std::wstring &path) {
  const HANDLE handle = CreateFileW(path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE)
    return "nothing";
  BY_HANDLE_FILE_INFORMATION information = {};
  GetFileInformationByHandle(handle, &information);
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  wchar_t *ownerText = nullptr;
  if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                      nullptr, &descriptor) == ERROR_SUCCESS)
    ConvertSidToStringSidW(owner, &ownerText);
  CloseHandle(handle);
  const bool directory = information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
  std::string text = directory ? "directory" : "file";
  text += ", names: " + std::to_string(information.nNumberOfLinks);
  text += ", owner: " + (ownerText ? Narrow(ownerText) : std::string("?"));
  if (directory)
    text += ", entries: " + std::to_string(launch::FilesIn(path + L"\\").size());
  else
    text += ", bytes: " + launch::ReadFileBytes(path);
  LocalFree(ownerText);
  LocalFree(descriptor);
  return text;
}

} // namespace

TEST_F(WindowsFailure, AnythingPlantedAtTheLogNameIsLeftAsItWasWithTwentyOne) {
  const std::vector<std::wstring> foreign = launch::ForeignFiles();
  const std::vector<std::wstring> names = NamesOfTheComingSeconds();
  // Symbolic links cannot be shown here: Wine follows them whatever the flags.
  const struct {
    const char *kind;
    bool available;
    std::function<bool(const std::wstring &folder, std::size_t i)> plant;
  } cases[] = {
      {"a hard link to a file kept elsewhere", true,
       [&](const std::wstring &folder, std::size_t i) {
         if (i == 0)
           launch::WriteFileBytes(folder + L"precious", "precious");
         return CreateHardLinkW((folder + names[i]).c_str(), (folder + L"precious").c_str(),
                                nullptr) != FALSE;
       }},
      {"another user's file", foreign.size() >= names.size(),
       [&](const std::wstring &folder, std::size_t i) {
         return MoveFileW(foreign[i].c_str(), (folder + names[i]).c_str()) != FALSE;
       }},
      {"a directory", true,
       [&](const std::wstring &folder, std::size_t i) {
         return CreateDirectoryW((folder + names[i]).c_str(), nullptr) != FALSE;
       }},
  };
  std::vector<std::string> skipped;
  for (const auto &c : cases) {
    if (!c.available) {
      skipped.push_back(c.kind);
      continue;
    }
    const std::wstring folder = NewFolder();
    bool planted = true;
    for (std::size_t i = 0; i < names.size() && planted; ++i)
      planted = c.plant(folder, i);
    ASSERT_TRUE(planted) << c.kind << ": error " << GetLastError();
    std::vector<std::string> before;
    for (const std::wstring &name : launch::FilesIn(folder))
      before.push_back(Narrow(name) + ": " + Describe(folder + name));
    const Outcome outcome = RunIn(folder, L"rec.exe secret");
    EXPECT_EQ(outcome.status, 21u) << c.kind;
    std::vector<std::string> after;
    for (const std::wstring &name : launch::FilesIn(folder))
      after.push_back(Narrow(name) + ": " + Describe(folder + name));
    EXPECT_EQ(after, before) << c.kind;
  }
  if (!skipped.empty())
    GTEST_SKIP() << "not planted: " << skipped[0] << " (the fixture that plants them needs root)";
}

TEST_F(WindowsFailure, TemporaryDirectoryOf259UnitsIsAcceptedAndLongerOnesGiveTwenty) {
  // TMP without its final backslash, which GetTempPathW adds: Wine refuses a 259-unit TMP that
  // already ends in one, while Windows returns it as it is.
  const std::wstring fits = NestedFolder(NewFolder(), 258);
  Outcome outcome = RunIn(fits, L"rec.exe fits");
  // Windows refuses the 294-unit log path unless long paths are enabled: then the run gives 21.
  EXPECT_NE(outcome.status, 20u) << "a 259-unit directory was refused";
  if (outcome.status == 21)
    EXPECT_EQ(launch::FilesIn(fits + L"\\"), std::vector<std::wstring>{});
  else
    ExpectOneLog(fits + L"\\", outcome,
                 expected::Log({u"Program = rec.exe", u"ARG[1] = fits", u"ReturnCode = 1"}));

  for (const std::size_t length : {259u, 260u, 300u}) {
    const std::wstring named = NestedFolder(NewFolder(), length) + L"\\";
    const std::wstring parent = named.substr(0, named.rfind(L'\\', named.size() - 2) + 1);
    outcome = RunIn(named, L"rec.exe too long");
    EXPECT_EQ(outcome.status, 20u) << length + 1 << " units";
    for (const std::wstring &folder : {named, parent, launch::DefaultTempDirectory()})
      EXPECT_EQ(LogsOfTheRun(folder, outcome.before, outcome.after), std::vector<std::wstring>{})
          << "in " << Narrow(folder) << " for " << length + 1 << " units";
  }
}

TEST_F(WindowsFailure, MissingTemporaryDirectoryGivesTwentyOne) {
  const std::wstring folder = NewFolder();
  const Outcome outcome = RunIn(folder + L"missing\\", L"rec.exe x");
  EXPECT_EQ(outcome.status, 21u);
  EXPECT_EQ(launch::FilesIn(folder), std::vector<std::wstring>{});
}

TEST_F(WindowsFailure, LogHeldOpenWithoutWriteSharingIsLeftAloneWithTwentyOne) {
  const std::wstring folder = NewFolder();
  const std::vector<std::wstring> names = NamesOfTheComingSeconds();
  std::vector<HANDLE> held;
  for (const std::wstring &name : names) {
    const HANDLE file = CreateFileW((folder + name).c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << Narrow(name);
    const std::string content = "held: " + Narrow(name);
    DWORD written = 0;
    WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    held.push_back(file);
  }
  const Outcome outcome = RunIn(folder, L"rec.exe x");
  EXPECT_EQ(outcome.status, 21u);
  for (const HANDLE file : held)
    CloseHandle(file);
  for (const std::wstring &name : names)
    EXPECT_EQ(launch::ReadFileBytes(folder + name), "held: " + Narrow(name));
}

TEST_F(WindowsFailure, TemporaryDirectoryThatCannotHoldFilesGivesTwentyOne) {
  const std::wstring folder = NewFolder();
  launch::WriteFileBytes(folder + L"plain-file", "not a folder");
  // Nobody can create files under /proc, root included; Wine shows it as Z:\proc.
  for (const std::wstring &tmp : {folder + L"plain-file\\", std::wstring(L"Z:\\proc\\")}) {
    const Outcome outcome = RunIn(tmp, L"rec.exe x");
    EXPECT_EQ(outcome.status, 21u) << Narrow(tmp);
    EXPECT_EQ(LogsOfTheRun(tmp, outcome.before, outcome.after), std::vector<std::wstring>{})
        << Narrow(tmp);
    EXPECT_EQ(LogsOfTheRun(launch::DefaultTempDirectory(), outcome.before, outcome.after),
              std::vector<std::wstring>{});
  }
  EXPECT_EQ(launch::FilesIn(folder), std::vector<std::wstring>{L"plain-file"});
  EXPECT_EQ(launch::ReadFileBytes(folder + L"plain-file"), "not a folder");
}

TEST_F(WindowsFailure, ClosedLogOfTheSameNameIsReplacedNotAppendedTo) {
  const std::wstring folder = NewFolder();
  const std::vector<std::wstring> names = NamesOfTheComingSeconds();
  const std::string old(4096, 'X');
  for (const std::wstring &name : names)
    launch::WriteFileBytes(folder + name, old);
  const Outcome outcome = RunIn(folder, L"rec.exe new");
  EXPECT_EQ(outcome.status, 1u);
  int replaced = 0;
  for (const std::wstring &name : names) {
    const std::string bytes = launch::ReadFileBytes(folder + name);
    if (bytes == old)
      continue;
    ++replaced;
    EXPECT_TRUE(launch::SameBytes(
        bytes, expected::Log({u"Program = rec.exe", u"ARG[1] = new", u"ReturnCode = 1"})));
    // Shown on Windows only. Wine turns a list set on an existing file into a wider Unix mode
    // (0644 becomes 0775) and reads back a list made from that mode, not the one set.
    if (!launch::UnderWine())
      launch::ExpectPrivate(folder + name);
  }
  EXPECT_EQ(replaced, 1);
}

TEST_F(WindowsFailure, WritesNothingToStandardOutputOrErrorPipes) {
  const std::wstring folder = NewFolder();
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE outputRead, outputWrite, errorRead, errorWrite;
  ASSERT_TRUE(CreatePipe(&outputRead, &outputWrite, &inherit, 0));
  ASSERT_TRUE(CreatePipe(&errorRead, &errorWrite, &inherit, 0));
  SetHandleInformation(outputRead, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(errorRead, HANDLE_FLAG_INHERIT, 0);
  // Every path: a record, a missing folder (21) and a directory too long for the buffer (20).
  const std::wstring tmps[] = {folder, folder + L"missing\\", L"C:\\" + std::wstring(300, L'x')};
  const DWORD statuses[] = {2, 21, 20};
  for (std::size_t i = 0; i < 3; ++i) {
    const launch::Process process = launch::Start(L"rec.exe --help \"/?\"", {{L"TMP", tmps[i]}},
                                                  false, outputWrite, errorWrite);
    EXPECT_EQ(launch::Finish(process), statuses[i]);
  }
  CloseHandle(outputWrite);
  CloseHandle(errorWrite);
  for (const HANDLE pipe : {outputRead, errorRead}) {
    char buffer[256];
    DWORD read = 0;
    std::string received;
    while (ReadFile(pipe, buffer, sizeof buffer, &read, nullptr) && read > 0)
      received.append(buffer, read);
    EXPECT_EQ(received, "");
    CloseHandle(pipe);
  }
}

TEST_F(WindowsFailure, ConcurrentRunsEachWriteACompleteRecordOrGiveTwentyOne) {
  constexpr int kRuns = 16;
  const std::wstring folder = NewFolder();
  const std::string record = expected::Log(
      {u"Program = rec.exe", u"ARG[1] = same", u"ARG[2] = \"two words\"", u"ReturnCode = 2"});
  std::vector<launch::Process> processes;
  for (int i = 0; i < kRuns; ++i)
    processes.push_back(launch::Start(L"rec.exe same \"two words\"", {{L"TMP", folder}}, true));
  const std::wstring before = launch::LocalTimestamp();
  for (const launch::Process &process : processes)
    ResumeThread(process.thread);
  int wrote = 0, refused = 0, other = 0;
  for (const launch::Process &process : processes) {
    const DWORD status = launch::Finish(process);
    (status == 2 ? wrote : status == 21 ? refused : other)++;
  }
  const std::wstring after = launch::LocalTimestamp();
  const std::vector<std::wstring> files = launch::FilesIn(folder);
  const std::string tally = std::to_string(kRuns) + " runs: " + std::to_string(wrote) + " wrote, " +
                            std::to_string(refused) + " gave 21, " + std::to_string(other) +
                            " other; " + std::to_string(files.size()) + " files for the seconds " +
                            Narrow(before) + " to " + Narrow(after);
  EXPECT_EQ(other, 0) << tally;
  EXPECT_GE(wrote, 1) << tally;
  EXPECT_GE(files.size(), 1u) << tally;
  EXPECT_LE(files.size(), static_cast<std::size_t>(wrote)) << tally;
  for (const std::wstring &name : files) {
    EXPECT_TRUE(launch::SameBytes(launch::ReadFileBytes(folder + name), record))
        << Narrow(name) << "; " << tally;
    const std::wstring stamp = launch::StampOf(name);
    EXPECT_TRUE(before <= stamp && stamp <= after) << Narrow(name) << "; " << tally;
  }
}

// Running the real tarnwhistle.exe from a Windows test program.
#include "tests/e2e/windows_launch.h"
#include "recorder/log_name.h"
#include "tests/record_bytes.h"

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <iterator>
#include <memory>

namespace launch {

namespace {

std::wstring NameOf(const std::wstring &entry) {
  // Entries such as "=C:=C:\dir" start with '=': their name runs to the second one.
  const std::size_t equals = entry.find(L'=', 1);
  return entry.substr(0, equals);
}

bool SameName(const std::wstring &a, const std::wstring &b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// Paths past MAX_PATH need the \\?\ form in the calls the tests make themselves.
std::wstring Extended(const std::wstring &path) {
  return path.size() >= 240 && path[1] == L':' ? L"\\\\?\\" + path : path;
}

} // namespace

std::wstring ProgramPath() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring self(path, length);
  return self.substr(0, self.find_last_of(L'\\') + 1) + L"tarnwhistle.exe";
}

std::wstring DefaultTempDirectory() {
  wchar_t path[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, path);
  return std::wstring(path, length);
}

std::vector<wchar_t> EnvironmentBlock(const Environment &overrides) {
  std::vector<std::wstring> entries;
  wchar_t *strings = GetEnvironmentStringsW();
  for (const wchar_t *entry = strings; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
    const std::wstring text = entry;
    const bool replaced = std::any_of(overrides.begin(), overrides.end(), [&](const auto &o) {
      return SameName(NameOf(text), o.first);
    });
    if (!replaced)
      entries.push_back(text);
  }
  FreeEnvironmentStringsW(strings);
  for (const auto &[name, value] : overrides)
    entries.push_back(name + L"=" + value);
  std::sort(entries.begin(), entries.end(), [](const std::wstring &a, const std::wstring &b) {
    const std::wstring x = NameOf(a), y = NameOf(b);
    return CompareStringOrdinal(x.c_str(), static_cast<int>(x.size()), y.c_str(),
                                static_cast<int>(y.size()), TRUE) == CSTR_LESS_THAN;
  });
  std::vector<wchar_t> block;
  for (const std::wstring &entry : entries) {
    block.insert(block.end(), entry.begin(), entry.end());
    block.push_back(L'\0');
  }
  block.push_back(L'\0');
  return block;
}

Process Start(const std::wstring &commandLine, const Environment &environment, bool suspended,
              HANDLE output, HANDLE error, const std::wstring &program) {
  std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
  line.push_back(L'\0');
  std::vector<wchar_t> block = EnvironmentBlock(environment);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  const bool redirect = output != nullptr || error != nullptr;
  if (redirect) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = output;
    startup.hStdError = error;
  }
  PROCESS_INFORMATION info = {};
  const DWORD flags = CREATE_UNICODE_ENVIRONMENT | (suspended ? CREATE_SUSPENDED : 0);
  // Wine, when loaded, now and then fails a start with ERROR_INTERNAL_ERROR that the next attempt
  // does not meet: that is no answer of the program's.
  for (int attempt = 1;; ++attempt) {
    if (CreateProcessW(program.empty() ? nullptr : program.c_str(), line.data(), nullptr, nullptr,
                       redirect, flags, block.data(), nullptr, &startup, &info))
      return {info.hProcess, info.hThread};
    const DWORD failure = GetLastError();
    if (failure != ERROR_INTERNAL_ERROR || attempt == 5 || !UnderWine()) {
      ADD_FAILURE() << "CreateProcessW failed with error " << failure << " for a "
                    << commandLine.size() << "-unit command line";
      return {};
    }
    Sleep(100);
  }
}

DWORD Finish(Process process) {
  if (process.process == nullptr)
    return 0xDEAD;
  if (WaitForSingleObject(process.process, 60'000) != WAIT_OBJECT_0) {
    ADD_FAILURE() << "tarnwhistle.exe did not exit within a minute";
    TerminateProcess(process.process, 0xDEAD);
    WaitForSingleObject(process.process, INFINITE);
  }
  DWORD code = 0;
  GetExitCodeProcess(process.process, &code);
  CloseHandle(process.thread);
  CloseHandle(process.process);
  return code;
}

DWORD Run(const std::wstring &commandLine, const Environment &environment,
          const std::wstring &program) {
  return Finish(Start(commandLine, environment, false, nullptr, nullptr, program));
}

std::wstring Variable(const wchar_t *name) {
  std::wstring value(GetEnvironmentVariableW(name, nullptr, 0), L'\0');
  value.resize(GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size())));
  return value;
}

std::wstring CmdPath() {
  wchar_t folder[MAX_PATH];
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  return std::wstring(folder, length) + L"\\cmd.exe";
}

bool UnderWine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

std::vector<std::wstring> FilesIn(const std::wstring &folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(Extended(folder + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE)
    return names;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..")
      names.push_back(name);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::wstring> ForeignFiles() {
  const std::wstring folder = Variable(L"TARNWHISTLE_FOREIGN_FILES");
  std::vector<std::wstring> files;
  for (const std::wstring &name : folder.empty() ? std::vector<std::wstring>{} : FilesIn(folder))
    files.push_back(folder + name);
  return files;
}

std::string ReadFileBytes(const std::wstring &path) {
  const HANDLE file =
      CreateFileW(Extended(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    ADD_FAILURE() << "cannot open " << Narrow(path) << " to read it";
    return {};
  }
  std::string bytes;
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0)
    bytes.append(buffer, read);
  CloseHandle(file);
  return bytes;
}

void WriteFileBytes(const std::wstring &path, const std::string &bytes) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << "cannot create " << Narrow(path);
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

std::wstring Timestamp(const SYSTEMTIME &time) {
  wchar_t text[32];
  std::swprintf(text, 32, L"%04u-%02u-%02u_%02u-%02u-%02u", time.wYear, time.wMonth, time.wDay,
                time.wHour, time.wMinute, time.wSecond);
  return text;
}

std::wstring LocalTimestamp(int shiftSeconds) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  FILETIME asFileTime;
  SystemTimeToFileTime(&now, &asFileTime);
  ULARGE_INTEGER ticks;
  ticks.LowPart = asFileTime.dwLowDateTime;
  ticks.HighPart = asFileTime.dwHighDateTime;
  ticks.QuadPart += static_cast<LONGLONG>(shiftSeconds) * 10'000'000;
  asFileTime.dwLowDateTime = ticks.LowPart;
  asFileTime.dwHighDateTime = ticks.HighPart;
  FileTimeToSystemTime(&asFileTime, &now);
  return Timestamp(now);
}

std::wstring StampOf(const std::wstring &name) {
  return name.substr(recorder::LOG_PREFIX.size(), recorder::LOG_TIMESTAMP_LENGTH);
}

void RemoveTree(const std::wstring &folder) {
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(Extended(folder + L"*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..")
        continue;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(folder + name + L"\\");
      else
        DeleteFileW(Extended(folder + name).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(Extended(folder).c_str());
}

std::string Narrow(const std::wstring &text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), size,
                      nullptr, nullptr);
  return narrow;
}

std::string RecordOf(const std::wstring &program, const std::vector<std::wstring> &arguments,
                     int status) {
  const auto units = [](const std::wstring &text) {
    return std::u16string(text.begin(), text.end());
  };
  std::vector<std::u16string> values;
  for (const std::wstring &argument : arguments)
    values.push_back(units(argument));
  return expected::Log(expected::Lines(units(program), values, status));
}

void ExpectPrivate(const std::wstring &path) {
  const HANDLE file = CreateFileW(Extended(path).c_str(), READ_CONTROL,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << Narrow(path);
  PACL list = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD error = GetSecurityInfo(file, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                      nullptr, &list, nullptr, &descriptor);
  CloseHandle(file);
  ASSERT_EQ(error, static_cast<DWORD>(ERROR_SUCCESS)) << Narrow(path);
  const std::unique_ptr<void, decltype(&LocalFree)> ownDescriptor(descriptor, &LocalFree);
  ASSERT_NE(list, nullptr) << Narrow(path) << " has no access list: anyone may do anything";

  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  const auto information = [&](TOKEN_INFORMATION_CLASS kind) {
    DWORD size = 0;
    GetTokenInformation(token, kind, nullptr, 0, &size);
    std::vector<char> bytes(size);
    EXPECT_TRUE(GetTokenInformation(token, kind, bytes.data(), size, &size));
    return bytes;
  };
  std::vector<char> user = information(TokenUser), owner = information(TokenOwner);
  CloseHandle(token);
  std::vector<char> system(SECURITY_MAX_SID_SIZE), administrators(SECURITY_MAX_SID_SIZE);
  DWORD size = SECURITY_MAX_SID_SIZE;
  ASSERT_TRUE(CreateWellKnownSid(WinLocalSystemSid, nullptr, system.data(), &size));
  size = SECURITY_MAX_SID_SIZE;
  ASSERT_TRUE(
      CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators.data(), &size));
  const PSID userSid = reinterpret_cast<TOKEN_USER *>(user.data())->User.Sid;
  const PSID allowed[] = {userSid, reinterpret_cast<TOKEN_OWNER *>(owner.data())->Owner,
                          system.data(), administrators.data()};

  std::vector<std::string> others;
  bool inherited = false, userHasAll = false;
  for (DWORD i = 0; i < list->AceCount; ++i) {
    ACCESS_ALLOWED_ACE *entry = nullptr;
    ASSERT_TRUE(GetAce(list, i, reinterpret_cast<void **>(&entry)));
    if (entry->Header.AceType != ACCESS_ALLOWED_ACE_TYPE)
      continue; // a denial grants nothing
    const PSID sid = &entry->SidStart;
    if (std::none_of(std::begin(allowed), std::end(allowed),
                     [&](PSID known) { return EqualSid(known, sid); })) {
      wchar_t *text = nullptr;
      ConvertSidToStringSidW(sid, &text);
      others.push_back(text != nullptr ? Narrow(text) : "?");
      LocalFree(text);
    }
    inherited = inherited || (entry->Header.AceFlags & INHERITED_ACE);
    userHasAll = userHasAll ||
                 (EqualSid(sid, userSid) && (entry->Mask & FILE_ALL_ACCESS) == FILE_ALL_ACCESS);
  }
  // Under Wine the list read back is made up from the file's Unix mode, whatever list the file
  // was given: an entry for Everyone (S-1-1-0) there stands for bits for others. That much is
  // what Wine can show; the rest is Windows' own.
  EXPECT_EQ(others, std::vector<std::string>{}) << Narrow(path) << " grants access to others";
  if (UnderWine())
    return;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
  EXPECT_TRUE(control & SE_DACL_PROTECTED) << Narrow(path) << " takes in its folder's list";
  EXPECT_FALSE(inherited) << Narrow(path) << " holds entries of its folder's list";
  EXPECT_TRUE(userHasAll) << Narrow(path) << " does not give its own user full control";
}

bool MakeFolder(const std::wstring &path) {
  return CreateDirectoryW(Extended(path).c_str(), nullptr);
}

std::wstring Test::NewFolder() {
  static unsigned counter = 0;
  const ::testing::TestInfo *test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string name = std::string(test->test_suite_name()) + "." + test->name();
  std::wstring folder = DefaultTempDirectory() + L"tarnwhistle-e2e-" +
                        std::wstring(name.begin(), name.end()) + L"-" +
                        std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
  folder += L"\\";
  RemoveTree(folder);
  EXPECT_TRUE(CreateDirectoryW(folder.c_str(), nullptr)) << "cannot create " << Narrow(folder);
  folders_.push_back(folder);
  return folder;
}

void Test::TearDown() {
  for (const std::wstring &folder : folders_) {
    if (HasFailure())
      std::printf("kept the test's folder: %s\n", Narrow(folder).c_str());
    else
      RemoveTree(folder);
  }
}

Test::Outcome Test::RunIn(const std::wstring &folder, const std::wstring &commandLine,
                          const Environment &extra, const std::wstring &program) {
  Environment environment = extra;
  environment.emplace_back(L"TMP", folder);
  Outcome outcome;
  outcome.before = LocalTimestamp();
  outcome.status = launch::Run(commandLine, environment, program);
  outcome.after = LocalTimestamp();
  return outcome;
}

void Test::ExpectOneLog(const std::wstring &folder, const Outcome &outcome,
                        const std::string &bytes) {
  const std::vector<std::wstring> files = FilesIn(folder);
  ASSERT_EQ(files.size(), 1u) << "files in " << Narrow(folder);
  const std::wstring &name = files[0];
  ASSERT_EQ(name.size(), recorder::LOG_PREFIX.size() + recorder::LOG_TIMESTAMP_LENGTH +
                             recorder::LOG_EXTENSION.size())
      << Narrow(name);
  EXPECT_EQ(name.substr(0, recorder::LOG_PREFIX.size()), recorder::LOG_PREFIX) << Narrow(name);
  EXPECT_EQ(name.substr(name.size() - recorder::LOG_EXTENSION.size()), recorder::LOG_EXTENSION)
      << Narrow(name);
  const std::wstring stamp = StampOf(name);
  EXPECT_LE(outcome.before, stamp) << Narrow(name) << " is named before the run started";
  EXPECT_GE(outcome.after, stamp) << Narrow(name) << " is named after the run ended";
  EXPECT_TRUE(SameBytes(ReadFileBytes(folder + name), bytes)) << Narrow(name);
  ExpectPrivate(folder + name);
}

} // namespace launch

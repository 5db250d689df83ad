// The console program's needs on Windows: the standard streams, as a console or as bytes, paths as
// UTF-16, whose a file is, and the clock files are stamped with.
#include "platform/accounts.h"
#include "platform/console.h"
#include "platform/windows_api.h"

#include <sddl.h>
#include <shellapi.h>

#include "text/codec.h"

#include <algorithm>
#include <thread>
#include <vector>

using namespace windows_api;

namespace {

// Whether the SID is this process's user or the owner its token gives new files.
bool IsThisProcessOwner(PSID owner) {
  const Token token = OwnToken();
  return IsOwnerOf(owner, UserSid(TokenInformation(token.get(), TokenUser)),
                   OwnerSid(TokenInformation(token.get(), TokenOwner)));
}

// The SID as text, "S-1-5-18".
std::optional<platform::WideString> SidText(PSID sid) {
  wchar_t *text = nullptr;
  if (!ConvertSidToStringSidW(sid, &text))
    return std::nullopt;
  const LocalMemory memory(text, &FreeLocal);
  return platform::WideString(text);
}

// The SID that text spells, "S-1-5-18" (not the two-letter aliases, which could be names).
LocalMemory SidOfText(const platform::WideString &text) {
  PSID sid = nullptr;
  if (!(text.starts_with(L"S-") || text.starts_with(L"s-")) ||
      !ConvertStringSidToSidW(text.c_str(), &sid))
    sid = nullptr;
  return LocalMemory(sid, &FreeLocal);
}

} // namespace

namespace platform {

bool WriteText(Stream stream, std::string_view utf8) {
  const ::HANDLE handle =
      GetStdHandle(stream == Stream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  ::DWORD mode = 0;
  if (!GetConsoleMode(handle, &mode))
    return WriteBytes(stream, utf8);
  // A console shows UTF-16 as it is, whatever its code page.
  const int size = static_cast<int>(utf8.size());
  std::wstring text(
      static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0)),
      L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, text.data(), static_cast<int>(text.size()));
  for (std::size_t at = 0; at < text.size();) {
    ::DWORD written = 0;
    const auto chunk = static_cast<::DWORD>(std::min<std::size_t>(text.size() - at, 8192));
    if (!WriteConsoleW(handle, text.data() + at, chunk, &written, nullptr) || written == 0)
      return false;
    at += written;
  }
  return true;
}

bool WriteBytes(Stream stream, std::string_view bytes) {
  const ::HANDLE handle =
      GetStdHandle(stream == Stream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  while (!bytes.empty()) {
    ::DWORD written = 0;
    const auto chunk = static_cast<::DWORD>(std::min<std::size_t>(bytes.size(), 1 << 20));
    if (!::WriteFile(handle, bytes.data(), chunk, &written, nullptr) || written == 0)
      return false;
    bytes.remove_prefix(written);
  }
  return true;
}

std::optional<std::string> ReadInput() {
  const ::HANDLE handle = GetStdHandle(STD_INPUT_HANDLE);
  ::DWORD mode = 0;
  if (GetConsoleMode(handle, &mode)) {
    // A console gives UTF-16 whatever its code page: read the line typed, pass it on as UTF-8.
    std::wstring text;
    wchar_t buffer[4096];
    ::DWORD got = 0;
    while (!text.ends_with(L'\n') && ReadConsoleW(handle, buffer, 4096, &got, nullptr) && got > 0)
      text.append(buffer, got);
    return text::ReceivedBytes(text, false);
  }
  std::string bytes;
  char buffer[65536];
  for (;;) {
    ::DWORD got = 0;
    // A pipe whose writer has gone ends like a file.
    if (!::ReadFile(handle, buffer, sizeof buffer, &got, nullptr))
      return GetLastError() == ERROR_BROKEN_PIPE ? std::optional(bytes) : std::nullopt;
    if (got == 0)
      return bytes;
    bytes.append(buffer, got);
  }
}

std::vector<WideString> SplitAsTheRecorder(std::wstring_view line) {
  const WideString terminated(line);
  int count = 0;
  wchar_t **block = ::CommandLineToArgvW(terminated.c_str(), &count);
  std::vector<WideString> list;
  for (int i = 0; block && i < count; ++i)
    list.emplace_back(block[i]);
  ::LocalFree(block);
  return list;
}

text::QuoteForm DefaultQuoteForm() { return text::QuoteForm::kCreateProcess; }

std::filesystem::path PathOf(std::wstring_view units) { return std::filesystem::path(units); }

WideString UnitsOf(const std::filesystem::path &path) { return path.native(); }

bool ArgumentsEscapeBytes() { return false; }

std::optional<Owner> OwnerOf(const std::filesystem::path &path) {
  const ::HANDLE file =
      ::CreateFileW(path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return std::nullopt;
  const FileOwner owner = OwnerOfHandle(file);
  ::CloseHandle(file);
  const std::optional<WideString> id = owner.sid ? SidText(owner.sid) : std::nullopt;
  if (!id)
    return std::nullopt;
  return Owner{*id, IsThisProcessOwner(owner.sid), accounts::IsSystemSid(*id)};
}

std::optional<WideString> AccountName(const WideString &id) {
  const LocalMemory sid = SidOfText(id);
  ::DWORD nameSize = 0, domainSize = 0;
  SID_NAME_USE use;
  if (!sid ||
      (!LookupAccountSidW(nullptr, sid.get(), nullptr, &nameSize, nullptr, &domainSize, &use) &&
       GetLastError() != ERROR_INSUFFICIENT_BUFFER))
    return std::nullopt;
  std::wstring name(nameSize, L'\0'), domain(domainSize, L'\0');
  if (!LookupAccountSidW(nullptr, sid.get(), name.data(), &nameSize, domain.data(), &domainSize,
                         &use))
    return std::nullopt;
  name.resize(nameSize);
  domain.resize(domainSize);
  return domain.empty() ? name : domain + L"\\" + name;
}

std::optional<WideString> AccountId(const WideString &account) {
  if (const LocalMemory sid = SidOfText(account))
    return SidText(sid.get());
  ::DWORD sidSize = 0, domainSize = 0;
  SID_NAME_USE use;
  if (!LookupAccountNameW(nullptr, account.c_str(), nullptr, &sidSize, nullptr, &domainSize,
                          &use) &&
      GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return std::nullopt;
  std::vector<::DWORD> sid(sidSize / sizeof(::DWORD) + 1);
  std::wstring domain(domainSize, L'\0');
  if (!LookupAccountNameW(nullptr, account.c_str(), sid.data(), &sidSize, domain.data(),
                          &domainSize, &use))
    return std::nullopt;
  return SidText(sid.data());
}

namespace {

// File times and a process's creation time are both kept in 100 ns units, but neither need be
// finer than the system's timer tick (15.625 ms at its slowest); under Wine files are stamped from
// Linux's coarse clock, which lags by up to two of its ticks, and processes from its fine one.
// Allow 20 ms either way.
constexpr std::int64_t kTickAllowance = 200'000;

std::int64_t Ticks(const FILETIME &time) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(time.dwHighDateTime) << 32 |
                                   time.dwLowDateTime);
}

} // namespace

std::int64_t ModifiedTime(const std::filesystem::path &path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  return GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)
             ? Ticks(data.ftLastWriteTime)
             : 0;
}

std::int64_t Now() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return Ticks(now);
}

std::int64_t StartTime() {
  FILETIME creation, exit, kernel, user;
  return GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel, &user)
             ? Ticks(creation) - kTickAllowance
             : 0;
}

std::chrono::steady_clock::time_point SteadyNow() { return std::chrono::steady_clock::now(); }

void Sleep(std::chrono::milliseconds duration) { std::this_thread::sleep_for(duration); }

std::int64_t StartWindow() { return 2 * kTickAllowance; }

} // namespace platform

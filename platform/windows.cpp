// The platform operations on Windows: each one forwards to the Windows API of the same name, and
// file creation adds the checks that make it safe in a shared directory. Who owns a file, which
// those checks ask, is answered here for the reader too.
#include "platform/accounts.h"
#include "platform/console.h"
#include "platform/platform.h"

namespace {
// <windows.h> defines these names as macros; keep the values under other names to check them.
constexpr platform::DWORD kGenericWrite = platform::GENERIC_WRITE;
constexpr platform::DWORD kFileShareRead = platform::FILE_SHARE_READ;
constexpr platform::DWORD kCreateAlways = platform::CREATE_ALWAYS;
constexpr platform::DWORD kFileAttributeNormal = platform::FILE_ATTRIBUTE_NORMAL;
constexpr platform::DWORD kMaxPath = platform::MAX_PATH;
} // namespace

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>
#include <shellapi.h>

#include <memory>
#include <type_traits>
#include <vector>

static_assert(sizeof(wchar_t) == sizeof(WCHAR));
static_assert(kGenericWrite == GENERIC_WRITE && kFileShareRead == FILE_SHARE_READ &&
              kCreateAlways == CREATE_ALWAYS && kFileAttributeNormal == FILE_ATTRIBUTE_NORMAL &&
              kMaxPath == MAX_PATH);
static_assert(sizeof(platform::SYSTEMTIME) == sizeof(::SYSTEMTIME));

namespace {

void FreeLocal(void *memory) { ::LocalFree(memory); }
void CloseToken(::HANDLE token) { ::CloseHandle(token); }
using LocalMemory = std::unique_ptr<void, decltype(&FreeLocal)>;
using Token = std::unique_ptr<std::remove_pointer_t<::HANDLE>, decltype(&CloseToken)>;

// The token's information of one class, in memory of its own; null when it cannot be read.
LocalMemory TokenInformation(::HANDLE token, TOKEN_INFORMATION_CLASS kind) {
  ::DWORD size = 0;
  GetTokenInformation(token, kind, nullptr, 0, &size);
  LocalMemory memory(size != 0 ? LocalAlloc(LMEM_FIXED, size) : nullptr, &FreeLocal);
  if (memory && !GetTokenInformation(token, kind, memory.get(), size, &size))
    memory.reset();
  return memory;
}

// Whether the SID is this process's user, or the owner its token gives new files (an elevated
// administrator's files belong to the Administrators group).
bool IsThisProcessOwner(PSID owner) {
  ::HANDLE rawToken = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &rawToken))
    return false;
  const Token token(rawToken, &CloseToken);
  const LocalMemory user = TokenInformation(token.get(), TokenUser);
  const LocalMemory defaultOwner = TokenInformation(token.get(), TokenOwner);
  return (user && EqualSid(owner, static_cast<TOKEN_USER *>(user.get())->User.Sid)) ||
         (defaultOwner && EqualSid(owner, static_cast<TOKEN_OWNER *>(defaultOwner.get())->Owner));
}

// A file's owner, which lives inside the security descriptor held with it.
struct FileOwner {
  LocalMemory descriptor{nullptr, &FreeLocal};
  PSID sid = nullptr;
};

FileOwner OwnerOfHandle(::HANDLE file) {
  FileOwner owner;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner.sid, nullptr,
                      nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
    return {};
  owner.descriptor.reset(descriptor);
  return owner;
}

bool OwnedByThisProcess(::HANDLE file) {
  const FileOwner owner = OwnerOfHandle(file);
  return owner.sid != nullptr && IsThisProcessOwner(owner.sid);
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

// An existing file may become the log only if it is this user's own disk file with no other
// name: not a directory, not a reparse point (a symbolic link or junction opened as itself), not a
// hard link to a file kept elsewhere. Wine neither reports Unix symbolic links as reparse points
// nor honours FILE_FLAG_OPEN_REPARSE_POINT, so under Wine that part of the check never fires.
bool IsOwnPlainFile(::HANDLE file) {
  BY_HANDLE_FILE_INFORMATION information;
  return GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &information) &&
         !(information.dwFileAttributes &
           (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
         information.nNumberOfLinks == 1 && OwnedByThisProcess(file);
}

} // namespace

namespace platform {

const wchar_t *GetCommandLineW() { return ::GetCommandLineW(); }

wchar_t **CommandLineToArgvW(const wchar_t *commandLine, int *count) {
  return ::CommandLineToArgvW(commandLine, count);
}

void *LocalFree(void *block) { return ::LocalFree(block); }

DWORD GetTempPathW(DWORD bufferLength, wchar_t *buffer) {
  return ::GetTempPathW(bufferLength, buffer);
}

void GetLocalTime(SYSTEMTIME *time) {
  ::SYSTEMTIME now;
  ::GetLocalTime(&now);
  *time = {now.wYear, now.wMonth,  now.wDayOfWeek, now.wDay,
           now.wHour, now.wMinute, now.wSecond,    now.wMilliseconds};
}

// A request to create or replace a file is carried out without truncating or writing through
// anything planted at the name: the log's name is predictable and its directory may be shared
// (C:\Windows\Temp when running as LocalSystem). Other requests pass through unchanged.
HANDLE CreateFileW(const wchar_t *fileName, DWORD desiredAccess, DWORD shareMode,
                   void *securityAttributes, DWORD creationDisposition, DWORD flagsAndAttributes,
                   HANDLE templateFile) {
  const auto attributes = static_cast<LPSECURITY_ATTRIBUTES>(securityAttributes);
  if (creationDisposition != CREATE_ALWAYS)
    return ::CreateFileW(fileName, desiredAccess, shareMode, attributes, creationDisposition,
                         flagsAndAttributes, templateFile);
  // CREATE_ALWAYS would truncate a planted file before it could be checked, keeping its owner and
  // access list, and would follow a symbolic link; the flag cannot be combined with it.
  const ::HANDLE file = ::CreateFileW(
      fileName, desiredAccess | READ_CONTROL | FILE_READ_ATTRIBUTES, shareMode, attributes,
      OPEN_ALWAYS, flagsAndAttributes | FILE_FLAG_OPEN_REPARSE_POINT, templateFile);
  if (file == INVALID_HANDLE_VALUE)
    return file;
  const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
  if (existed && !(IsOwnPlainFile(file) && SetEndOfFile(file))) {
    ::CloseHandle(file);
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

BOOL WriteFile(HANDLE file, const void *buffer, DWORD bytesToWrite, DWORD *bytesWritten,
               void *overlapped) {
  ::DWORD written = 0;
  const BOOL result =
      ::WriteFile(file, buffer, bytesToWrite, &written, static_cast<LPOVERLAPPED>(overlapped));
  *bytesWritten = written;
  return result;
}

BOOL CloseHandle(HANDLE object) { return ::CloseHandle(object); }

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

} // namespace platform

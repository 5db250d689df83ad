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

#include <algorithm>
#include <iterator>
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

// This process's access token; null when it cannot be opened.
Token OwnToken() {
  ::HANDLE token = nullptr;
  return Token(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) ? token : nullptr,
               &CloseToken);
}

// This process's user, and the owner its token gives new files (an elevated administrator's files
// belong to the Administrators group); a null SID for what cannot be read.
PSID UserSid(const LocalMemory &user) {
  return user ? static_cast<TOKEN_USER *>(user.get())->User.Sid : nullptr;
}
PSID OwnerSid(const LocalMemory &owner) {
  return owner ? static_cast<TOKEN_OWNER *>(owner.get())->Owner : nullptr;
}

// Whether the SID is this user or the owner the token gives new files.
bool IsOwnerOf(PSID sid, PSID user, PSID defaultOwner) {
  return sid != nullptr &&
         ((user && EqualSid(sid, user)) || (defaultOwner && EqualSid(sid, defaultOwner)));
}

bool IsThisProcessOwner(PSID owner) {
  const Token token = OwnToken();
  return IsOwnerOf(owner, UserSid(TokenInformation(token.get(), TokenUser)),
                   OwnerSid(TokenInformation(token.get(), TokenOwner)));
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

// Whether the file is owned by this user or by the owner the token gives new files.
bool OwnedBy(::HANDLE file, PSID user, PSID defaultOwner) {
  return IsOwnerOf(OwnerOfHandle(file).sid, user, defaultOwner);
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

// A file may become the log only if it is this user's own disk file with no other name: not a
// directory, not a reparse point (a symbolic link or junction opened as itself), not a hard link
// to a file kept elsewhere. Wine neither reports Unix symbolic links as reparse points nor honours
// FILE_FLAG_OPEN_REPARSE_POINT, so under Wine that part of the check never fires.
bool IsOwnPlainFile(::HANDLE file, PSID user, PSID owner) {
  BY_HANDLE_FILE_INFORMATION information;
  return GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &information) &&
         !(information.dwFileAttributes &
           (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
         information.nNumberOfLinks == 1 && OwnedBy(file, user, owner);
}

// The log's access list, in memory of its own: full control for this user, the owner its files
// get, SYSTEM and the Administrators group, and nothing for anyone else. The log holds command
// lines, which can hold secrets, and its folder may grant every user read or modify (C:\Temp).
LocalMemory PrivateAccessList(PSID user, PSID owner) {
  BYTE system[SECURITY_MAX_SID_SIZE], administrators[SECURITY_MAX_SID_SIZE];
  ::DWORD systemSize = sizeof system, administratorsSize = sizeof administrators;
  LocalMemory list(nullptr, &FreeLocal);
  if (!user || !owner || !CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &systemSize) ||
      !CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators,
                          &administratorsSize))
    return list;
  const PSID entries[] = {user, owner, system, administrators};
  ::DWORD size = sizeof(ACL);
  for (const PSID sid : entries)
    size += sizeof(ACCESS_ALLOWED_ACE) - sizeof(::DWORD) + GetLengthSid(sid);
  list.reset(LocalAlloc(LMEM_FIXED, size));
  auto *acl = static_cast<ACL *>(list.get());
  if (!acl || !InitializeAcl(acl, size, ACL_REVISION))
    return LocalMemory(nullptr, &FreeLocal);
  for (std::size_t i = 0; i < std::size(entries); ++i) {
    // The user is often the owner too, and SYSTEM's files belong to the Administrators group.
    const auto same = [&](const PSID earlier) { return EqualSid(earlier, entries[i]) != FALSE; };
    if (std::any_of(entries, entries + i, same))
      continue;
    if (!AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, entries[i]))
      return LocalMemory(nullptr, &FreeLocal);
  }
  return list;
}

// Marks a file this run created for deletion when its handle closes. Through the handle, so that
// what is deleted is the file the run made, whatever now stands at its name.
void DeleteOnClose(::HANDLE file) {
  FILE_DISPOSITION_INFO disposition = {TRUE};
  SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
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
// anything planted at the name, and gives the file a private access list: the log's name is
// predictable and its directory may be shared (C:\Windows\Temp when running as LocalSystem).
// Other requests pass through unchanged.
HANDLE CreateFileW(const wchar_t *fileName, DWORD desiredAccess, DWORD shareMode,
                   void *securityAttributes, DWORD creationDisposition, DWORD flagsAndAttributes,
                   HANDLE templateFile) {
  if (creationDisposition != CREATE_ALWAYS)
    return ::CreateFileW(fileName, desiredAccess, shareMode,
                         static_cast<LPSECURITY_ATTRIBUTES>(securityAttributes),
                         creationDisposition, flagsAndAttributes, templateFile);
  if (securityAttributes != nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  const Token token = OwnToken();
  const LocalMemory user = TokenInformation(token.get(), TokenUser);
  const LocalMemory owner = TokenInformation(token.get(), TokenOwner);
  const LocalMemory list = PrivateAccessList(UserSid(user), OwnerSid(owner));
  SECURITY_DESCRIPTOR descriptor;
  if (!list || !InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&descriptor, TRUE, static_cast<ACL *>(list.get()), FALSE) ||
      !SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
    return INVALID_HANDLE_VALUE;
  SECURITY_ATTRIBUTES privateFile = {sizeof privateFile, &descriptor, FALSE};
  // CREATE_ALWAYS would truncate a planted file before it could be checked, keeping its owner and
  // access list, and would follow a symbolic link; the flag cannot be combined with it. Creating
  // only where nothing is lets the run know the file is its own making: OPEN_ALWAYS reports that
  // from the file system on Windows, but Wine decides it from a look-up made before its open.
  const DWORD access = desiredAccess | READ_CONTROL | FILE_READ_ATTRIBUTES;
  const DWORD flags = flagsAndAttributes | FILE_FLAG_OPEN_REPARSE_POINT;
  // Bounded: something that keeps appearing and vanishing at the name must not hold the run.
  for (int attempt = 0; attempt < 4; ++attempt) {
    // Made with no access to its data and all sharing, so that it can be opened again through
    // this handle: to be written once it has passed the checks any other file gets, or to be
    // deleted if it fails them. The handle the caller gets has no DELETE access, which readers
    // that do not share deletion (the C runtime's, PowerShell's) would have to allow.
    const ::HANDLE made = ::CreateFileW(fileName, READ_CONTROL | FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        &privateFile, CREATE_NEW, flags, templateFile);
    if (made != INVALID_HANDLE_VALUE) {
      const bool own = IsOwnPlainFile(made, UserSid(user), OwnerSid(owner));
      // The flags without the attributes, which the file took when it was made.
      const ::HANDLE file =
          own ? ReOpenFile(made, access, shareMode, flags & 0xFFFF0000)
              : ReOpenFile(made, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           FILE_FLAG_OPEN_REPARSE_POINT);
      ::CloseHandle(made);
      if (own || file == INVALID_HANDLE_VALUE)
        return file;
      DeleteOnClose(file);
      ::CloseHandle(file);
      return INVALID_HANDLE_VALUE;
    }
    if (GetLastError() != ERROR_FILE_EXISTS)
      return INVALID_HANDLE_VALUE;
    // An earlier log of the same second: made private as a new one before it is emptied.
    ::HANDLE file = ::CreateFileW(fileName, access | WRITE_DAC, shareMode, nullptr, OPEN_EXISTING,
                                  flags, templateFile);
    if (file != INVALID_HANDLE_VALUE) {
      if (IsOwnPlainFile(file, UserSid(user), OwnerSid(owner)) &&
          SetSecurityInfo(file, SE_FILE_OBJECT,
                          DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                          nullptr, static_cast<ACL *>(list.get()), nullptr) == ERROR_SUCCESS &&
          SetEndOfFile(file))
        return file;
      ::CloseHandle(file);
      return INVALID_HANDLE_VALUE;
    }
    if (GetLastError() != ERROR_FILE_NOT_FOUND)
      return INVALID_HANDLE_VALUE;
  }
  return INVALID_HANDLE_VALUE;
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

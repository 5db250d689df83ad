// The platform operations on Windows: each one forwards to the Windows API of the same name, and
// file creation adds the checks that make it safe in a shared directory.
#include "platform/windows_api.h"

#include <shellapi.h>

#include <algorithm>
#include <iterator>
#include <optional>

using namespace windows_api;

namespace {

// CreateFileW's word of flags and attributes holds its flags (FILE_FLAG_..., SECURITY_...) in
// these bits, and the file's attributes, which ReOpenFile refuses, in the rest.
constexpr ::DWORD kFileFlagBits = 0xFFFF0000;

// Whether the file is owned by this user or by the owner the token gives new files.
bool OwnedBy(::HANDLE file, PSID user, PSID defaultOwner) {
  return IsOwnerOf(OwnerOfHandle(file).sid, user, defaultOwner);
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

// What every attempt at the log's name asks for: the caller's access, with what the checks read;
// its sharing; its flags, never following a reparse point; its template; the accounts the file
// must belong to; and the private access list, alone and in the attributes a new file gets.
struct PrivateFile {
  const wchar_t *name;
  ::DWORD access;
  ::DWORD shareMode;
  ::DWORD flags;
  ::HANDLE templateFile;
  PSID user;
  PSID owner;
  ACL *list;
  SECURITY_ATTRIBUTES *attributes;
};

// Creates the file where nothing stands at the name, and gives the caller a handle to it once it
// has passed the checks; a file that fails them is deleted again. INVALID_HANDLE_VALUE when it
// cannot be made or is refused; nothing when something already stands at the name.
std::optional<::HANDLE> CreateNewPrivateFile(const PrivateFile &request) {
  // Made with no access to its data and all sharing, so that it can be opened again through this
  // handle: to be written once it has passed the checks any other file gets, or to be deleted if
  // it fails them. The handle the caller gets has no DELETE access, which readers that do not
  // share deletion (the C runtime's, PowerShell's) would have to allow.
  const ::HANDLE made =
      ::CreateFileW(request.name, READ_CONTROL | FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, request.attributes,
                    CREATE_NEW, request.flags, request.templateFile);
  if (made == INVALID_HANDLE_VALUE) {
    if (GetLastError() == ERROR_FILE_EXISTS)
      return std::nullopt;
    return INVALID_HANDLE_VALUE;
  }
  const bool own = IsOwnPlainFile(made, request.user, request.owner);
  // The flags without the attributes, which the file took when it was made.
  const ::HANDLE file =
      own ? ReOpenFile(made, request.access, request.shareMode, request.flags & kFileFlagBits)
          : ReOpenFile(made, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       FILE_FLAG_OPEN_REPARSE_POINT);
  ::CloseHandle(made);
  if (own || file == INVALID_HANDLE_VALUE)
    return file;
  DeleteOnClose(file);
  ::CloseHandle(file);
  return INVALID_HANDLE_VALUE;
}

// Opens an earlier log of the same second, this user's own plain file, makes it private as a new
// one and only then empties it. INVALID_HANDLE_VALUE when what stands at the name is anything else
// or cannot be opened; nothing when the name has gone.
std::optional<::HANDLE> ReplaceOwnEarlierLog(const PrivateFile &request) {
  const ::HANDLE file = ::CreateFileW(request.name, request.access | WRITE_DAC, request.shareMode,
                                      nullptr, OPEN_EXISTING, request.flags, request.templateFile);
  if (file == INVALID_HANDLE_VALUE) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND)
      return std::nullopt;
    return INVALID_HANDLE_VALUE;
  }
  if (IsOwnPlainFile(file, request.user, request.owner) &&
      SetSecurityInfo(file, SE_FILE_OBJECT,
                      DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                      nullptr, request.list, nullptr) == ERROR_SUCCESS &&
      SetEndOfFile(file))
    return file;
  ::CloseHandle(file);
  return INVALID_HANDLE_VALUE;
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

// The file is created or replaced without truncating or writing through anything planted at the
// name, and gets a private access list: the log's name is predictable and its directory may be
// shared (C:\Windows\Temp when running as LocalSystem). The unnamed parameters are the security
// attributes and the disposition, which every call gives as null and CREATE_ALWAYS.
HANDLE CreateFileW(const wchar_t *fileName, DWORD desiredAccess, DWORD shareMode, void *, DWORD,
                   DWORD flagsAndAttributes, HANDLE templateFile) {
  const Token token = OwnToken();
  const LocalMemory user = TokenInformation(token.get(), TokenUser);
  const LocalMemory owner = TokenInformation(token.get(), TokenOwner);
  const LocalMemory list = PrivateAccessList(UserSid(user), OwnerSid(owner));
  SECURITY_DESCRIPTOR descriptor;
  if (!list || !InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&descriptor, TRUE, static_cast<ACL *>(list.get()), FALSE) ||
      !SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
    return INVALID_HANDLE_VALUE;
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, FALSE};
  // CREATE_ALWAYS would truncate a planted file before it could be checked, keeping its owner and
  // access list, and would follow a symbolic link; the flag cannot be combined with it. Creating
  // only where nothing is lets the run know the file is its own making: OPEN_ALWAYS reports that
  // from the file system on Windows, but Wine decides it from a look-up made before its open.
  const PrivateFile request = {.name = fileName,
                               .access = desiredAccess | READ_CONTROL | FILE_READ_ATTRIBUTES,
                               .shareMode = shareMode,
                               .flags = flagsAndAttributes | FILE_FLAG_OPEN_REPARSE_POINT,
                               .templateFile = templateFile,
                               .user = UserSid(user),
                               .owner = OwnerSid(owner),
                               .list = static_cast<ACL *>(list.get()),
                               .attributes = &attributes};
  // Something that appears or vanishes at the name between the two looks is looked at again.
  for (int attempt = 0; attempt < kCreateFileAttempts; ++attempt) {
    if (const std::optional<::HANDLE> file = CreateNewPrivateFile(request))
      return *file;
    if (const std::optional<::HANDLE> file = ReplaceOwnEarlierLog(request))
      return *file;
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

} // namespace platform

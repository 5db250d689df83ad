// The Windows API as the platform layer's Windows files include it, private to platform/: the
// one place <windows.h> is included there, and the token and owner helpers that file creation
// (windows.cpp) and the account functions (console_windows.cpp) share.
#ifndef TARNWHISTLE_PLATFORM_WINDOWS_API_H
#define TARNWHISTLE_PLATFORM_WINDOWS_API_H

// First: <windows.h> defines macros that would rewrite the constants platform.h declares.
#include "platform/platform.h"

namespace windows_api {
// <windows.h> defines these names as macros; keep the values under other names to check them.
constexpr platform::DWORD kGenericWrite = platform::GENERIC_WRITE;
constexpr platform::DWORD kFileShareRead = platform::FILE_SHARE_READ;
constexpr platform::DWORD kCreateAlways = platform::CREATE_ALWAYS;
constexpr platform::DWORD kFileAttributeNormal = platform::FILE_ATTRIBUTE_NORMAL;
constexpr platform::DWORD kMaxPath = platform::MAX_PATH;
} // namespace windows_api

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <aclapi.h>

#include <memory>
#include <type_traits>

// The platform's own declarations agree with Windows'.
static_assert(sizeof(wchar_t) == sizeof(WCHAR));
static_assert(windows_api::kGenericWrite == GENERIC_WRITE &&
              windows_api::kFileShareRead == FILE_SHARE_READ &&
              windows_api::kCreateAlways == CREATE_ALWAYS &&
              windows_api::kFileAttributeNormal == FILE_ATTRIBUTE_NORMAL &&
              windows_api::kMaxPath == MAX_PATH);
static_assert(sizeof(platform::SYSTEMTIME) == sizeof(::SYSTEMTIME));

namespace windows_api {

inline void FreeLocal(void *memory) { ::LocalFree(memory); }
inline void CloseToken(::HANDLE token) { ::CloseHandle(token); }
using LocalMemory = std::unique_ptr<void, decltype(&FreeLocal)>;
using Token = std::unique_ptr<std::remove_pointer_t<::HANDLE>, decltype(&CloseToken)>;

// The token's information of one class, in memory of its own; null when it cannot be read.
inline LocalMemory TokenInformation(::HANDLE token, TOKEN_INFORMATION_CLASS kind) {
  ::DWORD size = 0;
  GetTokenInformation(token, kind, nullptr, 0, &size);
  LocalMemory memory(size != 0 ? LocalAlloc(LMEM_FIXED, size) : nullptr, &FreeLocal);
  if (memory && !GetTokenInformation(token, kind, memory.get(), size, &size))
    memory.reset();
  return memory;
}

// This process's access token; null when it cannot be opened.
inline Token OwnToken() {
  ::HANDLE token = nullptr;
  return Token(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) ? token : nullptr,
               &CloseToken);
}

// This process's user, and the owner its token gives new files (an elevated administrator's files
// belong to the Administrators group); a null SID for what cannot be read.
inline PSID UserSid(const LocalMemory &user) {
  return user ? static_cast<TOKEN_USER *>(user.get())->User.Sid : nullptr;
}
inline PSID OwnerSid(const LocalMemory &owner) {
  return owner ? static_cast<TOKEN_OWNER *>(owner.get())->Owner : nullptr;
}

// Whether the SID is this user or the owner the token gives new files.
inline bool IsOwnerOf(PSID sid, PSID user, PSID defaultOwner) {
  return sid != nullptr &&
         ((user && EqualSid(sid, user)) || (defaultOwner && EqualSid(sid, defaultOwner)));
}

// A file's owner, which lives inside the security descriptor held with it.
struct FileOwner {
  LocalMemory descriptor{nullptr, &FreeLocal};
  PSID sid = nullptr;
};

// The owner of the open file; a null SID when it cannot be read.
inline FileOwner OwnerOfHandle(::HANDLE file) {
  FileOwner owner;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner.sid, nullptr,
                      nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
    return {};
  owner.descriptor.reset(descriptor);
  return owner;
}

} // namespace windows_api

#endif

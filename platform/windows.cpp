// The platform operations on Windows: each one forwards to the Windows API of the same name.
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

#include <shellapi.h>

static_assert(sizeof(wchar_t) == sizeof(WCHAR));
static_assert(kGenericWrite == GENERIC_WRITE && kFileShareRead == FILE_SHARE_READ &&
              kCreateAlways == CREATE_ALWAYS && kFileAttributeNormal == FILE_ATTRIBUTE_NORMAL &&
              kMaxPath == MAX_PATH);
static_assert(sizeof(platform::SYSTEMTIME) == sizeof(::SYSTEMTIME));

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

HANDLE CreateFileW(const wchar_t *fileName, DWORD desiredAccess, DWORD shareMode,
                   void *securityAttributes, DWORD creationDisposition, DWORD flagsAndAttributes,
                   HANDLE templateFile) {
  return ::CreateFileW(fileName, desiredAccess, shareMode,
                       static_cast<LPSECURITY_ATTRIBUTES>(securityAttributes), creationDisposition,
                       flagsAndAttributes, templateFile);
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

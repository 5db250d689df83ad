// The operating-system services the recorder calls, under the names Windows gives them.
//
// Each platform implements this header in a file of its own (windows.cpp, posix.cpp); the build
// links exactly one of them, or the fake platform of the unit tests.
#ifndef TARNWHISTLE_PLATFORM_PLATFORM_H
#define TARNWHISTLE_PLATFORM_PLATFORM_H

#include <cstdint>
#include <string>

namespace platform {

// Text as UTF-16 code units, one code unit per element whatever the size of wchar_t.
using WideString = std::wstring;

using BOOL = int;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using HANDLE = void *;

struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};

constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD FILE_SHARE_READ = 0x00000001;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;
constexpr DWORD MAX_PATH = 260;
inline const HANDLE INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

// How many times CreateFileW looks again when what stands at the name appears or vanishes between
// its looks: bounded, so that something that keeps doing so cannot hold the run.
constexpr int kCreateFileAttempts = 4;

// The process's whole command line, owned by the process.
const wchar_t *GetCommandLineW();

// Splits a command line by the platform's standard rules into one freshly allocated block (to be
// released with LocalFree) holding at least element 0; stores the count. Null on failure.
wchar_t **CommandLineToArgvW(const wchar_t *commandLine, int *count);

// Releases a block obtained from CommandLineToArgvW.
void *LocalFree(void *block);

// Copies the temporary-files directory, ending in a separator, into the buffer. Returns its length
// without the NUL, 0 on failure, or the size needed (NUL included) when the buffer is too small.
DWORD GetTempPathW(DWORD bufferLength, wchar_t *buffer);

// The current local wall-clock date and time.
void GetLocalTime(SYSTEMTIME *time);

// Creates or replaces a file, the one request the recorder makes: the disposition is CREATE_ALWAYS
// and the security attributes null (the Windows implementation takes them as given, the POSIX one
// fails any other). INVALID_HANDLE_VALUE on failure. The file is private to the caller's account
// (on Windows also to SYSTEM and the Administrators group), new or replaced. An existing file is
// replaced only when it is the caller's own plain file, with no other name, that no other process
// holds; anything else at the name is left as it is and the call fails. A file the call created
// and then refuses is removed again, unless another process has it open (or locked) to write
// there.
HANDLE CreateFileW(const wchar_t *fileName, DWORD desiredAccess, DWORD shareMode,
                   void *securityAttributes, DWORD creationDisposition, DWORD flagsAndAttributes,
                   HANDLE templateFile);

// Writes synchronously at the file's current position.
BOOL WriteFile(HANDLE file, const void *buffer, DWORD bytesToWrite, DWORD *bytesWritten,
               void *overlapped);

BOOL CloseHandle(HANDLE object);

} // namespace platform

#endif

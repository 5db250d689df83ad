// The platform operations on POSIX systems, standing in for the Windows services of the same name.
#include "platform/posix.h"

#include "text/codec.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// The process's argv, kept as the process keeps its command line on Windows.
int processArgc = 0;
char **processArgv = nullptr;

platform::HANDLE HandleOf(int descriptor) {
  return reinterpret_cast<platform::HANDLE>(static_cast<std::intptr_t>(descriptor));
}

int DescriptorOf(platform::HANDLE handle) {
  return static_cast<int>(reinterpret_cast<std::intptr_t>(handle));
}

// Opens the file at the name for writing, creating it only where nothing is, so that the run
// knows whether the file is of its own making. Never follows a symbolic link, and never blocks on
// a FIFO planted at the name. -1 on failure.
int OpenOrCreate(const char *path, bool *created) {
  constexpr int flags = O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  for (int attempt = 0; attempt < platform::kCreateFileAttempts; ++attempt) {
    int descriptor = open(path, flags | O_CREAT | O_EXCL, S_IRUSR | S_IWUSR);
    *created = descriptor >= 0;
    if (descriptor >= 0 || errno != EEXIST)
      return descriptor;
    descriptor = open(path, flags);
    if (descriptor >= 0 || errno != ENOENT)
      return descriptor;
  }
  return -1;
}

enum class Claim { Taken, Refused, HeldByAnother };

// Takes the opened file for the log, or refuses it: the name is predictable and the directory may
// be shared, so it must be our own plain file, locked by no other process (either kind of lock:
// other programs and other runs may use flock or fcntl). Nothing is truncated until every check
// has passed, so a refused file keeps its content.
Claim ClaimLogFile(int descriptor) {
  struct stat status;
  if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != geteuid() ||
      status.st_nlink != 1)
    return Claim::Refused;
  struct flock lock = {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  if (fcntl(descriptor, F_SETLK, &lock) != 0 || flock(descriptor, LOCK_EX | LOCK_NB) != 0)
    return Claim::HeldByAnother;
  // The record holds command lines, which can hold secrets. A umask can leave a new file with
  // less than 0600, and some file systems (FAT, some FUSE ones) refuse fchmod.
  if ((status.st_mode & 07777) != 0600 && fchmod(descriptor, 0600) != 0)
    return Claim::Refused;
  return ftruncate(descriptor, 0) == 0 ? Claim::Taken : Claim::Refused;
}

// Removes a file this run created and then refused, if the name still leads to it. In a directory
// with the sticky bit, as shared temporary directories have, no other user can put something else
// at the name between the check and the removal.
void RemoveIfStillNamed(const char *path, int descriptor) {
  struct stat opened, named;
  if (fstat(descriptor, &opened) == 0 && lstat(path, &named) == 0 &&
      opened.st_dev == named.st_dev && opened.st_ino == named.st_ino)
    unlink(path);
}

} // namespace

namespace platform {

void SetProcessArguments(int argc, char **argv) {
  processArgc = argc;
  processArgv = argv;
}

// There is no command line on POSIX: the argv given to SetProcessArguments takes its place.
const wchar_t *GetCommandLineW() { return L""; }

wchar_t **CommandLineToArgvW(const wchar_t *, int *count) {
  if (processArgc < 1 || processArgv == nullptr)
    return nullptr;
  const auto argc = static_cast<std::size_t>(processArgc);
  // One block, as on Windows: the pointers, then the strings, one unit per byte at most.
  std::size_t units = 0;
  for (std::size_t i = 0; i < argc; ++i)
    units += std::strlen(processArgv[i]) + 1;
  const std::size_t pointerBytes = (argc + 1) * sizeof(wchar_t *);
  void *memory = std::malloc(pointerBytes + units * sizeof(wchar_t));
  if (memory == nullptr)
    return nullptr;
  auto *block = static_cast<wchar_t **>(memory);
  auto *out = reinterpret_cast<wchar_t *>(static_cast<char *>(memory) + pointerBytes);
  for (std::size_t i = 0; i < argc; ++i) {
    block[i] = out;
    out = text::DecodeBytesInto(processArgv[i], out);
    *out++ = L'\0';
  }
  block[argc] = nullptr;
  *count = processArgc;
  return block;
}

void *LocalFree(void *block) {
  std::free(block);
  return nullptr;
}

DWORD GetTempPathW(DWORD bufferLength, wchar_t *buffer) {
  const char *variable = std::getenv("TMPDIR");
  const std::string_view bytes = variable != nullptr && *variable != '\0' ? variable : "/tmp";
  // The folder takes at most a unit a byte, and then a separator and the NUL: one that surely fits
  // is decoded straight into the buffer, and only a longer one on its own first, to count it.
  WideString longer;
  wchar_t *units = buffer;
  if (bytes.size() + 2 > bufferLength) {
    longer.resize(bytes.size() + 1);
    units = longer.data();
  }
  auto count = static_cast<std::size_t>(text::DecodeBytesInto(bytes, units) - units);
  if (units[count - 1] != L'/')
    units[count++] = L'/';
  if (count + 1 > bufferLength)
    return count + 1 > UINT32_MAX ? UINT32_MAX : static_cast<DWORD>(count + 1);
  if (units != buffer)
    std::copy_n(units, count, buffer);
  buffer[count] = L'\0';
  return static_cast<DWORD>(count);
}

void GetLocalTime(SYSTEMTIME *time) {
  struct timespec now = {};
  clock_gettime(CLOCK_REALTIME, &now);
  tzset();
  struct tm local = {};
  if (localtime_r(&now.tv_sec, &local) == nullptr) {
    *time = {};
    return;
  }
  *time = {static_cast<WORD>(local.tm_year + 1900), static_cast<WORD>(local.tm_mon + 1),
           static_cast<WORD>(local.tm_wday),        static_cast<WORD>(local.tm_mday),
           static_cast<WORD>(local.tm_hour),        static_cast<WORD>(local.tm_min),
           static_cast<WORD>(local.tm_sec),         static_cast<WORD>(now.tv_nsec / 1000000)};
}

// Implements only what the recorder asks for: a file created or replaced for writing, which other
// runs may not write while this one holds it.
HANDLE CreateFileW(const wchar_t *fileName, DWORD desiredAccess, DWORD shareMode,
                   void *securityAttributes, DWORD creationDisposition, DWORD,
                   HANDLE templateFile) {
  if (desiredAccess != GENERIC_WRITE || shareMode != FILE_SHARE_READ ||
      creationDisposition != CREATE_ALWAYS || securityAttributes != nullptr ||
      templateFile != nullptr)
    return INVALID_HANDLE_VALUE;
  const std::optional<std::string> path = text::EncodeUnits(fileName);
  if (!path)
    return INVALID_HANDLE_VALUE;
  bool created = false;
  const int descriptor = OpenOrCreate(path->c_str(), &created);
  if (descriptor < 0)
    return INVALID_HANDLE_VALUE;
  const Claim claim = ClaimLogFile(descriptor);
  if (claim != Claim::Taken) {
    // A refused run leaves nothing of its own making. A file another process has locked is in
    // use: another run may have opened it between our creation and our lock, and writes there.
    if (created && claim == Claim::Refused)
      RemoveIfStillNamed(path->c_str(), descriptor);
    close(descriptor);
    return INVALID_HANDLE_VALUE;
  }
  // A write past a file-size limit must fail like any other write, not end the process.
  signal(SIGXFSZ, SIG_IGN);
  return HandleOf(descriptor);
}

BOOL WriteFile(HANDLE file, const void *buffer, DWORD bytesToWrite, DWORD *bytesWritten, void *) {
  const ssize_t written = write(DescriptorOf(file), buffer, bytesToWrite);
  *bytesWritten = written > 0 ? static_cast<DWORD>(written) : 0;
  return written >= 0 && static_cast<DWORD>(written) == bytesToWrite;
}

BOOL CloseHandle(HANDLE object) { return close(DescriptorOf(object)) == 0; }

} // namespace platform

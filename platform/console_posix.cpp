// The console program's needs on POSIX systems: the standard streams, paths as the bytes they are
// (decoded and encoded as arguments are), and whose a file is.
#include "platform/console.h"
#include "text/codec.h"

#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

bool WriteText(Stream stream, std::string_view utf8) { return WriteBytes(stream, utf8); }

bool WriteBytes(Stream stream, std::string_view bytes) {
  const int descriptor = stream == Stream::Output ? STDOUT_FILENO : STDERR_FILENO;
  while (!bytes.empty()) {
    const ssize_t written = write(descriptor, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR)
      continue;
    if (written <= 0)
      return false;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

std::filesystem::path PathOf(std::wstring_view units) {
  const std::optional<std::string> bytes = text::EncodeUnits(units);
  return bytes ? std::filesystem::path(*bytes) : std::filesystem::path();
}

WideString UnitsOf(const std::filesystem::path &path) { return text::DecodeBytes(path.native()); }

bool ArgumentsEscapeBytes() { return true; }

std::int64_t ModifiedTime(const std::filesystem::path &path) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0)
    return 0;
  return static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec;
}

std::int64_t StartTime() {
  // The coarse clock is the one files are stamped with: a file written after this call can never
  // seem older than it.
  timespec now = {};
  clock_gettime(CLOCK_REALTIME_COARSE, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

bool IsOwnFile(const std::filesystem::path &path) {
  struct stat status;
  return lstat(path.c_str(), &status) == 0 && status.st_uid == geteuid();
}

} // namespace platform

// The console program's needs on POSIX systems: the standard streams, paths as the bytes they are
// (decoded and encoded as arguments are), and whose a file is.
#include "platform/accounts.h"
#include "platform/console.h"
#include "text/codec.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

namespace {

// The whole of a small system file (/proc, /etc); empty when it cannot be read.
std::string FileText(const char *path) {
  std::string text;
  const int descriptor = open(path, O_RDONLY | O_CLOEXEC);
  if (descriptor < 0)
    return text;
  char buffer[4096];
  for (ssize_t got; (got = read(descriptor, buffer, sizeof buffer)) != 0;) {
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0)
      break;
    text.append(buffer, static_cast<std::size_t>(got));
  }
  close(descriptor);
  return text;
}

} // namespace

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

std::optional<Owner> OwnerOf(const std::filesystem::path &path) {
  struct stat status;
  if (lstat(path.c_str(), &status) != 0)
    return std::nullopt;
  // Read once: a search asks for the owner of every log in a folder.
  static const std::uint32_t firstUserId = accounts::FirstUserId(FileText("/etc/login.defs"));
  const std::string id = std::to_string(status.st_uid);
  return Owner{WideString(id.begin(), id.end()), status.st_uid == geteuid(),
               accounts::IsSystemUid(status.st_uid, firstUserId)};
}

std::optional<WideString> AccountName(const WideString &id) {
  const std::optional<std::string> bytes = text::EncodeUnits(id);
  const std::optional<std::uint32_t> uid = bytes ? accounts::UidOfText(*bytes) : std::nullopt;
  const std::optional<std::string> name =
      uid ? accounts::NameOfUid(FileText("/etc/passwd"), *uid) : std::nullopt;
  return name ? std::optional(text::DecodeBytes(*name)) : std::nullopt;
}

std::optional<WideString> AccountId(const WideString &account) {
  const std::optional<std::string> bytes = text::EncodeUnits(account);
  if (!bytes)
    return std::nullopt;
  std::optional<std::uint32_t> uid = accounts::UidOfText(*bytes);
  if (!uid)
    uid = accounts::UidOfName(FileText("/etc/passwd"), *bytes);
  if (!uid)
    return std::nullopt;
  const std::string id = std::to_string(*uid);
  return WideString(id.begin(), id.end());
}

} // namespace platform

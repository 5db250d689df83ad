// The console program's needs on POSIX systems: the standard streams, paths as the bytes they are
// (decoded and encoded as arguments are), whose a file is, and when the process started.
#include "platform/accounts.h"
#include "platform/console.h"
#include "text/codec.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace {

constexpr std::int64_t kSecond = 1'000'000'000;
// The slowest timer tick Linux offers (100 Hz), for when the system does not say.
constexpr std::int64_t kSlowestTick = 10'000'000;
// Files are stamped from the kernel's coarse clock, which is moved on at timer ticks and lags the
// wall clock by a tick or two (measured up to 7.6 ms at 250 Hz under load): allow two of the
// slowest ticks.
constexpr std::int64_t kCoarseLag = 2 * kSlowestTick;
// What reading the wall clock and the boot clock one after the other can be off by, with room.
constexpr std::int64_t kClockPairing = 1'000'000;

std::int64_t Nanoseconds(const timespec &time) {
  return static_cast<std::int64_t>(time.tv_sec) * kSecond + time.tv_nsec;
}

std::int64_t Clock(clockid_t clock) {
  timespec now = {};
  clock_gettime(clock, &now);
  return Nanoseconds(now);
}

// Everything left to read from the descriptor; nothing when reading fails.
std::optional<std::string> ReadAll(int descriptor) {
  std::string text;
  char buffer[4096];
  for (ssize_t got; (got = read(descriptor, buffer, sizeof buffer)) != 0;) {
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0)
      return std::nullopt;
    text.append(buffer, static_cast<std::size_t>(got));
  }
  return text;
}

// The whole of a small system file (/proc, /etc); empty when it cannot be read.
std::string FileText(const char *path) {
  const int descriptor = open(path, O_RDONLY | O_CLOEXEC);
  if (descriptor < 0)
    return {};
  const std::optional<std::string> text = ReadAll(descriptor);
  close(descriptor);
  return text.value_or("");
}

// The length of the kernel's record of a process's start: a clock tick, 10 ms at 100 per second.
std::int64_t StartTick() {
  const long ticks = sysconf(_SC_CLK_TCK);
  return ticks > 0 ? kSecond / ticks : kSlowestTick;
}

// When this process was created, in clock ticks since boot, rounded down: the 22nd field of
// /proc/self/stat, counted after the command name in parentheses (which may hold anything).
std::optional<std::uint64_t> StartTicks() {
  const std::string stat = FileText("/proc/self/stat");
  std::size_t at = stat.rfind(')');
  for (int field = 2; at != std::string::npos && field < 22; ++field)
    at = stat.find(' ', at + 1);
  if (at == std::string::npos)
    return std::nullopt;
  std::uint64_t ticks = 0;
  std::size_t digits = 0;
  for (++at; at < stat.size() && stat[at] >= '0' && stat[at] <= '9'; ++at, ++digits)
    ticks = ticks * 10 + static_cast<std::uint64_t>(stat[at] - '0');
  return digits > 0 ? std::optional(ticks) : std::nullopt;
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

std::optional<std::string> ReadInput() { return ReadAll(STDIN_FILENO); }

std::vector<WideString> SplitAsTheRecorder(std::wstring_view line) {
  return text::SplitCommandLine(line, text::SplitRules::kRecorder);
}

text::QuoteForm DefaultQuoteForm() { return text::QuoteForm::kSh; }

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
  return Nanoseconds(status.st_mtim);
}

std::int64_t Now() { return Clock(CLOCK_REALTIME); }

std::int64_t StartTime() {
  const std::optional<std::uint64_t> ticks = StartTicks();
  if (!ticks)
    return Clock(CLOCK_REALTIME_COARSE) - kCoarseLag;
  // The boot clock and the wall clock read together give the wall-clock time of the boot: the
  // wall clock between two readings of the boot clock, the closest of a few tries, since a pause
  // between the readings would put it off.
  std::int64_t booted = 0;
  for (std::int64_t tries = 0, gap = kClockPairing; tries < 8 && gap >= kClockPairing / 10;
       ++tries) {
    const std::int64_t bootBefore = Clock(CLOCK_BOOTTIME);
    const std::int64_t wall = Clock(CLOCK_REALTIME);
    const std::int64_t bootAfter = Clock(CLOCK_BOOTTIME);
    if (tries == 0 || bootAfter - bootBefore < gap) {
      gap = bootAfter - bootBefore;
      booted = wall - (bootBefore + gap / 2);
    }
  }
  return booted + static_cast<std::int64_t>(*ticks) * StartTick() - kCoarseLag - kClockPairing;
}

std::chrono::steady_clock::time_point SteadyNow() { return std::chrono::steady_clock::now(); }

void Sleep(std::chrono::milliseconds duration) { std::this_thread::sleep_for(duration); }

std::int64_t StartWindow() { return StartTick() + kCoarseLag + kClockPairing; }

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

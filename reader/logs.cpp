// Finding logs.
#include "reader/logs.h"

#include "platform/console.h"
#include "reader/reading.h"
#include "recorder/log_file.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>

namespace reader {

namespace {

namespace fs = std::filesystem;

// Polling is cheap next to the launcher a script starts, and quick enough for it.
constexpr auto kPollInterval = std::chrono::milliseconds(20);
// A writer that has not added to the file for this long has stopped.
constexpr auto kSettled = std::chrono::milliseconds(1000);
// More than any platform's start window.
constexpr auto kLongestWindow = std::chrono::milliseconds(100);

// Named as the recorder names its logs, whatever the time in the name.
bool IsLogName(const platform::WideString &name) {
  return name.size() > recorder::LOG_PREFIX.size() + recorder::LOG_EXTENSION.size() &&
         name.starts_with(recorder::LOG_PREFIX) && name.ends_with(recorder::LOG_EXTENSION);
}

// Whether the file is as complete as it will get.
bool Finished(const fs::path &path) {
  std::string problem;
  const std::optional<std::string> bytes = ReadLogBytes(path, problem);
  return !bytes || ReadRecord(*bytes).reading.complete;
}

// Whether the trust takes the file; when not, its owner's id joins the passed over ("" when its
// owner cannot be read: a file system that keeps none, or a file this user may not open).
bool Taken(const fs::path &path, const Trust &trust, std::set<WideString> &passedOver) {
  const std::optional<platform::Owner> owner = platform::OwnerOf(path);
  if (owner && Trusts(trust, *owner))
    return true;
  passedOver.insert(owner ? owner->id : WideString());
  return false;
}

WideString NameOf(const WideString &id) { return platform::AccountName(id).value_or(id); }

// Owners' ids as the names to show, in order.
std::vector<WideString> Named(const std::set<WideString> &ids) {
  std::vector<WideString> names;
  for (const WideString &id : ids)
    names.push_back(id.empty() ? L"(an owner that cannot be read)" : NameOf(id));
  std::sort(names.begin(), names.end());
  return names;
}

} // namespace

std::optional<fs::path> RecorderFolder() {
  const std::optional<platform::WideString> directory = recorder::GetTempDirectory();
  if (!directory)
    return std::nullopt;
  return platform::PathOf(*directory);
}

std::vector<FoundLog> LogsIn(const fs::path &folder, std::error_code &error) {
  std::vector<FoundLog> logs;
  for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
       entry.increment(error)) {
    std::error_code ignored;
    if (!entry->is_regular_file(ignored) || entry->is_symlink(ignored) ||
        !IsLogName(platform::UnitsOf(entry->path().filename())))
      continue;
    logs.push_back(
        {entry->path(), platform::ModifiedTime(entry->path()), entry->file_size(ignored)});
  }
  std::sort(logs.begin(), logs.end(), [](const FoundLog &a, const FoundLog &b) {
    return a.modified != b.modified ? a.modified > b.modified : a.path > b.path;
  });
  return logs;
}

std::optional<WideString> OwnerName(const fs::path &path) {
  const std::optional<platform::Owner> owner = platform::OwnerOf(path);
  return owner ? std::optional(NameOf(owner->id)) : std::nullopt;
}

TrustedLogs TrustedLogsIn(const fs::path &folder, const Trust &trust, std::error_code &error,
                          std::size_t most) {
  TrustedLogs found;
  std::set<WideString> passedOver;
  for (const FoundLog &log : LogsIn(folder, error)) {
    if (found.logs.size() >= most)
      break;
    if (Taken(log.path, trust, passedOver))
      found.logs.push_back(log);
  }
  found.passedOver = Named(passedOver);
  return found;
}

std::optional<std::string> ReadLogBytes(const fs::path &path, std::string &problem) {
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (!fs::exists(status)) {
    problem = "no such file";
    return std::nullopt;
  }
  if (fs::is_directory(status)) {
    problem = "a directory, not a log";
    return std::nullopt;
  }
  // A pipe or a device could keep the reader waiting for ever.
  if (!fs::is_regular_file(status)) {
    problem = "not a plain file";
    return std::nullopt;
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    problem = "cannot be opened for reading";
    return std::nullopt;
  }
  // Allocated once, at the file's size: buffers freed as a string doubles would stay with the
  // allocator, and the reading's own memory would then come on top of them.
  std::string bytes;
  if (const std::uintmax_t size = fs::file_size(path, error); !error)
    bytes.reserve(std::min<std::uintmax_t>(size, kLargestLog + 1));
  char buffer[65536];
  while (file.read(buffer, sizeof buffer) || file.gcount() > 0) {
    bytes.append(buffer, static_cast<std::size_t>(file.gcount()));
    if (bytes.size() > kLargestLog) {
      problem = "larger than any record (over " + std::to_string(kLargestLog >> 20) + " MiB)";
      return std::nullopt;
    }
  }
  if (file.bad()) {
    problem = "cannot be read";
    return std::nullopt;
  }
  return bytes;
}

std::optional<fs::path> WaitForNewLog(const fs::path &folder, const Trust &trust, double seconds,
                                      std::int64_t started, std::error_code &error,
                                      std::vector<WideString> &passedOver) {
  // The logs already judged: those in the folder before the start, and new ones passed over, as
  // they were then. Any other is new.
  using Stamp = std::pair<std::int64_t, std::uintmax_t>;
  std::map<fs::path, Stamp> judged;
  for (const FoundLog &log : LogsIn(folder, error))
    if (log.modified < started)
      judged[log.path] = {log.modified, log.size};
  if (error)
    return std::nullopt;
  const auto deadline =
      platform::SteadyNow() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                  std::chrono::duration<double>(seconds));
  std::set<WideString> passed;
  // A folder that goes away while waiting ends the wait like a deadline.
  std::error_code later;
  std::optional<fs::path> found;
  while (!found) {
    for (const FoundLog &log : LogsIn(folder, later)) {
      const Stamp stamp = {log.modified, log.size};
      const auto earlier = judged.find(log.path);
      if (earlier != judged.end() && earlier->second == stamp)
        continue;
      if (Taken(log.path, trust, passed)) {
        found = log.path;
        break;
      }
      judged[log.path] = stamp;
    }
    if (found || platform::SteadyNow() >= deadline)
      break;
    platform::Sleep(kPollInterval);
  }
  passedOver = Named(passed);
  if (!found)
    return std::nullopt;
  // The recorder writes line by line: wait for the last line, or for the writing to stop.
  std::uintmax_t size = fs::file_size(*found, later);
  for (auto still = platform::SteadyNow();
       !Finished(*found) && platform::SteadyNow() - still < kSettled;) {
    platform::Sleep(kPollInterval);
    const std::uintmax_t now = fs::file_size(*found, later);
    if (now != size) {
      size = now;
      still = platform::SteadyNow();
    }
  }
  return found;
}

void OutwaitStartWindow(std::int64_t modified) {
  // A write time in the future (a clock set back, a file stamped by hand) cannot be outwaited.
  const auto giveUp = platform::SteadyNow() + kLongestWindow;
  while (platform::Now() - modified <= platform::StartWindow() && platform::SteadyNow() < giveUp)
    platform::Sleep(std::chrono::milliseconds(1));
}

} // namespace reader

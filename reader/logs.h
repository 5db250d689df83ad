// Finding logs: the folder the recorder writes to, the logs in a folder, a log's bytes, and
// waiting for a new log to appear.
#ifndef TARNWHISTLE_READER_LOGS_H
#define TARNWHISTLE_READER_LOGS_H

#include "platform/platform.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

struct FoundLog {
  std::filesystem::path path;
  std::int64_t modified; // as platform::ModifiedTime gives it
  std::uintmax_t size;
};

// The temporary-files directory, exactly as the recorder finds it; nothing when it has none.
std::optional<std::filesystem::path> RecorderFolder();

// The plain files named like logs in the folder, newest first; only this user's own when asked,
// since anyone may plant a file in a shared temporary directory. Sets the error when the folder
// cannot be listed.
std::vector<FoundLog> LogsIn(const std::filesystem::path &folder, bool ownOnly,
                             std::error_code &error);

// The local time a log's name holds, as "YYYY-MM-DD hh:mm:ss".
std::optional<std::string> TimeOfName(const platform::WideString &name);

// The whole file, or nothing with the reason in problem: missing, a directory, unreadable, or
// larger than any record.
std::optional<std::string> ReadLogBytes(const std::filesystem::path &path, std::string &problem);

// Waits up to the given time for a log written since the program started: one that was not in the
// folder when the wait began or has changed since, or one written after the start (by a launcher
// started right after this program, before it looked). Then waits until the record is complete or
// the file stops growing.
// Sets the error, at once, when the folder cannot be listed.
std::optional<std::filesystem::path> WaitForNewLog(const std::filesystem::path &folder,
                                                   bool ownOnly, double seconds,
                                                   std::int64_t started, std::error_code &error);

#endif

// Finding logs: the folder the recorder writes to, the logs in a folder and whose they are, a log's
// bytes, and waiting for a new log to appear.
#ifndef TARNWHISTLE_READER_LOGS_H
#define TARNWHISTLE_READER_LOGS_H

#include "platform/console.h"
#include "reader/trust.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace reader {

using platform::WideString;

struct FoundLog {
  std::filesystem::path path;
  std::int64_t modified; // as platform::ModifiedTime gives it
  std::uintmax_t size;
};

// The temporary-files directory, exactly as the recorder finds it; nothing when it has none.
std::optional<std::filesystem::path> RecorderFolder();

// The plain files named like logs in the folder, whoever owns them, newest first. Sets the error
// when the folder cannot be listed.
std::vector<FoundLog> LogsIn(const std::filesystem::path &folder, std::error_code &error);

// The name to show for a file's owner: its account's name where it has one, else its id; nothing
// when the file's owner cannot be read.
std::optional<WideString> OwnerName(const std::filesystem::path &path);

// The logs in the folder that the trust takes, newest first, up to the number asked for; and the
// owners of the logs passed over on the way, by name, each once. Sets the error when the folder
// cannot be listed.
struct TrustedLogs {
  std::vector<FoundLog> logs;
  std::vector<WideString> passedOver;
};
TrustedLogs TrustedLogsIn(const std::filesystem::path &folder, const Trust &trust,
                          std::error_code &error, std::size_t most = SIZE_MAX);

// The whole file, or nothing with the reason in problem: missing, a directory, unreadable, or
// larger than any record.
std::optional<std::string> ReadLogBytes(const std::filesystem::path &path, std::string &problem);

// Waits up to the given time for a log the trust takes that was written since the program was
// created: one written at or after platform::StartTime(), or that was not in the folder when the
// wait began or has changed since. Then waits until the record is complete or the file stops
// growing. New logs of other owners are passed over, their owners added to passedOver. Sets the
// error, at once, when the folder cannot be listed.
std::optional<std::filesystem::path> WaitForNewLog(const std::filesystem::path &folder,
                                                   const Trust &trust, double seconds,
                                                   std::int64_t started, std::error_code &error,
                                                   std::vector<WideString> &passedOver);

// Returns once the write time is more than platform::StartWindow() in the past, so that a reader
// started after this one ends cannot take the log it read for one written since its own start.
void OutwaitStartWindow(std::int64_t modified);

} // namespace reader

#endif

// Where the record goes: the temporary-files directory, a name from the local time, a new file.
#ifndef TARNWHISTLE_RECORDER_LOG_FILE_H
#define TARNWHISTLE_RECORDER_LOG_FILE_H

#include "platform/platform.h"
#include "recorder/log_name.h"

#include <optional>
#include <string_view>

namespace recorder {

using platform::WideString;

using LogFile = platform::HANDLE;

// The temporary-files directory as the platform gives it, ending in its separator; nothing when
// the platform fails or the text does not fit in MAX_PATH code units with its NUL.
std::optional<WideString> GetTempDirectory();

// Reads the local time once and formats it as YYYY-MM-DD_hh-mm-ss (the year at least 4 digits).
WideString FormatTimestamp();

// The time formatted as FormatTimestamp formats the local time.
WideString TimestampOf(const platform::SYSTEMTIME &time);

// The time a file name holds when it is a name BuildLogPath gives (LOG_PREFIX, a timestamp,
// LOG_EXTENSION); nothing for any other name.
std::optional<platform::SYSTEMTIME> TimeOfLogName(std::wstring_view name);

// The directory, LOG_PREFIX, the timestamp and LOG_EXTENSION, with nothing between them.
WideString BuildLogPath(WideString directory, const WideString &timestamp);

// Creates the file, replacing an earlier one of this user's of the same name, open for writing
// and shared only for reading. INVALID_HANDLE_VALUE when it cannot be created.
LogFile OpenLogFile(const WideString &path);

} // namespace recorder

#endif

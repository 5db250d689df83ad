// How the log is named: LOG_PREFIX, the local time as a timestamp, LOG_EXTENSION. Kept apart from
// log_file.h, whose platform names <windows.h> defines as macros, so that test programs that
// include it can take a log's name apart too.
#ifndef TARNWHISTLE_RECORDER_LOG_NAME_H
#define TARNWHISTLE_RECORDER_LOG_NAME_H

#include <cstddef>
#include <string_view>

namespace recorder {

constexpr std::wstring_view LOG_PREFIX = L"Tarnwhistle_";
constexpr std::wstring_view LOG_EXTENSION = L".log";

// The length of a timestamp, YYYY-MM-DD_hh-mm-ss, for the years 0 to 9999 (later years take more
// digits).
constexpr std::size_t LOG_TIMESTAMP_LENGTH = 19;

} // namespace recorder

#endif

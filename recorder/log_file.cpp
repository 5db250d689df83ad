// Naming and creating the log file.
#include "recorder/log_file.h"

#include <cstdint>
#include <iomanip>
#include <sstream>

namespace recorder {

std::optional<WideString> GetTempDirectory() {
  wchar_t buffer[platform::MAX_PATH] = {};
  const platform::DWORD length = platform::GetTempPathW(platform::MAX_PATH, buffer);
  if (length == 0 || length > platform::MAX_PATH)
    return std::nullopt;
  // Whatever the count says, the text ends at the NUL inside the buffer; a buffer without one,
  // or with nothing before it, holds no usable directory.
  const std::wstring_view text(buffer, platform::MAX_PATH);
  const std::size_t end = text.find(L'\0');
  if (end == std::wstring_view::npos || end == 0)
    return std::nullopt;
  return WideString(text.substr(0, end));
}

WideString FormatTimestamp() {
  platform::SYSTEMTIME now = {};
  platform::GetLocalTime(&now);
  return TimestampOf(now);
}

WideString TimestampOf(const platform::SYSTEMTIME &time) {
  std::wostringstream text;
  text << std::setfill(L'0') << std::setw(4) << time.wYear << L'-' << std::setw(2) << time.wMonth
       << L'-' << std::setw(2) << time.wDay << L'_' << std::setw(2) << time.wHour << L'-'
       << std::setw(2) << time.wMinute << L'-' << std::setw(2) << time.wSecond;
  return text.str();
}

std::optional<platform::SYSTEMTIME> TimeOfLogName(std::wstring_view name) {
  if (!name.starts_with(LOG_PREFIX) || !name.ends_with(LOG_EXTENSION))
    return std::nullopt;
  std::wstring_view stamp = name.substr(LOG_PREFIX.size());
  stamp.remove_suffix(LOG_EXTENSION.size());
  // The fields are read as numbers between the separators; the name is the recorder's only when
  // formatting them again gives it back, which settles widths, padding and separators at once.
  platform::WORD fields[6] = {};
  std::size_t field = 0;
  std::uint32_t value = 0;
  for (std::size_t i = 0; i <= stamp.size(); ++i) {
    if (i < stamp.size() && stamp[i] >= L'0' && stamp[i] <= L'9') {
      value = value * 10 + static_cast<std::uint32_t>(stamp[i] - L'0');
      if (value > 0xFFFF)
        return std::nullopt;
    } else if (field < 6) {
      fields[field++] = static_cast<platform::WORD>(value);
      value = 0;
    } else {
      return std::nullopt;
    }
  }
  const platform::SYSTEMTIME time = {fields[0], fields[1], 0,         fields[2],
                                     fields[3], fields[4], fields[5], 0};
  if (field != 6 || TimestampOf(time) != stamp || time.wMonth < 1 || time.wMonth > 12 ||
      time.wDay < 1 || time.wDay > 31 || time.wHour > 23 || time.wMinute > 59 || time.wSecond > 59)
    return std::nullopt;
  return time;
}

WideString BuildLogPath(WideString directory, const WideString &timestamp) {
  WideString path = std::move(directory);
  path.reserve(path.size() + LOG_PREFIX.size() + timestamp.size() + LOG_EXTENSION.size());
  path.append(LOG_PREFIX).append(timestamp).append(LOG_EXTENSION);
  return path;
}

LogFile OpenLogFile(const WideString &path) {
  return platform::CreateFileW(path.c_str(), platform::GENERIC_WRITE, platform::FILE_SHARE_READ,
                               nullptr, platform::CREATE_ALWAYS, platform::FILE_ATTRIBUTE_NORMAL,
                               nullptr);
}

} // namespace recorder

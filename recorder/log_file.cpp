// Naming and creating the log file.
#include "recorder/log_file.h"

#include <iomanip>
#include <sstream>

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
  std::wostringstream text;
  text << std::setfill(L'0') << std::setw(4) << now.wYear << L'-' << std::setw(2) << now.wMonth
       << L'-' << std::setw(2) << now.wDay << L'_' << std::setw(2) << now.wHour << L'-'
       << std::setw(2) << now.wMinute << L'-' << std::setw(2) << now.wSecond;
  return text.str();
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

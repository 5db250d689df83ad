// The recorder's driver.
#include "recorder/run.h"

#include "platform/platform.h"
#include "recorder/log_file.h"
#include "recorder/record.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <utility>

namespace recorder {

namespace {

void ReleaseArguments(wchar_t **block) { platform::LocalFree(block); }

using ArgumentBlock = std::unique_ptr<wchar_t *[], decltype(&ReleaseArguments)>;

} // namespace

ExitStatus RunRecorder() {
  int count = 0;
  // Declared first so that it is released last, after the log file is closed.
  const ArgumentBlock block(platform::CommandLineToArgvW(platform::GetCommandLineW(), &count),
                            &ReleaseArguments);
  // The record starts with element 0: a vector without it cannot be recorded.
  if (!block || count < 1)
    return kSplitFailure;
  const ArgumentVector arguments(block.get(), static_cast<std::size_t>(count));
  const ExitStatus status = ComputeExitStatus(count);

  std::optional<WideString> directory = GetTempDirectory();
  if (!directory)
    return kNoTempDirectory;
  const WideString timestamp = FormatTimestamp();
  const WideString path = BuildLogPath(std::move(*directory), timestamp);

  const LogFile file = OpenLogFile(path);
  if (file == platform::INVALID_HANDLE_VALUE)
    return kLogNotCreated;
  WriteRecord(file, arguments, status);
  platform::CloseHandle(file);
  return status;
}

} // namespace recorder

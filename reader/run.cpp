// The reader's driver.
#include "reader/run.h"

#include "platform/console.h"
#include "reader/logs.h"
#include "reader/options.h"
#include "reader/reading.h"
#include "reader/show.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

namespace fs = std::filesystem;

void Say(const std::string &text) { platform::WriteText(platform::Stream::Output, text); }

int Complain(const std::string &text) {
  platform::WriteText(platform::Stream::Error, "tarnwhistle-read: " + text + "\n");
  return kReaderFailed;
}

void ReleaseArguments(wchar_t **block) { platform::LocalFree(block); }

std::vector<WideString> OwnArguments() {
  int count = 0;
  const std::unique_ptr<wchar_t *[], decltype(&ReleaseArguments)> block(
      platform::CommandLineToArgvW(platform::GetCommandLineW(), &count), &ReleaseArguments);
  std::vector<WideString> arguments;
  for (int i = 1; block && i < count; ++i)
    arguments.emplace_back(block[i]);
  return arguments;
}

// The file read and its reading, or the reason it has none.
struct Read {
  std::string bytes;
  ReadOutcome outcome;
};

Read ReadLog(const fs::path &path) {
  Read read;
  std::optional<std::string> bytes = ReadLogBytes(path, read.outcome.problem);
  if (!bytes)
    return read;
  read.bytes = std::move(*bytes);
  read.outcome = ReadRecord(read.bytes);
  if (!read.outcome.problem.empty())
    read.outcome.problem = "not a record: " + read.outcome.problem;
  return read;
}

int List(const fs::path &folder, bool ownOnly, bool byteEscapes) {
  std::error_code error;
  const std::vector<FoundLog> logs = LogsIn(folder, ownOnly, error);
  if (error)
    return Complain(Visible(platform::UnitsOf(folder), byteEscapes) +
                    ": cannot be listed: " + error.message());
  for (const FoundLog &log : logs) {
    const Read read = ReadLog(log.path);
    const Reading &reading = read.outcome.reading;
    std::string what = read.outcome.problem;
    if (what.empty())
      what = std::to_string(reading.arguments.size()) +
             (reading.arguments.size() == 1 ? " argument" : " arguments") +
             (reading.complete ? "" : ", cut short");
    const std::string time = TimeOfName(platform::UnitsOf(log.path.filename())).value_or("-");
    Say(time + std::string(time.size() < 19 ? 19 - time.size() : 0, ' ') + "  " + what + "  " +
        Visible(platform::UnitsOf(log.path), byteEscapes) + "\n");
  }
  return kReaderDone;
}

// The log to read when none is named: the newest in the folder, or a new one.
std::optional<fs::path> FindLog(const ReaderOptions &options, bool byteEscapes,
                                std::int64_t started, int &status) {
  std::optional<fs::path> folder;
  if (options.folder)
    folder = platform::PathOf(*options.folder);
  else
    folder = RecorderFolder();
  if (!folder) {
    status = Complain("no temporary directory: its path does not fit in 260 units");
    return std::nullopt;
  }
  const bool ownOnly = !options.folder;
  const std::string shown = Visible(platform::UnitsOf(*folder), byteEscapes);
  if (options.mode == Mode::List) {
    status = List(*folder, ownOnly, byteEscapes);
    return std::nullopt;
  }
  if (options.waitSeconds) {
    std::optional<fs::path> found = WaitForNewLog(*folder, ownOnly, *options.waitSeconds, started);
    if (!found) {
      char seconds[32];
      std::snprintf(seconds, sizeof seconds, "%g", *options.waitSeconds);
      status = Complain(shown + ": no new log within " + seconds + " seconds");
    }
    return found;
  }
  std::error_code error;
  const std::vector<FoundLog> logs = LogsIn(*folder, ownOnly, error);
  if (error)
    status = Complain(shown + ": cannot be listed: " + error.message());
  else if (logs.empty())
    status = Complain(shown + ": no Tarnwhistle_*.log files" + (ownOnly ? " of yours" : ""));
  if (logs.empty())
    return std::nullopt;
  return logs.front().path;
}

int Show(const fs::path &path, const ReaderOptions &options, bool byteEscapes) {
  const WideString file = platform::UnitsOf(path);
  const Read read = ReadLog(path);
  if (!read.outcome.problem.empty())
    return Complain(Visible(file, byteEscapes) + ": " + read.outcome.problem);
  const ShownLog log{file, TimeOfName(platform::UnitsOf(path.filename())), read.outcome.reading};
  switch (options.mode) {
  case Mode::Json:
    Say(JsonView(log));
    return kReaderDone;
  case Mode::Null:
    // Only the bytes go out, with nothing to say that they might be wrong.
    if (!log.reading.complete || log.reading.ambiguous)
      return Complain(Visible(file, byteEscapes) + ": the record is " +
                      (log.reading.complete ? "ambiguous" : "cut short") +
                      ", so its arguments are not certain");
    platform::WriteBytes(platform::Stream::Output, NullSeparated(log.reading, byteEscapes));
    return kReaderDone;
  case Mode::Expect:
    if (RecordsExactly(read.bytes, options.expected))
      return kReaderDone;
    Say(Visible(file, byteEscapes) + ": " +
        FirstDifference(log.reading, options.expected, byteEscapes) + "\n");
    return kReaderDiffers;
  default:
    Say(PlainView(log, byteEscapes));
    return kReaderDone;
  }
}

} // namespace

int RunReader() {
  const std::int64_t started = platform::StartTime();
  const bool byteEscapes = platform::ArgumentsEscapeBytes();
  const ReaderOptions options = ParseOptions(OwnArguments(), byteEscapes);
  if (!options.error.empty())
    return Complain(options.error + " (see --help)");
  if (options.mode == Mode::Help) {
    Say(kUsage);
    return kReaderDone;
  }
  if (options.mode == Mode::Version) {
    Say("tarnwhistle-read " TARNWHISTLE_VERSION "\n");
    return kReaderDone;
  }
  std::vector<fs::path> paths;
  for (const WideString &file : options.files)
    paths.push_back(platform::PathOf(file));
  if (paths.empty()) {
    int status = kReaderDone;
    const std::optional<fs::path> found = FindLog(options, byteEscapes, started, status);
    if (!found)
      return status;
    paths.push_back(*found);
  }
  int status = kReaderDone;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (i > 0 && options.mode == Mode::Plain)
      Say("\n");
    status = std::max(status, Show(paths[i], options, byteEscapes));
  }
  return status;
}

// Finding the list to show.
#include "reader/sources.h"

#include "platform/console.h"
#include "reader/logs.h"
#include "recorder/log_file.h"
#include "text/codec.h"
#include "text/escape.h"

#include <cstdio>

namespace reader {

namespace {

namespace fs = std::filesystem;

// Follows the owners a search passed over.
constexpr char kOwnerHint[] = " (--owner ACCOUNT takes an account's logs)";

// The folder to look in: the one named with --dir, or the recorder's.
std::optional<fs::path> FolderToSearch(const Options &options) {
  if (options.folder)
    return platform::PathOf(*options.folder);
  return RecorderFolder();
}

// Why a search found no log: there is none, or only logs of owners it does not trust.
std::string NoLogs(const Session &session, const fs::path &folder,
                   const std::vector<WideString> &passedOver) {
  std::string text = Shown(session, folder) + ": no Tarnwhistle_*.log files";
  if (passedOver.empty())
    return text;
  text += " of yours";
  if (session.trust.systemAccounts)
    text += " or of the system's own accounts";
  if (!session.trust.accounts.empty())
    text += " or of the accounts named with --owner";
  return text + "; passed over those of " + PassedOver(passedOver, session.byteEscapes) +
         kOwnerHint;
}

// "2.5 seconds".
std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", seconds);
  return text + std::string(seconds == 1 ? " second" : " seconds");
}

// A log written since the reader started, or why there is none.
std::optional<fs::path> NewLog(Session &session, const fs::path &folder, std::int64_t started) {
  const double seconds = *session.options.waitSeconds;
  std::error_code error;
  std::vector<WideString> passedOver;
  std::optional<fs::path> found =
      WaitForNewLog(folder, session.trust, seconds, started, error, passedOver);
  const std::string shown = Shown(session, folder);
  if (error)
    Complain(session, shown + ": cannot be listed: " + error.message());
  else if (!found)
    Complain(session, shown + ": no new log within " + Seconds(seconds) +
                          (passedOver.empty()
                               ? ""
                               : "; passed over new logs of " +
                                     PassedOver(passedOver, session.byteEscapes) + kOwnerHint));
  return found;
}

// The logs of the folder the trust takes: every one, or the newest.
std::optional<std::vector<fs::path>> TrustedIn(Session &session, const fs::path &folder,
                                               std::size_t most) {
  std::error_code error;
  const TrustedLogs found = TrustedLogsIn(folder, session.trust, error, most);
  if (error) {
    Complain(session, Shown(session, folder) + ": cannot be listed: " + error.message());
    return std::nullopt;
  }
  if (found.logs.empty()) {
    Complain(session, NoLogs(session, folder, found.passedOver));
    return std::nullopt;
  }
  std::vector<fs::path> paths;
  for (const FoundLog &log : found.logs)
    paths.push_back(log.path);
  return paths;
}

// Whose logs a search takes; false, once said, when an account named does not exist.
bool SetTrust(Session &session) {
  session.trust.systemAccounts = session.options.folder.has_value();
  for (const WideString &owner : session.options.owners) {
    const std::optional<WideString> id = platform::AccountId(owner);
    if (!id) {
      Complain(session,
               "--owner " + text::Visible(owner, session.byteEscapes) + ": no such account");
      return false;
    }
    session.trust.accounts.push_back(*id);
  }
  return true;
}

// The line --split names, read from standard input for "-", or why there is none.
std::optional<WideString> LineToSplit(const Options &options, std::string &problem) {
  if (options.line != L"-")
    return options.line;
  const std::optional<std::string> input = platform::ReadInput();
  const std::optional<WideString> decoded = input ? text::DecodeText(*input) : std::nullopt;
  if (!decoded) {
    problem = input ? "standard input is neither UTF-8 nor UTF-16 with a byte-order mark"
                    : "standard input cannot be read";
    return std::nullopt;
  }
  // Typed into a shell, the line keeps the line end that ended it.
  WideString line = *decoded;
  if (line.ends_with(L"\r\n"))
    line.resize(line.size() - 2);
  else if (line.ends_with(L'\n'))
    line.pop_back();
  return line;
}

} // namespace

const WideString &ProgramOf(const Subject &subject) {
  return subject.list ? subject.list->list.program : subject.log->reading.program;
}

const std::vector<WideString> &ArgumentsOf(const Subject &subject) {
  return subject.list ? subject.list->list.arguments : subject.log->reading.arguments;
}

int StatusOf(const Subject &subject) {
  if (!subject.problem.empty())
    return kReaderFailed;
  if (subject.list)
    return subject.list->batch && !subject.list->batch->warnings.empty() ? kReaderUncertain
                                                                         : kReaderDone;
  return Certain(subject.log->reading) ? kReaderDone : kReaderUncertain;
}

std::string WhyUncertain(const Subject &subject, bool byteEscapes) {
  if (subject.list)
    return "what the batch file receives depends on what cmd does: " +
           text::Visible(subject.list->batch->warnings.front(), byteEscapes);
  const Reading &reading = subject.log->reading;
  if (!reading.complete)
    return "the record is cut short";
  if (reading.ambiguous)
    return "the record is ambiguous";
  return "its return code does not fit the count of its arguments";
}

Subject LogSubject(const fs::path &path, bool keepBytes) {
  Subject subject;
  std::optional<std::string> bytes = ReadLogBytes(path, subject.problem);
  ShownLog log{platform::UnitsOf(path),
               recorder::TimeOfLogName(platform::UnitsOf(path.filename())),
               {},
               OwnerName(path)};
  if (bytes) {
    subject.bytes = std::move(*bytes);
    ReadOutcome outcome = ReadRecord(subject.bytes);
    log.reading = std::move(outcome.reading);
    if (!outcome.problem.empty())
      subject.problem = "not a record: " + outcome.problem;
    // The reading holds copies of what it shows: a big log's bytes need not stay beside them.
    if (!keepBytes)
      std::string().swap(subject.bytes);
  }
  subject.log = std::move(log);
  return subject;
}

std::optional<Subject> ListSubject(const Options &options, std::string &problem) {
  Subject subject;
  ShownList &shown = subject.list.emplace();
  if (options.source == Source::kGiven) {
    shown.list.program = options.given.front();
    shown.list.arguments.assign(options.given.begin() + 1, options.given.end());
    return subject;
  }
  const std::optional<WideString> line = LineToSplit(options, problem);
  if (!line)
    return std::nullopt;
  if (line->empty() || line->find(L'\0') != WideString::npos) {
    problem = line->empty() ? "standard input holds no command line (an empty line has no "
                              "program)"
                            : "the command line holds U+0000, which ends any command line";
    return std::nullopt;
  }
  const std::vector<WideString> split = platform::SplitAsTheRecorder(*line);
  if (split.empty()) {
    problem = "the command line cannot be split";
    return std::nullopt;
  }
  shown.line = *line;
  shown.list = {split.front(), {split.begin() + 1, split.end()}};
  shown.batch = text::ViewBatchLine(*line);
  const std::vector<WideString> runtime = text::SplitCommandLine(*line, text::SplitRules::kRuntime);
  if (runtime != split)
    shown.runtime = ArgumentList{runtime.front(), {runtime.begin() + 1, runtime.end()}};
  return subject;
}

std::optional<std::vector<fs::path>> LogsToRead(Session &session, std::int64_t started) {
  const Options &options = session.options;
  if (!options.files.empty()) {
    std::vector<fs::path> paths;
    for (const WideString &file : options.files)
      paths.push_back(platform::PathOf(file));
    return paths;
  }
  const std::optional<fs::path> folder = FolderToSearch(options);
  if (!folder) {
    Complain(session, "no temporary directory: its path does not fit in " +
                          std::to_string(platform::MAX_PATH) + " units");
    return std::nullopt;
  }
  if (!SetTrust(session))
    return std::nullopt;
  if (options.view == View::kList)
    return TrustedIn(session, *folder, SIZE_MAX);
  if (!options.waitSeconds)
    return TrustedIn(session, *folder, 1);
  const std::optional<fs::path> found = NewLog(session, *folder, started);
  if (!found)
    return std::nullopt;
  return std::vector<fs::path>{*found};
}

} // namespace reader

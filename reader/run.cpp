// The reader's driver.
#include "reader/run.h"

#include "platform/console.h"
#include "reader/logs.h"
#include "reader/options.h"
#include "reader/reading.h"
#include "reader/show.h"
#include "text/codec.h"
#include "text/escape.h"
#include "text/quote.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>

namespace {

namespace fs = std::filesystem;

// What one run of the reader was asked, whose logs a search takes, whether everything it said
// reached its streams, and the newest write time of the logs it read.
struct Session {
  const ReaderOptions &options;
  bool byteEscapes;
  Trust trust = {};
  bool outputFailed = false;
  std::int64_t newestRead = 0;
};

void Say(Session &session, const std::string &text) {
  if (!platform::WriteText(platform::Stream::Output, text))
    session.outputFailed = true;
}

// One line on standard error; returns the status it goes with.
int Complain(Session &session, const std::string &text, int status = kReaderFailed) {
  if (!platform::WriteText(platform::Stream::Error, "tarnwhistle-read: " + text + "\n"))
    session.outputFailed = true;
  return status;
}

std::string Shown(const Session &session, const fs::path &path) {
  return text::Visible(platform::UnitsOf(path), session.byteEscapes);
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

// The status a log's reading gives when it is shown: only a certain reading is done.
int StatusOf(const Read &read) {
  if (!read.outcome.problem.empty())
    return kReaderFailed;
  return Certain(read.outcome.reading) ? kReaderDone : kReaderUncertain;
}

// Why a reading is not certain, for a view that cannot say so beside what it prints.
std::string WhyUncertain(const Reading &reading) {
  if (!reading.complete)
    return "the record is cut short";
  if (reading.ambiguous)
    return "the record is ambiguous";
  return "its return code does not fit the count of its arguments";
}

// The folder to look in: the one named with --dir, or the recorder's.
std::optional<fs::path> FolderToSearch(const ReaderOptions &options) {
  if (options.folder)
    return platform::PathOf(*options.folder);
  return RecorderFolder();
}

// Follows the owners a search passed over.
constexpr char kOwnerHint[] = " (--owner ACCOUNT takes an account's logs)";

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

int ListLogs(Session &session, const fs::path &folder) {
  std::error_code error;
  const TrustedLogs found = TrustedLogsIn(folder, session.trust, error);
  if (error)
    return Complain(session, Shown(session, folder) + ": cannot be listed: " + error.message());
  if (found.logs.empty())
    return Complain(session, NoLogs(session, folder, found.passedOver));
  int status = kReaderDone;
  for (const FoundLog &log : found.logs) {
    const Read read = ReadLog(log.path);
    const Reading &reading = read.outcome.reading;
    std::string what = read.outcome.problem;
    if (what.empty()) {
      what = std::to_string(reading.arguments.size()) +
             (reading.arguments.size() == 1 ? " argument" : " arguments");
      if (!Certain(reading))
        what += !reading.complete   ? ", cut short"
                : reading.ambiguous ? ", ambiguous"
                                    : ", return code disagrees";
    }
    const std::string time = TimeOfName(platform::UnitsOf(log.path.filename())).value_or("-");
    const std::optional<WideString> owner = OwnerName(log.path);
    Say(session, time + std::string(time.size() < 19 ? 19 - time.size() : 0, ' ') + "  " + what +
                     "  " + (owner ? text::Visible(*owner, session.byteEscapes) : "-") + "  " +
                     Shown(session, log.path) + "\n");
    status = std::max(status, StatusOf(read));
    session.newestRead = std::max(session.newestRead, log.modified);
  }
  return status;
}

// The log to read when none is named: the newest in the folder, or a new one; or why there is
// none.
struct Found {
  std::optional<fs::path> path;
  std::string problem;
};

Found FindLog(const Session &session, const fs::path &folder, std::int64_t started) {
  const ReaderOptions &options = session.options;
  const std::string shown = Shown(session, folder);
  std::error_code error;
  if (options.waitSeconds) {
    std::vector<WideString> passedOver;
    std::optional<fs::path> found =
        WaitForNewLog(folder, session.trust, *options.waitSeconds, started, error, passedOver);
    if (error)
      return {std::nullopt, shown + ": cannot be listed: " + error.message()};
    if (!found) {
      char seconds[32];
      std::snprintf(seconds, sizeof seconds, "%g", *options.waitSeconds);
      return {std::nullopt,
              shown + ": no new log within " + seconds +
                  (*options.waitSeconds == 1 ? " second" : " seconds") +
                  (passedOver.empty()
                       ? ""
                       : "; passed over new logs of " +
                             PassedOver(passedOver, session.byteEscapes) + kOwnerHint)};
    }
    return {found, ""};
  }
  const TrustedLogs found = TrustedLogsIn(folder, session.trust, error, 1);
  if (error)
    return {std::nullopt, shown + ": cannot be listed: " + error.message()};
  if (found.logs.empty())
    return {std::nullopt, NoLogs(session, folder, found.passedOver)};
  return {found.logs.front().path, ""};
}

// Writes the arguments for -0, or says which one it cannot write as the bytes received.
int WriteNullSeparated(Session &session, const std::vector<WideString> &arguments) {
  if (const std::optional<std::size_t> i = FirstNotAsBytes(arguments, session.byteEscapes))
    return Complain(session, "ARG[" + std::to_string(*i + 1) +
                                 "] holds U+0000 or a lone surrogate, which -0 cannot give as "
                                 "the bytes received: nothing printed");
  if (!platform::WriteBytes(platform::Stream::Output,
                            NullSeparated(arguments, session.byteEscapes)))
    session.outputFailed = true;
  return kReaderDone;
}

// The form a list is quoted in: the one named, or the platform's own.
text::QuoteForm FormOf(const ReaderOptions &options) {
  return options.form.value_or(platform::DefaultQuoteForm());
}

// Whether the line gives back exactly the list: by every reader of the form, and on Windows by
// the system's own splitter too where the line reaches the program as it is written.
bool SplitsBack(const std::wstring &line, const std::vector<WideString> &list,
                const text::FormRow &row) {
  if (!text::LineDelivers(line, list, row.form))
    return false;
  if (!row.splitAsWritten)
    return true;
  if (!row.withoutProgram)
    return platform::SplitAsTheRecorder(line) == list;
  std::vector<WideString> split = platform::SplitAsTheRecorder(L"x " + line);
  split.front() = list.front();
  return split == list;
}

// Prints the one line that delivers the list in the form, after splitting it back.
int PrintQuoted(Session &session, const ArgumentList &list) {
  const text::FormRow &row = text::RowOf(FormOf(session.options));
  std::vector<WideString> elements = {list.program};
  elements.insert(elements.end(), list.arguments.begin(), list.arguments.end());
  const text::QuotedLine quoted = text::QuoteCommandLine(elements, row.form);
  if (quoted.refusal != text::Refusal::kNone)
    return Complain(session,
                    "no line can deliver this list: " + text::RefusalReason(quoted, row.form));
  if (!SplitsBack(quoted.line, elements, row))
    return Complain(session, "the line quoted would not deliver exactly this list, so it is not "
                             "printed (please report this)");
  if (row.output == text::Output::kText) {
    Say(session, text::ReceivedBytes(quoted.line, false) + "\n");
    return kReaderDone;
  }
  const std::optional<std::string> bytes = text::EncodeUnits(quoted.line);
  if (!bytes)
    return Complain(session, "no line can deliver this list: it holds a lone surrogate");
  if (!platform::WriteBytes(platform::Stream::Output, *bytes + "\n"))
    session.outputFailed = true;
  return kReaderDone;
}

// The list a command line or the reader's own arguments give, or why there is none.
struct Listed {
  ShownList shown;
  std::string problem;
};

Listed ListToShow(const ReaderOptions &options) {
  Listed listed;
  if (options.source == Source::Given) {
    listed.shown.list.program = options.given.front();
    listed.shown.list.arguments.assign(options.given.begin() + 1, options.given.end());
    return listed;
  }
  WideString line = options.line;
  if (line == L"-") {
    const std::optional<std::string> input = platform::ReadInput();
    const std::optional<WideString> decoded = input ? text::DecodeText(*input) : std::nullopt;
    if (!decoded) {
      listed.problem = input ? "standard input is neither UTF-8 nor UTF-16 with a byte-order mark"
                             : "standard input cannot be read";
      return listed;
    }
    // Typed into a shell, the line keeps the line end that ended it.
    line = *decoded;
    if (line.ends_with(L"\r\n"))
      line.resize(line.size() - 2);
    else if (line.ends_with(L'\n'))
      line.pop_back();
  }
  if (line.empty() || line.find(L'\0') != WideString::npos) {
    listed.problem = line.empty() ? "standard input holds no command line (an empty line has no "
                                    "program)"
                                  : "the command line holds U+0000, which ends any command line";
    return listed;
  }
  const std::vector<WideString> split = platform::SplitAsTheRecorder(line);
  if (split.empty()) {
    listed.problem = "the command line cannot be split";
    return listed;
  }
  listed.shown.line = line;
  listed.shown.list = {split.front(), {split.begin() + 1, split.end()}};
  const std::vector<WideString> runtime = text::SplitCommandLine(line, text::SplitRules::kRuntime);
  if (runtime != split)
    listed.shown.runtime = ArgumentList{runtime.front(), {runtime.begin() + 1, runtime.end()}};
  return listed;
}

int ShowList(Session &session) {
  const Listed listed = ListToShow(session.options);
  if (!listed.problem.empty())
    return Complain(session, listed.problem);
  const ShownList &shown = listed.shown;
  const std::vector<WideString> &arguments = shown.list.arguments;
  switch (session.options.mode) {
  case Mode::Json:
    Say(session, JsonListView(shown));
    return kReaderDone;
  case Mode::Null:
    return WriteNullSeparated(session, arguments);
  case Mode::Expect: {
    // The recorder's reading decides; the C runtime's is worth knowing either way.
    const std::string note =
        shown.runtime ? " (" + RuntimeDiffers(*shown.runtime, session.byteEscapes) + ")" : "";
    const std::string difference =
        ListDifference(arguments, session.options.expected, "the line", session.byteEscapes);
    if (!difference.empty() || !note.empty())
      Say(session,
          (difference.empty() ? "the arguments are as expected" : difference) + note + "\n");
    return difference.empty() ? kReaderDone : kReaderUncertain;
  }
  case Mode::Quote:
    return PrintQuoted(session, shown.list);
  default:
    Say(session, PlainListView(shown, session.byteEscapes));
    return kReaderDone;
  }
}

int ShowLog(Session &session, const fs::path &path) {
  const bool byteEscapes = session.byteEscapes;
  const WideString file = platform::UnitsOf(path);
  const Read read = ReadLog(path);
  if (!read.outcome.problem.empty()) {
    // "--quote cmd" reads a log named cmd: say how to choose a form instead.
    const std::wstring name = platform::UnitsOf(path);
    const bool formNamed =
        session.options.mode == Mode::Quote && text::FormNamed(name) && !fs::exists(path);
    return Complain(session, text::Visible(file, byteEscapes) + ": " + read.outcome.problem +
                                 (formNamed ? " (to choose a form, write --quote=" +
                                                  text::Visible(name, byteEscapes) + ")"
                                            : ""));
  }
  session.newestRead = std::max(session.newestRead, platform::ModifiedTime(path));
  const ShownLog log{file, TimeOfName(platform::UnitsOf(path.filename())), read.outcome.reading,
                     OwnerName(path)};
  const int status = StatusOf(read);
  switch (session.options.mode) {
  case Mode::Json:
    Say(session, JsonView(log));
    return status;
  case Mode::Null:
  case Mode::Quote:
    // Only the bytes or the line go out, with no room to say that they might be wrong.
    if (status != kReaderDone)
      return Complain(session,
                      text::Visible(file, byteEscapes) + ": " + WhyUncertain(log.reading) +
                          ", so its arguments are not certain: nothing printed",
                      status);
    if (session.options.mode == Mode::Quote)
      return PrintQuoted(session, {log.reading.program, log.reading.arguments});
    return WriteNullSeparated(session, log.reading.arguments);
  case Mode::Expect:
    if (ShowsExactly(read.bytes, log.reading, session.options.expected))
      return kReaderDone;
    Say(session, text::Visible(file, byteEscapes) + ": " +
                     FirstDifference(log.reading, session.options.expected, byteEscapes) + "\n");
    return kReaderUncertain;
  default:
    Say(session, PlainView(log, byteEscapes));
    return status;
  }
}

int Run(Session &session, std::int64_t started) {
  const ReaderOptions &options = session.options;
  if (!options.error.empty())
    return Complain(session, options.error + " (see --help)");
  if (options.mode == Mode::Help) {
    Say(session, kUsage);
    return kReaderDone;
  }
  if (options.mode == Mode::Version) {
    Say(session, "tarnwhistle-read " TARNWHISTLE_VERSION "\n");
    return kReaderDone;
  }
  if (options.source != Source::Log)
    return ShowList(session);
  std::vector<fs::path> paths;
  for (const WideString &file : options.files)
    paths.push_back(platform::PathOf(file));
  if (paths.empty()) {
    const std::optional<fs::path> folder = FolderToSearch(options);
    if (!folder)
      return Complain(session, "no temporary directory: its path does not fit in 260 units");
    session.trust.systemAccounts = options.folder.has_value();
    for (const WideString &owner : options.owners) {
      const std::optional<WideString> id = platform::AccountId(owner);
      if (!id)
        return Complain(session, "--owner " + text::Visible(owner, session.byteEscapes) +
                                     ": no such account");
      session.trust.accounts.push_back(*id);
    }
    if (options.mode == Mode::List)
      return ListLogs(session, *folder);
    const Found found = FindLog(session, *folder, started);
    if (!found.path)
      return Complain(session, found.problem);
    paths.push_back(*found.path);
  }
  int status = kReaderDone;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (i > 0 && options.mode == Mode::Plain)
      Say(session, "\n");
    status = std::max(status, ShowLog(session, paths[i]));
  }
  return status;
}

} // namespace

int RunReader() {
  const std::int64_t started = platform::StartTime();
  const bool byteEscapes = platform::ArgumentsEscapeBytes();
  const ReaderOptions options = ParseOptions(OwnArguments(), byteEscapes);
  Session session{options, byteEscapes};
  int status = kReaderFailed;
  try {
    status = Run(session, started);
  } catch (const std::bad_alloc &) {
    // A forged file near the size limit can hold more candidate lines than memory allows.
    status = Complain(session, "out of memory");
  }
  if (session.outputFailed)
    Complain(session, "standard output could not be written (a full disk, or a closed pipe)");
  // The next pass of a script's loop may start a reader the moment this one ends.
  OutwaitStartWindow(session.newestRead);
  return session.outputFailed ? kReaderFailed : status;
}

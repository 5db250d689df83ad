// The reader's driver: the options, the list or the logs they ask for, each shown, and the worst
// status of them all.
#include "reader/run.h"

#include "platform/console.h"
#include "reader/logs.h"
#include "reader/views.h"

#include <algorithm>
#include <memory>
#include <new>

namespace reader {

namespace {

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

// Each log read, shown in turn (the plain views a blank line apart); the worst status of them.
int ShowLogs(Session &session, const std::vector<std::filesystem::path> &paths) {
  int status = kReaderDone;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (i > 0 && session.options.view == View::kPlain)
      Say(session, "\n");
    const Subject subject = LogSubject(paths[i], session.options.view == View::kExpect);
    if (subject.problem.empty() || session.options.view == View::kList)
      session.newestRead = std::max(session.newestRead, platform::ModifiedTime(paths[i]));
    status = std::max(status, Show(session, subject));
  }
  return status;
}

int Run(Session &session, std::int64_t started) {
  const Options &options = session.options;
  if (!options.error.empty())
    return Complain(session, options.error + " (see --help)");
  switch (options.action) {
  case Action::kHelp:
    Say(session, Usage());
    return kReaderDone;
  case Action::kVersion:
    Say(session, "tarnwhistle-read " TARNWHISTLE_VERSION "\n");
    return kReaderDone;
  case Action::kRead:
    break;
  }
  if (options.source != Source::kLog) {
    std::string problem;
    const std::optional<Subject> subject = ListSubject(options, problem);
    return subject ? Show(session, *subject) : Complain(session, problem);
  }
  const std::optional<std::vector<std::filesystem::path>> paths = LogsToRead(session, started);
  return paths ? ShowLogs(session, *paths) : kReaderFailed;
}

} // namespace

int RunReader() {
  const std::int64_t started = platform::StartTime();
  const bool byteEscapes = platform::ArgumentsEscapeBytes();
  const Options options = ParseOptions(OwnArguments(), byteEscapes);
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

} // namespace reader

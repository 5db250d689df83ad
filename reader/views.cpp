// The views: plain, JSON, NUL-separated, a line of a listing, a check, a quoted line.
#include "reader/views.h"

#include "platform/console.h"
#include "text/codec.h"
#include "text/escape.h"
#include "text/quote.h"

#include <algorithm>

namespace reader {

namespace {

namespace fs = std::filesystem;

// Writes the arguments for -0, or says which one it cannot write as the bytes received.
int WriteNullSeparated(Session &session, const std::vector<WideString> &arguments) {
  if (const std::optional<std::size_t> i = FirstNotAsBytes(arguments, session.byteEscapes))
    return Complain(session, text::ArgumentLabel(*i + 1) +
                                 " holds U+0000 or a lone surrogate, which -0 cannot give as "
                                 "the bytes received: nothing printed");
  if (!platform::WriteBytes(platform::Stream::Output,
                            NullSeparated(arguments, session.byteEscapes)))
    session.outputFailed = true;
  return kReaderDone;
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
int PrintQuoted(Session &session, const WideString &program,
                const std::vector<WideString> &arguments) {
  const text::FormRow &row =
      text::RowOf(session.options.form.value_or(platform::DefaultQuoteForm()));
  std::vector<WideString> elements = {program};
  elements.insert(elements.end(), arguments.begin(), arguments.end());
  const text::QuotedLine quoted = text::QuoteCommandLine(elements, row.form);
  if (quoted.refusal != text::Refusal::kNone)
    return Complain(session,
                    "no line can deliver this list: " + text::RefusalReason(quoted, row.form));
  if (!SplitsBack(quoted.line, elements, row))
    return Complain(session, "the line quoted would not deliver exactly this list, so it is not "
                             "printed (please report this)");
  // Some hosts expand %NAME% before CreateProcess sees the line.
  if (const std::string note = text::HostExpansionNote(quoted.line, row.form); !note.empty())
    Complain(session, note, kReaderDone);
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

// --expect: the log must show exactly the arguments expected, or the line split to them.
int Expect(Session &session, const Subject &subject) {
  const std::vector<WideString> &expected = session.options.expected;
  if (subject.log) {
    const ShownLog &log = *subject.log;
    if (ShowsExactly(subject.bytes, log.reading, expected))
      return kReaderDone;
    Say(session, text::Visible(log.file, session.byteEscapes) + ": " +
                     FirstDifference(log.reading, expected, session.byteEscapes) + "\n");
    return kReaderUncertain;
  }
  // The recorder's reading decides; the C runtime's is worth knowing either way, and what cmd
  // would act on for a batch file makes it uncertain.
  const ShownList &shown = *subject.list;
  const std::string note =
      shown.runtime ? " (" + RuntimeDiffers(*shown.runtime, session.byteEscapes) + ")" : "";
  std::string difference =
      ListDifference(shown.list.arguments, expected, "the line", session.byteEscapes);
  if (difference.empty() && StatusOf(subject) != kReaderDone)
    difference = "the arguments are as expected, but " + WhyUncertain(subject, session.byteEscapes);
  if (!difference.empty() || !note.empty())
    Say(session, (difference.empty() ? "the arguments are as expected" : difference) + note + "\n");
  return difference.empty() ? kReaderDone : kReaderUncertain;
}

// One log as a line of --list: its time, its count and whether it is certain, its owner, its
// path.
std::string ListLine(const Session &session, const Subject &subject) {
  const ShownLog &log = *subject.log;
  const Reading &reading = log.reading;
  std::string what = subject.problem;
  if (what.empty()) {
    what = ArgumentCount(reading.arguments.size());
    if (!Certain(reading))
      what += !reading.complete   ? ", cut short"
              : reading.ambiguous ? ", ambiguous"
                                  : ", return code disagrees";
  }
  const std::string time = log.time ? ShownTime(*log.time) : "-";
  return time + std::string(kShownTimeWidth - std::min(time.size(), kShownTimeWidth), ' ') + "  " +
         what + "  " + (log.owner ? text::Visible(*log.owner, session.byteEscapes) : "-") + "  " +
         text::Visible(log.file, session.byteEscapes) + "\n";
}

// Why a log cannot be shown; "--quote cmd" reads a log named cmd, so say how to choose a form.
int CannotShow(Session &session, const Subject &subject) {
  const WideString &file = subject.log->file;
  const bool formNamed = session.options.view == View::kQuote && text::FormNamed(file) &&
                         !fs::exists(platform::PathOf(file));
  const std::string shown = text::Visible(file, session.byteEscapes);
  return Complain(session,
                  shown + ": " + subject.problem +
                      (formNamed ? " (to choose a form, write --quote=" + shown + ")" : ""));
}

// -0 and --quote print only the bytes or the line, with no room to say that they might be
// wrong: for an uncertain subject they print nothing, and say why.
int NothingPrinted(Session &session, const Subject &subject, int status) {
  const std::string what =
      subject.log ? text::Visible(subject.log->file, session.byteEscapes) : "the line";
  return Complain(session,
                  what + ": " + WhyUncertain(subject, session.byteEscapes) +
                      ", so its arguments are not certain: nothing printed",
                  status);
}

} // namespace

int Show(Session &session, const Subject &subject) {
  const View view = session.options.view;
  if (!subject.problem.empty() && view != View::kList)
    return CannotShow(session, subject);
  const int status = StatusOf(subject);
  switch (view) {
  case View::kPlain:
    Say(session, subject.log ? PlainView(*subject.log, session.byteEscapes)
                             : PlainListView(*subject.list, session.byteEscapes));
    return status;
  case View::kJson:
    Say(session, subject.log ? JsonView(*subject.log) : JsonListView(*subject.list));
    return status;
  case View::kList:
    Say(session, ListLine(session, subject));
    return status;
  case View::kNull:
    if (status != kReaderDone)
      return NothingPrinted(session, subject, status);
    return WriteNullSeparated(session, ArgumentsOf(subject));
  case View::kQuote:
    if (status != kReaderDone)
      return NothingPrinted(session, subject, status);
    return PrintQuoted(session, ProgramOf(subject), ArgumentsOf(subject));
  case View::kExpect:
    return Expect(session, subject);
  }
  return kReaderFailed;
}

} // namespace reader

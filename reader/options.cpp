// The reader's command line.
#include "reader/options.h"

#include "text/escape.h"

#include <algorithm>
#include <cstdlib>

const char kUsage[] =
    R"(Usage: tarnwhistle-read [--dir DIR] [--owner ACCOUNT]... [--wait SECONDS] [--json] [LOG...]
       tarnwhistle-read [--dir DIR] [--owner ACCOUNT]... [--wait SECONDS] [LOG]
                        [-0 | --quote[=FORM] | --expect -- ARG...]
       tarnwhistle-read [--dir DIR] [--owner ACCOUNT]... --list
       tarnwhistle-read --split LINE [--json | -0 | --quote[=FORM] | --expect -- ARG...]
       tarnwhistle-read [--json | -0 | --quote[=FORM]] --args PROGRAM [ARG...]
Shows the arguments a Tarnwhistle log recorded, or a command line splits into, checks them, and
quotes them so that they arrive exactly.

Which list: by default the newest of your Tarnwhistle_*.log files in the temporary directory
the recorder uses.
  LOG...           these files, whoever owns them
  --dir DIR        the newest log in DIR of yours or of the system's own accounts (a
                   service's, say)
  --owner ACCOUNT  take the logs of this account too (a name, a uid or a SID); repeatable
  --wait SECONDS   wait at most SECONDS for a log written after this started
  --list           list the logs, newest first, with their time, argument count and owner
  --split LINE     the list Windows' CommandLineToArgvW makes of LINE, program first (on other
                   systems the same rules); - reads LINE from standard input (UTF-8, or UTF-16
                   with a byte-order mark) without its last line end. Where a program built
                   with Microsoft's C runtime gets another list, that is shown too
  --args PROGRAM [ARG...]
                   this list, as this program received it; the rest of the command line

How to show it:
  (nothing)        the program and each argument between [ and ], with <TAB>, <CR>, <LF>,
                   <U+XXXX> for characters that would not show or could be mistaken, <0xXX>
                   for a byte that is not UTF-8, and << for <
  --json           one JSON object: file, time, owner, program, arguments, return_code,
                   complete, ambiguous (for --split and --args: line, program, arguments,
                   and c_runtime where it differs)
  -0, --null       the arguments alone, each followed by a NUL, as the bytes received
  --expect -- ARG...
                   exit 0 if the log is a whole record read in only one way (or the line
                   splits) and its arguments are exactly ARG..., 1 and the first difference
                   if not
  --quote[=FORM]   print the one command line that delivers the list exactly, checked by
                   splitting it back; FORM is createprocess on Windows and sh elsewhere
                   unless named:
                     createprocess  for CreateProcess, a shortcut's target, a task or a service
                     arguments      the same without the program (an arguments field)
                     cmd            a line for a .cmd or .bat file, delayed expansion off; save
                                    the file as UTF-8 and run chcp 65001 before the line when it
                                    holds more than ASCII
                     sh             a POSIX shell command
                   (--quote FORM would read a log named FORM)
  --help, --version

Exit status: 0 a whole record read in only one way, shown or matched, or a list shown, matched
or quoted; 1 shown but uncertain (cut short, ambiguous, or a return code that does not fit the
count), or not matched; 2 no log, not a record, a list no line can deliver, a usage error, or
output that could not be written.
)";

namespace {

// The value of an option given as "--name VALUE" or "--name=VALUE"; advances past it.
std::optional<WideString> ValueOf(const std::vector<WideString> &arguments, std::size_t &i,
                                  const WideString &name) {
  const WideString &argument = arguments[i];
  if (argument.size() > name.size() && argument.starts_with(name + L"="))
    return argument.substr(name.size() + 1);
  if (argument == name && i + 1 < arguments.size())
    return arguments[++i];
  return std::nullopt;
}

// Seconds as a plain decimal number, at most a day.
std::optional<double> SecondsOf(const WideString &text) {
  std::string ascii;
  for (const wchar_t unit : text) {
    if (!(unit >= L'0' && unit <= L'9') && !(unit == L'.' && ascii.find('.') == std::string::npos))
      return std::nullopt;
    ascii.push_back(static_cast<char>(unit));
  }
  if (ascii.empty() || ascii == ".")
    return std::nullopt;
  const double seconds = std::strtod(ascii.c_str(), nullptr);
  return seconds <= 86400 ? std::optional(seconds) : std::nullopt;
}

// Whether the argument is this option, alone or with "=VALUE".
bool IsOption(const WideString &argument, const WideString &name) {
  return argument == name || argument.starts_with(name + L"=");
}

// What makes the options as a whole make no sense, if anything.
std::string Conflict(const ReaderOptions &options, int modes, int sources) {
  if (modes > 1)
    return "choose one of --json, -0, --list, --expect and --quote";
  if (sources > 1)
    return "choose one of --split and --args";
  if (options.source != Source::Log &&
      (!options.files.empty() || options.folder || options.waitSeconds || !options.owners.empty() ||
       options.mode == Mode::List))
    return "--split and --args give the list themselves: they take no log, --dir, --wait, "
           "--owner or --list";
  if (!options.files.empty() && (options.folder || options.waitSeconds))
    return "name logs, or use --dir or --wait to find one, not both";
  if (!options.files.empty() && !options.owners.empty())
    return "a log named is read whoever owns it: --owner is for finding one";
  if (options.mode == Mode::List && (options.waitSeconds || !options.files.empty()))
    return "--list lists a folder: it takes no --wait and no log names";
  if ((options.mode == Mode::Null || options.mode == Mode::Expect || options.mode == Mode::Quote) &&
      options.files.size() > 1)
    return "-0, --expect and --quote read one log";
  return "";
}

// "createprocess, arguments, cmd or sh".
std::string FormNames() {
  std::string names;
  const std::span<const text::FormRow> forms = text::Forms();
  for (std::size_t i = 0; i < forms.size(); ++i)
    names.append(i == 0 ? "" : i + 1 == forms.size() ? " or " : ", ").append(forms[i].name);
  return names;
}

} // namespace

ReaderOptions ParseOptions(const std::vector<WideString> &arguments, bool byteEscapes) {
  ReaderOptions options;
  int modes = 0, sources = 0;
  const auto choose = [&](Mode mode) {
    options.mode = mode;
    ++modes;
  };
  bool onlyNames = false;
  for (std::size_t i = 0; i < arguments.size() && options.error.empty(); ++i) {
    const WideString &argument = arguments[i];
    if (onlyNames || argument.size() < 2 || argument[0] != L'-') {
      options.files.push_back(argument);
    } else if (argument == L"--") {
      onlyNames = true;
    } else if (argument == L"--help" || argument == L"-h") {
      options.mode = Mode::Help;
      return options;
    } else if (argument == L"--version") {
      options.mode = Mode::Version;
      return options;
    } else if (argument == L"--expect") {
      choose(Mode::Expect);
      if (i + 1 < arguments.size() && arguments[i + 1] == L"--")
        ++i;
      options.expected.assign(arguments.begin() + static_cast<std::ptrdiff_t>(i + 1),
                              arguments.end());
      break;
    } else if (argument == L"--args") {
      ++sources;
      options.source = Source::Given;
      options.given.assign(arguments.begin() + static_cast<std::ptrdiff_t>(i + 1), arguments.end());
      // The list is the rest of the command line: an --expect in it was meant for the reader.
      if (options.given.empty())
        options.error = "--args needs the program, then its arguments";
      else if (std::find(options.given.begin(), options.given.end(), L"--expect") !=
               options.given.end())
        options.error = "--args takes the rest of the command line as the list: it cannot be "
                        "combined with --expect (--split can give a list that holds --expect)";
      break;
    } else if (IsOption(argument, L"--split")) {
      ++sources;
      options.source = Source::Line;
      const std::optional<WideString> line = ValueOf(arguments, i, L"--split");
      if (!line || line->empty())
        options.error = "--split needs a command line, or - to read one from standard input (an "
                        "empty line has no program: Windows would answer with the caller's own "
                        "path)";
      else
        options.line = *line;
    } else if (argument == L"--quote" || argument.starts_with(L"--quote=")) {
      choose(Mode::Quote);
      if (argument != L"--quote") {
        options.form = text::FormNamed(std::wstring_view(argument).substr(8));
        if (!options.form)
          options.error = "unknown form " + text::Visible(argument.substr(8), byteEscapes) +
                          ": choose --quote=" + FormNames();
      }
    } else if (argument == L"--json") {
      choose(Mode::Json);
    } else if (argument == L"-0" || argument == L"--null") {
      choose(Mode::Null);
    } else if (argument == L"--list") {
      choose(Mode::List);
    } else if (IsOption(argument, L"--dir")) {
      options.folder = ValueOf(arguments, i, L"--dir");
      if (!options.folder || options.folder->empty())
        options.error = "--dir needs a folder";
    } else if (IsOption(argument, L"--owner")) {
      const std::optional<WideString> owner = ValueOf(arguments, i, L"--owner");
      if (!owner || owner->empty())
        options.error = "--owner needs an account";
      else
        options.owners.push_back(*owner);
    } else if (IsOption(argument, L"--wait")) {
      const std::optional<WideString> value = ValueOf(arguments, i, L"--wait");
      options.waitSeconds = value ? SecondsOf(*value) : std::nullopt;
      if (!options.waitSeconds)
        options.error = "--wait needs a number of seconds, at most 86400";
    } else {
      options.error = "unknown option " + text::Visible(argument, byteEscapes);
    }
  }
  if (options.error.empty())
    options.error = Conflict(options, modes, sources);
  return options;
}

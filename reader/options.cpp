// The reader's command line.
//
// Each option is a row: its spellings, what it takes (nothing; a value, as "--name VALUE" or
// "--name=VALUE"; a value only attached, "--name=VALUE"; or the rest of the command line), where
// the usage lists it and what it does to the options. What cannot be combined is a second table,
// over the options' ids; the synopsis is a third, whose lines name the ids they combine.
#include "reader/options.h"

#include "platform/console.h"
#include "text/escape.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cstdlib>
#include <span>

namespace reader {

namespace {

// Every option, and two facts that are not options: logs named, and more than one.
enum class Id {
  kHelp,
  kVersion,
  kLogs,
  kSeveralLogs,
  kDir,
  kOwner,
  kWait,
  kList,
  kSplit,
  kArgs,
  kJson,
  kNull,
  kExpect,
  kQuote,
  kCount,
};
using Ids = std::bitset<static_cast<std::size_t>(Id::kCount)>;

Ids Of(std::initializer_list<Id> ids) {
  Ids set;
  for (const Id id : ids)
    set.set(static_cast<std::size_t>(id));
  return set;
}

enum class Takes { kNothing, kValue, kAttached, kRest };

// Where the usage lists an option.
enum class Section { kWhich, kHow, kOther };

// The seconds --wait takes at most: a day.
constexpr int kLongestWait = 24 * 60 * 60;

using Apply = std::string (*)(Options &options, std::span<const WideString> values,
                              bool byteEscapes);

struct OptionRow {
  Id id;
  std::wstring_view name;
  std::wstring_view alias; // another spelling, or empty
  Takes takes;
  std::string_view value; // what it takes, as the usage writes it
  bool repeatable;
  Section section;
  std::string_view help; // what it does, for the usage; lines after the first indented
  Apply apply;
};

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
  return seconds <= kLongestWait ? std::optional(seconds) : std::nullopt;
}

// One value that must not be empty, else the complaint.
std::optional<WideString> NonEmpty(std::span<const WideString> values) {
  if (values.empty() || values[0].empty())
    return std::nullopt;
  return values[0];
}

std::string ApplyDir(Options &options, std::span<const WideString> values, bool) {
  options.folder = NonEmpty(values);
  return options.folder ? "" : "--dir needs a folder";
}

std::string ApplyOwner(Options &options, std::span<const WideString> values, bool) {
  const std::optional<WideString> owner = NonEmpty(values);
  if (!owner)
    return "--owner needs an account";
  options.owners.push_back(*owner);
  return "";
}

std::string ApplyWait(Options &options, std::span<const WideString> values, bool) {
  options.waitSeconds = values.empty() ? std::nullopt : SecondsOf(values[0]);
  return options.waitSeconds
             ? ""
             : "--wait needs a number of seconds, at most " + std::to_string(kLongestWait);
}

std::string ApplyList(Options &options, std::span<const WideString>, bool) {
  options.view = View::kList;
  return "";
}

std::string ApplySplit(Options &options, std::span<const WideString> values, bool) {
  options.source = Source::kLine;
  const std::optional<WideString> line = NonEmpty(values);
  if (!line)
    return "--split needs a command line, or - to read one from standard input (an empty line has "
           "no program: Windows would answer with the caller's own path)";
  options.line = *line;
  return "";
}

std::string ApplyArgs(Options &options, std::span<const WideString> values, bool) {
  options.source = Source::kGiven;
  options.given.assign(values.begin(), values.end());
  if (options.given.empty())
    return "--args needs the program, then its arguments";
  // The list is the rest of the command line: an --expect in it was meant for the reader.
  if (std::find(options.given.begin(), options.given.end(), L"--expect") != options.given.end())
    return "--args takes the rest of the command line as the list: it cannot be combined with "
           "--expect (--split can give a list that holds --expect)";
  return "";
}

std::string ApplyJson(Options &options, std::span<const WideString>, bool) {
  options.view = View::kJson;
  return "";
}

std::string ApplyNull(Options &options, std::span<const WideString>, bool) {
  options.view = View::kNull;
  return "";
}

std::string ApplyExpect(Options &options, std::span<const WideString> values, bool) {
  options.view = View::kExpect;
  if (!values.empty() && values[0] == L"--")
    values = values.subspan(1);
  options.expected.assign(values.begin(), values.end());
  return "";
}

std::string FormNames();

std::string ApplyQuote(Options &options, std::span<const WideString> values, bool byteEscapes) {
  options.view = View::kQuote;
  if (values.empty())
    return "";
  options.form = text::FormNamed(values[0]);
  return options.form ? ""
                      : "unknown form " + text::Visible(values[0], byteEscapes) +
                            ": choose --quote=" + FormNames();
}

std::string ApplyHelp(Options &options, std::span<const WideString>, bool) {
  options.action = Action::kHelp;
  return "";
}

std::string ApplyVersion(Options &options, std::span<const WideString>, bool) {
  options.action = Action::kVersion;
  return "";
}

constexpr OptionRow kOptions[] = {
    {Id::kDir, L"--dir", L"", Takes::kValue, "DIR", false, Section::kWhich,
     "the newest log in DIR of yours or of the system's own accounts (a\n"
     "service's, say)",
     &ApplyDir},
    {Id::kOwner, L"--owner", L"", Takes::kValue, "ACCOUNT", true, Section::kWhich,
     "take the logs of this account too (a name, a uid or a SID); repeatable", &ApplyOwner},
    {Id::kWait, L"--wait", L"", Takes::kValue, "SECONDS", false, Section::kWhich,
     "wait at most SECONDS for a log written after this started", &ApplyWait},
    {Id::kSplit, L"--split", L"", Takes::kValue, "LINE", false, Section::kWhich,
     "the list Windows' CommandLineToArgvW makes of LINE, program first (on other\n"
     "systems the same rules); - reads LINE from standard input (UTF-8, or UTF-16\n"
     "with a byte-order mark) without its last line end. Where a program built\n"
     "with Microsoft's C runtime gets another list, that is shown too",
     &ApplySplit},
    {Id::kArgs, L"--args", L"", Takes::kRest, "PROGRAM [ARG...]", false, Section::kWhich,
     "this list, as this program received it; the rest of the command line", &ApplyArgs},
    {Id::kJson, L"--json", L"", Takes::kNothing, "", false, Section::kHow,
     "one JSON object: file, time, owner, program, arguments, return_code,\n"
     "complete, ambiguous (for --split and --args: line, program, arguments,\n"
     "and c_runtime where it differs)",
     &ApplyJson},
    {Id::kNull, L"--null", L"-0", Takes::kNothing, "", false, Section::kHow,
     "the arguments alone, each followed by a NUL, as the bytes received", &ApplyNull},
    {Id::kList, L"--list", L"", Takes::kNothing, "", false, Section::kHow,
     "list the logs, newest first, with their time, argument count and owner", &ApplyList},
    {Id::kExpect, L"--expect", L"", Takes::kRest, "-- ARG...", false, Section::kHow,
     "exit 0 if the log is a whole record read in only one way (or the line\n"
     "splits) and its arguments are exactly ARG..., 1 and the first difference\n"
     "if not",
     &ApplyExpect},
    {Id::kQuote, L"--quote", L"", Takes::kAttached, "FORM", false, Section::kHow,
     "print the one command line that delivers the list exactly, checked by\n"
     "splitting it back; FORM is the platform's own unless named (--quote FORM\n"
     "would read a log named FORM):",
     &ApplyQuote},
    {Id::kHelp, L"--help", L"-h", Takes::kNothing, "", false, Section::kOther,
     "show this text and exit", &ApplyHelp},
    {Id::kVersion, L"--version", L"", Takes::kNothing, "", false, Section::kOther,
     "show the version and exit", &ApplyVersion},
};

const OptionRow &RowOf(Id id) {
  return *std::find_if(std::begin(kOptions), std::end(kOptions),
                       [&](const OptionRow &row) { return row.id == id; });
}

// How an option is written where its name stands: "-0", "--dir DIR", "--quote[=FORM]".
std::string Spelled(const OptionRow &row, bool withValue) {
  const std::wstring_view name = row.alias.empty() ? row.name : row.alias;
  std::string text(name.begin(), name.end());
  if (!withValue || row.value.empty())
    return text;
  const bool attached = row.takes == Takes::kAttached;
  text.append(attached ? "[=" : " ").append(row.value);
  return attached ? text.append("]") : text;
}

// "a, b and c", or "a, b or c".
std::string Joined(const std::vector<std::string> &words, std::string_view last) {
  std::string text;
  for (std::size_t i = 0; i < words.size(); ++i)
    text.append(i == 0 ? "" : i + 1 == words.size() ? std::string(last) : ", ").append(words[i]);
  return text;
}

std::string FormNames() {
  std::vector<std::string> names;
  for (const text::FormRow &row : text::Forms())
    names.emplace_back(row.name);
  return Joined(names, " or ");
}

// How often each option was given.
using Counts = std::array<int, static_cast<std::size_t>(Id::kCount)>;

// "choose one of --json, -0, --list, --expect and --quote", for options of which one may stand,
// once.
std::string ChooseOne(const Counts &counts, const Ids &exclusive) {
  int given = 0;
  for (std::size_t id = 0; id < counts.size(); ++id)
    given += exclusive.test(id) ? counts[id] : 0;
  if (given < 2)
    return "";
  std::vector<std::string> names;
  for (const OptionRow &row : kOptions)
    if (exclusive.test(static_cast<std::size_t>(row.id)))
      names.push_back(Spelled(row, false));
  return "choose one of " + Joined(names, " and ");
}

// What cannot stand together: any of the first with any of the second.
struct Conflict {
  Ids some, others;
  std::string_view why;
};

std::string Conflicting(const Counts &counts) {
  Ids seen;
  for (std::size_t id = 0; id < counts.size(); ++id)
    seen.set(id, counts[id] > 0);
  const Conflict conflicts[] = {
      {Of({Id::kSplit, Id::kArgs}), Of({Id::kLogs, Id::kDir, Id::kWait, Id::kOwner, Id::kList}),
       "--split and --args give the list themselves: they take no log, --dir, --wait, --owner "
       "or --list"},
      {Of({Id::kLogs}), Of({Id::kDir, Id::kWait}),
       "name logs, or use --dir or --wait to find one, not both"},
      {Of({Id::kLogs}), Of({Id::kOwner}),
       "a log named is read whoever owns it: --owner is for finding one"},
      {Of({Id::kList}), Of({Id::kWait, Id::kLogs}),
       "--list lists a folder: it takes no --wait and no log names"},
      {Of({Id::kNull, Id::kExpect, Id::kQuote}), Of({Id::kSeveralLogs}),
       "-0, --expect and --quote read one log"},
  };
  for (const Ids &exclusive : {Of({Id::kJson, Id::kNull, Id::kList, Id::kExpect, Id::kQuote}),
                               Of({Id::kSplit, Id::kArgs})})
    if (const std::string why = ChooseOne(counts, exclusive); !why.empty())
      return why;
  for (const Conflict &conflict : conflicts)
    if ((seen & conflict.some).any() && (seen & conflict.others).any())
      return std::string(conflict.why);
  return "";
}

// The row the argument spells, alone or with "=VALUE" where the row takes a value.
const OptionRow *RowSpelled(const WideString &argument) {
  for (const OptionRow &row : kOptions) {
    if (argument == row.name || (!row.alias.empty() && argument == row.alias))
      return &row;
    const bool attaches = row.takes == Takes::kValue || row.takes == Takes::kAttached;
    if (attaches && argument.size() > row.name.size() && argument.starts_with(row.name) &&
        argument[row.name.size()] == L'=')
      return &row;
  }
  return nullptr;
}

// The values the row takes at arguments[i], which names it; leaves i at the last one taken.
std::span<const WideString> ValuesOf(const OptionRow &row, std::span<const WideString> arguments,
                                     std::size_t &i) {
  const WideString &argument = arguments[i];
  const bool attached = argument.size() > row.name.size() && argument[row.name.size()] == L'=';
  switch (row.takes) {
  case Takes::kNothing:
    return {};
  case Takes::kAttached:
  case Takes::kValue:
    if (attached)
      return {&argument, 1};
    if (row.takes == Takes::kAttached || i + 1 == arguments.size())
      return {};
    return arguments.subspan(++i, 1);
  case Takes::kRest: {
    const std::span<const WideString> rest = arguments.subspan(i + 1);
    i = arguments.size();
    return rest;
  }
  }
  return {};
}

// One part of a synopsis line: options, of which one may stand (in brackets when optional), or a
// word standing for what is not an option.
struct Part {
  std::vector<Id> options;
  bool optional = true;
  std::string_view word = {};
};

// Each way to call the reader, as its parts. Only what the parser accepts together stands in a
// line, which a unit test checks.
std::vector<std::vector<Part>> SynopsisLines() {
  const Part finding[] = {{{Id::kDir}}, {{Id::kOwner}}};
  const Part views = {{Id::kJson, Id::kNull, Id::kQuote, Id::kExpect}};
  const Part oneLogViews = {{Id::kNull, Id::kQuote, Id::kExpect}};
  return {
      {finding[0], finding[1], {{Id::kWait}}, views},
      {{{Id::kJson}}, {{}, false, "LOG..."}},
      {{{}, false, "LOG"}, oneLogViews},
      {finding[0], finding[1], {{Id::kList}, false}},
      {{{Id::kSplit}, false}, views},
      {{{Id::kJson, Id::kNull, Id::kQuote}}, {{Id::kArgs}, false}},
  };
}

std::string PartText(const Part &part) {
  if (part.options.empty())
    return std::string(part.word);
  std::vector<std::string> spelled;
  for (const Id id : part.options)
    spelled.push_back(Spelled(RowOf(id), true));
  std::string text;
  for (std::size_t i = 0; i < spelled.size(); ++i)
    text.append(i == 0 ? "" : " | ").append(spelled[i]);
  if (!part.optional)
    return text;
  return "[" + text + "]" +
         (part.options.size() == 1 && RowOf(part.options[0]).repeatable ? "..." : "");
}

// The synopsis, its lines wrapped before the usage's width.
std::string Synopsis() {
  constexpr std::string_view kName = "tarnwhistle-read", kFirst = "Usage: ";
  constexpr std::size_t kWidth = 100;
  std::string text;
  for (const std::vector<Part> &line : SynopsisLines()) {
    std::string row(kFirst.size(), ' ');
    if (text.empty())
      row = kFirst;
    row.append(kName);
    const std::size_t indent = row.size() + 1;
    std::size_t lineStart = 0;
    for (const Part &part : line) {
      const std::string word = PartText(part);
      if (row.size() - lineStart + 1 + word.size() > kWidth) {
        lineStart = row.size() + 1;
        row.append("\n").append(indent - 1, ' ');
      }
      row.append(" ").append(word);
    }
    text.append(row).append("\n");
  }
  return text;
}

// An entry of the usage: what is spelled, indented, then its help from the column on, each line
// of it there.
std::string Entry(const std::string &spelled, std::string_view help, std::size_t indent = 2,
                  std::size_t column = 19) {
  std::string text(indent, ' ');
  text.append(spelled);
  if (text.size() + 1 > column)
    text.append("\n").append(column, ' ');
  else
    text.append(column - text.size(), ' ');
  for (std::size_t at = 0; at < help.size();) {
    const std::size_t end = std::min(help.find('\n', at), help.size());
    if (at > 0)
      text += std::string(column, ' ');
    text.append(help.substr(at, end - at)).append("\n");
    at = end + 1;
  }
  return text;
}

std::string Entries(Section section) {
  std::string text;
  for (const OptionRow &row : kOptions) {
    if (row.section != section)
      continue;
    std::string spelled = Spelled(row, true);
    if (!row.alias.empty())
      spelled += ", " + std::string(row.name.begin(), row.name.end());
    text += Entry(spelled, row.help);
    if (row.id == Id::kQuote)
      for (const text::FormRow &form : text::Forms())
        text += Entry(std::string(form.name), form.help, 21, 36) +
                (form.form == platform::DefaultQuoteForm()
                     ? std::string(36, ' ') + "(the default here)\n"
                     : "");
  }
  return text;
}

// What the forms that start a batch file through cmd do for one, and what they assume.
std::string BatchFiles() {
  std::vector<std::string> forms;
  for (const text::FormRow &form : text::Forms())
    if (form.runsBatchFiles)
      forms.emplace_back(form.name);
  return "Batch files: when the program's name ends in .bat or .cmd (in any case, once the "
         "trailing dots and\nspaces Windows strips are gone), CreateProcess runs it through cmd, "
         "which reads the line again.\n" +
         Joined(forms, " and ") +
         " then write a line on which cmd runs the batch file\nand nothing else, and which a "
         "batch file forwarding %* hands on as exactly the list: the program\nin quotes, every "
         "argument that is empty or holds a blank , ; = & | < > ^ ( ) in quotes, and a quote\n"
         "added where one inside an argument would turn cmd's quoting around. Refused: any %, an "
         "odd\nnumber of quotes in the arguments, CR, LF, Ctrl-Z, a line past " +
         std::to_string(text::kLongestBatchLine) +
         " units. Put an arguments line\nafter the program in quotes; write a cmd line in a batch "
         "file "
         "without call, which would read\nthe arguments again. Assumed: command extensions on "
         "(else there is no %*), delayed expansion off\n(else !NAME! expands), and %* pasted "
         "outside quotes of the batch file's own; an AutoRun command\nmay run first (the cmd "
         "CreateProcess starts gets no /d). %1 to %9 are the arguments as the line\nwrites them, "
         "and %~1 to %~9 without their outer quotes only: a quoted argument keeps the\n"
         "backslashes doubled before its closing quote. --split shows, for a batch file, %0 to "
         "%9 as cmd\ngives them, their count, %* and a warning for each thing cmd would act on; "
         "a warning makes\nevery view exit with 1.\n";
}

} // namespace

std::string Usage() {
  return Synopsis() +
         "Shows the arguments a Tarnwhistle log recorded, or a command line splits into, checks "
         "them, and\nquotes them so that they arrive exactly.\n\n"
         "Which list: by default the newest of your Tarnwhistle_*.log files in the temporary "
         "directory\nthe recorder uses.\n" +
         Entry("LOG...", "these files, whoever owns them") + Entries(Section::kWhich) +
         "\nHow to show it:\n" +
         Entry("(nothing)", "the program and each argument between [ and ], with <TAB>, <CR>, "
                            "<LF>,\n<U+XXXX> for characters that would not show or could be "
                            "mistaken, <0xXX>\nfor a byte that is not UTF-8, and << for <") +
         Entries(Section::kHow) + "\n" + BatchFiles() + "\n" + Entries(Section::kOther) +
         "\nExit status: 0 a whole record read in only one way, shown or matched, or a list "
         "shown, matched\nor quoted; 1 shown but uncertain (cut short, ambiguous, a return code "
         "that does not fit the\ncount, or a batch file's line on which cmd would act), or not "
         "matched; 2 no log, not a record,\na list no line can deliver, a usage error, or output "
         "that could not be written.\n";
}

Options ParseOptions(const std::vector<WideString> &arguments, bool byteEscapes) {
  Options options;
  Counts counts = {};
  bool onlyNames = false;
  const std::span<const WideString> all = arguments;
  for (std::size_t i = 0; i < all.size() && options.error.empty(); ++i) {
    const WideString &argument = all[i];
    if (onlyNames || argument.size() < 2 || argument[0] != L'-') {
      options.files.push_back(argument);
      continue;
    }
    if (argument == L"--") {
      onlyNames = true;
      continue;
    }
    const OptionRow *row = RowSpelled(argument);
    if (!row) {
      options.error = "unknown option " + text::Visible(argument, byteEscapes);
      break;
    }
    std::span<const WideString> values = ValuesOf(*row, all, i);
    // The value of an attached spelling is what follows its "=".
    WideString attached;
    if (!values.empty() && &values[0] == &argument) {
      attached = argument.substr(row->name.size() + 1);
      values = {&attached, 1};
    }
    options.error = row->apply(options, values, byteEscapes);
    if (options.action != Action::kRead)
      return options;
    ++counts[static_cast<std::size_t>(row->id)];
  }
  counts[static_cast<std::size_t>(Id::kLogs)] = options.files.empty() ? 0 : 1;
  counts[static_cast<std::size_t>(Id::kSeveralLogs)] = options.files.size() > 1 ? 1 : 0;
  if (options.error.empty())
    options.error = Conflicting(counts);
  return options;
}

std::vector<std::wstring_view> OptionSpellings() {
  std::vector<std::wstring_view> spellings;
  for (const OptionRow &row : kOptions) {
    spellings.push_back(row.name);
    if (!row.alias.empty())
      spellings.push_back(row.alias);
  }
  return spellings;
}

} // namespace reader

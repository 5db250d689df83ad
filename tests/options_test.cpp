#include "reader/options.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <string>
#include <vector>

using reader::Options;
using reader::ParseOptions;
using reader::Source;

namespace {

// What the options ask for, as one value: a view to read with, or help or the version.
enum class Mode { Plain, Json, Null, List, Expect, Quote, Help, Version };

Mode ModeOf(const Options &options) {
  switch (options.action) {
  case reader::Action::kHelp:
    return Mode::Help;
  case reader::Action::kVersion:
    return Mode::Version;
  case reader::Action::kRead:
    break;
  }
  constexpr Mode kViews[] = {Mode::Plain, Mode::Json,   Mode::Null,
                             Mode::List,  Mode::Expect, Mode::Quote};
  return kViews[static_cast<std::size_t>(options.view)];
}

} // namespace

TEST(Options, TakeEverythingAfterExpectAsDataAndRefuseWhatMakesNoSense) {
  using Arguments = std::vector<std::wstring>;
  const struct {
    Arguments arguments;
    Mode mode;
    Arguments files, expected;
    std::string error;
  } cases[] = {
      {{}, Mode::Plain, {}, {}, ""},
      {{L"a.log", L"--json", L"b.log"}, Mode::Json, {L"a.log", L"b.log"}, {}, ""},
      {{L"--expect", L"--", L"--json", L"-0", L"--", L""},
       Mode::Expect,
       {},
       {L"--json", L"-0", L"--", L""},
       ""},
      {{L"--dir=C:\\x", L"--wait", L"2.5", L"--expect"}, Mode::Expect, {}, {}, ""},
      {{L"--", L"-0", L"--help"}, Mode::Plain, {L"-0", L"--help"}, {}, ""},
      {{L"-", L"x.log", L"--help"}, Mode::Help, {L"-", L"x.log"}, {}, ""},
      {{L"--json", L"-0"},
       Mode::Null,
       {},
       {},
       "choose one of --json, -0, --list, --expect and --quote"},
      {{L"--list", L"--wait", L"1"},
       Mode::List,
       {},
       {},
       "--list lists a folder: it takes no --wait and no log names"},
      {{L"a.log", L"b.log", L"-0"},
       Mode::Null,
       {L"a.log", L"b.log"},
       {},
       "-0, --expect and --quote read one log"},
      {{L"a.log", L"--dir", L"d"},
       Mode::Plain,
       {L"a.log"},
       {},
       "name logs, or use --dir or --wait to find one, not both"},
      {{L"--wait", L"soon"},
       Mode::Plain,
       {},
       {},
       "--wait needs a number of seconds, at most 86400"},
      {{L"--dir"}, Mode::Plain, {}, {}, "--dir needs a folder"},
      {{L"--directory", L"x"}, Mode::Plain, {}, {}, "unknown option --directory"},
      {{L"-\t"}, Mode::Plain, {}, {}, "unknown option -<TAB>"},
  };
  for (const auto &c : cases) {
    const Options options = ParseOptions(c.arguments, false);
    EXPECT_EQ(options.error, c.error) << c.error;
    if (c.error.empty()) {
      EXPECT_EQ(ModeOf(options), c.mode) << c.error;
      EXPECT_EQ(options.files, c.files);
      EXPECT_EQ(options.expected, c.expected);
    }
  }
}

TEST(Options, OwnerIsRepeatableAndOnlyForFindingALog) {
  using Arguments = std::vector<std::wstring>;
  const struct {
    Arguments arguments, owners;
    std::string error;
  } cases[] = {
      {{L"--owner", L"NT SERVICE\\x", L"--dir", L"d", L"--owner=1001", L"--json"},
       {L"NT SERVICE\\x", L"1001"},
       ""},
      {{L"--owner", L"--list"}, {L"--list"}, ""},
      {{L"--owner"}, {}, "--owner needs an account"},
      {{L"--owner="}, {}, "--owner needs an account"},
      {{L"a.log", L"--owner", L"root"},
       {L"root"},
       "a log named is read whoever owns it: --owner is for finding one"},
  };
  for (const auto &c : cases) {
    const Options options = ParseOptions(c.arguments, false);
    EXPECT_EQ(options.error, c.error) << c.error;
    EXPECT_EQ(options.owners, c.owners) << c.error;
  }
}

TEST(Options, TakeAListFromALineOrFromTheRestOfTheCommandLine) {
  using Arguments = std::vector<std::wstring>;
  using text::QuoteForm;
  const struct {
    Arguments arguments;
    Source source;
    std::wstring line;
    Arguments given;
    std::optional<QuoteForm> form;
    std::string error;
  } cases[] = {
      {{L"--split", L"-", L"--quote=cmd"}, Source::kLine, L"-", {}, QuoteForm::kCmd, ""},
      {{L"--quote", L"--args", L"p", L"--json", L"--"},
       Source::kGiven,
       {},
       {L"p", L"--json", L"--"},
       std::nullopt,
       ""},
      {{L"--split=p a", L"--expect", L"--", L"a"}, Source::kLine, L"p a", {}, std::nullopt, ""},
      // "--quote cmd" reads a log named cmd.
      {{L"--quote", L"cmd"}, Source::kLog, {}, {}, std::nullopt, ""},
      {{L"--split", L""}, Source::kLine, {}, {}, std::nullopt, "--split needs a command line"},
      {{L"--args"}, Source::kGiven, {}, {}, std::nullopt, "--args needs the program"},
      {{L"--args", L"p", L"--expect", L"--", L"p"},
       Source::kGiven,
       {},
       {},
       std::nullopt,
       "--args takes the rest of the command line as the list"},
      {{L"x.log", L"--args", L"p"},
       Source::kGiven,
       {},
       {},
       std::nullopt,
       "--split and --args give"},
      {{L"--split", L"p", L"--args", L"p"}, Source::kGiven, {}, {}, std::nullopt, "choose one of"},
      {{L"--quote=bash", L"--args", L"p"}, Source::kLog, {}, {}, std::nullopt, "unknown form bash"},
      {{L"--quote", L"-0"}, Source::kLog, {}, {}, std::nullopt, "choose one of"},
  };
  for (const auto &c : cases) {
    const Options options = ParseOptions(c.arguments, false);
    EXPECT_TRUE(options.error.starts_with(c.error) && (c.error.empty() == options.error.empty()))
        << c.error << " | " << options.error;
    if (c.error.empty()) {
      EXPECT_EQ(options.source, c.source) << c.arguments.front();
      EXPECT_EQ(options.line, c.line);
      EXPECT_EQ(options.given, c.given);
      EXPECT_EQ(options.form, c.form);
    }
  }
}

namespace {

using Lists = std::vector<std::vector<std::wstring>>;

// Every command line a synopsis line stands for, with a value for each placeholder: an optional
// group is left out or given as each of its alternatives (once, or twice when repeatable), and
// "--quote[=FORM]" is written either way.
Lists Expand(std::string_view text, std::size_t &at);

Lists Word(std::string_view word) {
  const struct {
    std::string_view placeholder, value;
  } values[] = {{"DIR", "d"},        {"ACCOUNT", "root"}, {"SECONDS", "1"}, {"LINE", "p a"},
                {"LOG...", "a.log"}, {"LOG", "a.log"},    {"PROGRAM", "p"}, {"ARG...", "x"}};
  std::string spelled(word);
  for (const auto &v : values)
    if (word == v.placeholder)
      spelled = v.value;
  if (const std::size_t open = spelled.find("[=FORM]"); open != std::string::npos) {
    const std::string name = spelled.substr(0, open);
    return {{std::wstring(name.begin(), name.end())},
            {std::wstring(name.begin(), name.end()) + L"=sh"}};
  }
  return {{std::wstring(spelled.begin(), spelled.end())}};
}

// Each list of the first followed by each of the second.
Lists Then(const Lists &first, const Lists &second) {
  Lists lists;
  for (const auto &a : first)
    for (const auto &b : second) {
      lists.push_back(a);
      lists.back().insert(lists.back().end(), b.begin(), b.end());
    }
  return lists;
}

// A group's alternatives, from after its "[" to past its "]" and a "..." after it.
Lists Group(std::string_view text, std::size_t &at) {
  Lists lists = {{}};
  for (;;) {
    const Lists alternative = Expand(text, at);
    lists.insert(lists.end(), alternative.begin(), alternative.end());
    if (at >= text.size() || text[at] == ']')
      break;
    at += 2; // past "| "
  }
  ++at;
  if (text.substr(at, 3) == "...") {
    at += 3;
    const Lists once = lists;
    lists = Then(once, once);
  }
  return lists;
}

Lists Expand(std::string_view text, std::size_t &at) {
  Lists lists = {{}};
  while (at < text.size() && text[at] != ']' && text[at] != '|') {
    if (text[at] == ' ') {
      ++at;
    } else if (text[at] == '[') {
      lists = Then(lists, Group(text, ++at));
    } else {
      std::size_t end = at;
      for (int depth = 0;
           end < text.size() && (depth > 0 || (text[end] != ' ' && text[end] != ']')); ++end)
        depth += text[end] == '[' ? 1 : text[end] == ']' ? -1 : 0;
      lists = Then(lists, Word(text.substr(at, end - at)));
      at = end;
    }
  }
  return lists;
}

} // namespace

// The synopsis offers only what the parser takes.
TEST(Options, EveryLineTheSynopsisOffersParses) {
  const std::string usage = reader::Usage();
  std::vector<std::string> lines;
  for (std::size_t at = 0, end; (end = usage.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::string line = usage.substr(at, end - at);
    const std::size_t name = line.find("tarnwhistle-read ");
    if (name != std::string::npos && line.find_first_not_of(' ', line.find(':') + 1) == name)
      lines.push_back(line.substr(name + 17));
    else if (!lines.empty() && line.starts_with("    ") && line.find(':') == std::string::npos)
      lines.back() += line;
    else if (!lines.empty())
      break;
  }
  EXPECT_EQ(lines.size(), 6u) << usage;
  std::size_t checked = 0;
  for (const std::string &line : lines) {
    std::size_t at = 0;
    for (const std::vector<std::wstring> &arguments : Expand(line, at)) {
      EXPECT_EQ(ParseOptions(arguments, false).error, "") << line;
      ++checked;
    }
  }
  EXPECT_GT(checked, 50u);
}

// The manual lists every option the table has, and no other.
TEST(Options, TheManualListsEveryOption) {
  std::ifstream file(TARNWHISTLE_SOURCE_DIR "/app/tarnwhistle-read.1.in");
  std::vector<std::string> listed;
  bool inOptions = false, afterTp = false;
  for (std::string line; std::getline(file, line);) {
    if (line.starts_with(".SH"))
      inOptions = line == ".SH OPTIONS";
    if (inOptions && afterTp)
      for (std::size_t at = 0; (at = line.find("\\-", at)) != std::string::npos;) {
        std::size_t end = at;
        std::string name;
        while (end < line.size() && (line.compare(end, 2, "\\-") == 0 ||
                                     std::isalnum(static_cast<unsigned char>(line[end]))))
          name += line[end] == '\\' ? (end += 2, '-') : line[end++];
        if (name != "--")
          listed.push_back(name);
        at = end;
      }
    afterTp = line == ".TP";
  }
  std::vector<std::string> options;
  for (const std::wstring_view spelling : reader::OptionSpellings())
    options.emplace_back(spelling.begin(), spelling.end());
  std::sort(listed.begin(), listed.end());
  std::sort(options.begin(), options.end());
  EXPECT_EQ(listed, options);
}

#include "reader/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
    const ReaderOptions options = ParseOptions(c.arguments, false);
    EXPECT_EQ(options.error, c.error) << c.error;
    if (c.error.empty()) {
      EXPECT_EQ(options.mode, c.mode) << c.error;
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
    const ReaderOptions options = ParseOptions(c.arguments, false);
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
      {{L"--split", L"-", L"--quote=cmd"}, Source::Line, L"-", {}, QuoteForm::kCmd, ""},
      {{L"--quote", L"--args", L"p", L"--json", L"--"},
       Source::Given,
       {},
       {L"p", L"--json", L"--"},
       std::nullopt,
       ""},
      {{L"--split=p a", L"--expect", L"--", L"a"}, Source::Line, L"p a", {}, std::nullopt, ""},
      // "--quote cmd" reads a log named cmd.
      {{L"--quote", L"cmd"}, Source::Log, {}, {}, std::nullopt, ""},
      {{L"--split", L""}, Source::Line, {}, {}, std::nullopt, "--split needs a command line"},
      {{L"--args"}, Source::Given, {}, {}, std::nullopt, "--args needs the program"},
      {{L"--args", L"p", L"--expect", L"--", L"p"},
       Source::Given,
       {},
       {},
       std::nullopt,
       "--args takes the rest of the command line as the list"},
      {{L"x.log", L"--args", L"p"}, Source::Given, {}, {}, std::nullopt, "--split and --args give"},
      {{L"--split", L"p", L"--args", L"p"}, Source::Given, {}, {}, std::nullopt, "choose one of"},
      {{L"--quote=bash", L"--args", L"p"}, Source::Log, {}, {}, std::nullopt, "unknown form bash"},
      {{L"--quote", L"-0"}, Source::Log, {}, {}, std::nullopt, "choose one of"},
  };
  for (const auto &c : cases) {
    const ReaderOptions options = ParseOptions(c.arguments, false);
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

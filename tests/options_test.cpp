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
      {{L"--json", L"-0"}, Mode::Null, {}, {}, "choose one of --json, -0, --list and --expect"},
      {{L"--list", L"--wait", L"1"},
       Mode::List,
       {},
       {},
       "--list lists a folder: it takes no --wait and no log names"},
      {{L"a.log", L"b.log", L"-0"},
       Mode::Null,
       {L"a.log", L"b.log"},
       {},
       "-0 and --expect read one log"},
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

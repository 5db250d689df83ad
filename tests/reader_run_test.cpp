// The reader's whole run against the fake platform and console, with logs in a real folder: every
// source and view against every kind of log, and the exit status each gives.
#include "reader/run.h"

#include "tests/fake_console.h"
#include "tests/fake_platform.h"
#include "tests/record_bytes.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Arguments = std::vector<std::wstring>;

struct Outcome {
  int status;
  std::string output, error;
};

class ReaderRun : public ::testing::Test {
protected:
  void SetUp() override {
    const ::testing::TestInfo *test = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = fs::temp_directory_path() / ("tarnwhistle-unit-" + std::string(test->name()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override {
    if (!HasFailure())
      fs::remove_all(folder_);
  }

  // Writes a file of the folder; returns its path as the reader is given it.
  std::wstring Write(const std::string &name, const std::string &bytes) {
    std::ofstream(folder_ / name, std::ios::binary) << bytes;
    return platform::UnitsOf(folder_ / name);
  }

  // Runs the reader with these arguments, the folder as the recorder's temporary directory.
  Outcome Run(const Arguments &arguments, const fake::Console &console = {}) {
    Arguments vector = {L"tarnwhistle-read"};
    vector.insert(vector.end(), arguments.begin(), arguments.end());
    fake::Reset({.arguments = vector, .tempDirectory = platform::UnitsOf(folder_ / "")});
    fake::ResetConsole(console);
    const int status = reader::RunReader();
    return {status, fake::TheConsole().output, fake::TheConsole().error};
  }

  fs::path folder_;
};

const std::string kWhole = expected::Log(expected::Lines(u"p", {u"a", u"two words"}, 2));

// A log of each kind, the status every view of it gives, and whether -0 and --quote print.
const struct {
  const char *kind;
  std::string bytes;
  int status;
} kLogs[] = {
    {"whole", kWhole, 0},
    {"cut", kWhole.substr(0, kWhole.size() - 3), 1},
    {"ambiguous",
     expected::Log({u"Program = p", u"ARG[1] = \"a b\"", u"ARG[2] = \"c d\"", u"ARG[2] = \"e f\"",
                    u"ReturnCode = 2"}),
     1},
    {"disagreeing", expected::Log(expected::Lines(u"p", {u"a", u"two words"}, 5)), 1},
    {"not a record", "\xFF\xFEnot a record", 2},
};

// Each view, with whether it prints anything for an uncertain log.
const struct {
  Arguments arguments;
  bool printsWhenUncertain;
} kViews[] = {
    {{}, true},
    {{L"--json"}, true},
    {{L"-0"}, false},
    {{L"--quote"}, false},
    {{L"--quote=createprocess"}, false},
};

} // namespace

TEST_F(ReaderRun, EveryViewOfEveryKindOfLogGivesItsStatusNamedOrFound) {
  for (const auto &log : kLogs) {
    for (const bool named : {true, false}) {
      fs::remove_all(folder_);
      fs::create_directories(folder_);
      const std::wstring path = Write("Tarnwhistle_2026-03-07_09-05-02.log", log.bytes);
      for (const auto &view : kViews) {
        Arguments arguments = view.arguments;
        if (named)
          arguments.push_back(path);
        SCOPED_TRACE(std::string(log.kind) + (named ? ", named, " : ", found, ") +
                     std::to_string(arguments.size()) + " arguments");
        const Outcome outcome = Run(arguments);
        EXPECT_EQ(outcome.status, log.status) << outcome.error;
        const bool prints = log.status == 0 || (log.status == 1 && view.printsWhenUncertain);
        EXPECT_EQ(outcome.output.empty(), !prints) << outcome.output;
        EXPECT_EQ(outcome.error.empty(), prints) << outcome.error;
      }
      // --expect passes only a whole record's own arguments.
      Arguments expect = {L"--expect", L"--", L"a", L"two words"};
      if (named)
        expect.insert(expect.begin(), path);
      EXPECT_EQ(Run(expect).status, log.status == 0 ? 0 : log.status == 2 ? 2 : 1) << log.kind;
      expect.back() = L"two  words";
      EXPECT_EQ(Run(expect).status, log.status == 2 ? 2 : 1) << log.kind;
    }
  }
}

// Several logs, or a listing: the worst status wins.
TEST_F(ReaderRun, TheWorstStatusOfSeveralLogsWins) {
  Arguments all;
  int worst = 0;
  for (std::size_t i = 0; i < std::size(kLogs); ++i) {
    const std::string name = "Tarnwhistle_2026-03-07_09-05-0" + std::to_string(i) + ".log";
    all.push_back(Write(name, kLogs[i].bytes));
    worst = std::max(worst, kLogs[i].status);
    std::vector<std::wstring> named(all.begin(), all.end());
    EXPECT_EQ(Run(named).status, worst) << kLogs[i].kind;
    EXPECT_EQ(Run({L"--list"}).status, worst) << kLogs[i].kind;
  }
  const Outcome listed = Run({L"--list"});
  EXPECT_NE(listed.output.find("2026-03-07 09:05:01  2 arguments, cut short  you  "),
            std::string::npos)
      << listed.output;
  EXPECT_NE(listed.output.find("  not a record: "), std::string::npos) << listed.output;
}

TEST_F(ReaderRun, ListsFromALineOrTheArgumentsAreCertainUnlessTheyCannotBeDelivered) {
  const struct {
    Arguments arguments;
    int status;
    std::string output = {}, error = {};
    std::optional<std::string> input = "";
  } cases[] = {
      {{L"--split", L"p a \"b c\"", L"--json"},
       0,
       "{\"line\":\"p a \\\"b c\\\"\",\"program\":\"p\",\"arguments\":[\"a\",\"b c\"]}\n"},
      {{L"--split", L"-", L"-0"}, 0, std::string("a\0b c\0", 6), "", "p a \"b c\"\r\n"},
      {{L"--split", L"-"}, 2, "", "standard input holds no command line", "\r\n"},
      {{L"--split", L"-"}, 2, "", "standard input cannot be read", std::nullopt},
      {{L"--split", L"p a", L"--expect", L"--", L"a"}, 0, ""},
      {{L"--split", L"p a", L"--expect", L"--", L"b"}, 1, "ARG[1] differs"},
      {{L"--quote=sh", L"--args", L"./p", L"it's"}, 0, "./p 'it'\\''s'\n"},
      {{L"--quote=sh", L"--args", L"", L"a"}, 2, "", "there is no program"},
      {{L"--quote=cmd", L"--args", L"run.bat", L"a&b"}, 0, "\"run.bat\" \"a&b\"\n"},
      {{L"--quote=cmd", L"--args", L"run.bat", L"a&b", L"100%"}, 2, "", "ARG[2] holds a %"},
      {{L"--args", L"p", L"a"}, 0, "Program: [p]\nARG[1] [a]\n1 argument, as given.\n"},
      {{L"--quote=createprocess", L"--args", L"p", L"%PATH%"}, 0, "p %PATH%\n", "%PATH%, which"},
      // What a batch file receives depends on what cmd does with the line.
      {{L"--split", L"run.bat a"}, 0, "Line: [run.bat a]\n"},
      {{L"--split", L"run.bat a", L"--quote"}, 0, "'run.bat' a\n"},
      {{L"--split", L"run.bat a>x"}, 1, "Line: [run.bat a>x]\n"},
      {{L"--split", L"run.bat a>x", L"--json"}, 1, "{\"line\":"},
      {{L"--split", L"run.bat a>x", L"-0"}, 1, "", "cmd would take >x as a redirection"},
      {{L"--split", L"run.bat a>x", L"--quote"}, 1, "", "nothing printed"},
      {{L"--split", L"run.bat a>x", L"--expect", L"--", L"a>x"},
       1,
       "the arguments are as expected, but what the batch file receives depends on what cmd does"},
      {{L"--args"}, 2, "", "--args needs the program, then its arguments (see --help)"},
  };
  for (const auto &c : cases) {
    fake::Console console;
    console.input = c.input;
    const Outcome outcome = Run(c.arguments, console);
    SCOPED_TRACE(c.error);
    EXPECT_EQ(outcome.status, c.status) << outcome.error;
    EXPECT_EQ(outcome.output.substr(0, c.output.size()), c.output);
    EXPECT_EQ(outcome.output.empty(), c.output.empty()) << outcome.output;
    EXPECT_NE(outcome.error.find(c.error), std::string::npos) << outcome.error;
  }
}

TEST_F(ReaderRun, FindsOnlyTrustedLogsAndSaysWhyNoneWasFound) {
  fake::Console stranger;
  stranger.owners[L"Tarnwhistle_2026-03-07_09-05-02.log"] = {L"4242", false, false};
  const struct {
    bool planted;
    Arguments arguments;
    int status;
    std::string error;
  } cases[] = {
      {false, {}, 2, ": no Tarnwhistle_*.log files"},
      {false, {L"--wait", L"2"}, 2, ": no new log within 2 seconds"},
      {true, {}, 2, "passed over those of 4242 (--owner ACCOUNT takes an account's logs)"},
      {true, {L"--owner", L"4242"}, 2, "--owner 4242: no such account"},
      {true, {L"--wait", L"1"}, 2, "no new log within 1 second; passed over new logs of 4242"},
  };
  for (const auto &c : cases) {
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    if (c.planted)
      Write("Tarnwhistle_2026-03-07_09-05-02.log", kWhole);
    const Outcome outcome = Run(c.arguments, stranger);
    EXPECT_EQ(outcome.status, c.status) << c.error;
    EXPECT_NE(outcome.error.find(c.error), std::string::npos) << outcome.error;
  }
  stranger.accounts[L"4242"] = L"stranger";
  EXPECT_EQ(Run({L"--owner", L"stranger"}, stranger).status, 0);
}

TEST_F(ReaderRun, OutputThatCannotBeWrittenFailsTheRun) {
  Write("Tarnwhistle_2026-03-07_09-05-02.log", kWhole);
  fake::Console full;
  full.outputFails = true;
  for (const Arguments &arguments : {Arguments{}, {L"--json"}, {L"-0"}, {L"--list"}}) {
    const Outcome outcome = Run(arguments, full);
    EXPECT_EQ(outcome.status, 2);
    EXPECT_NE(outcome.error.find("standard output could not be written"), std::string::npos);
  }
}

// A reader that read a log holds its exit until the log is older than the start window.
TEST_F(ReaderRun, OutwaitsTheStartWindowOfTheLogItRead) {
  Write("Tarnwhistle_2026-03-07_09-05-02.log", kWhole);
  fake::Console console;
  console.now = 1'800'000'000'000'000'000;
  console.modified[L"Tarnwhistle_2026-03-07_09-05-02.log"] = *console.now;
  console.startWindow = 50'000'000; // 50 ms
  EXPECT_EQ(Run({}, console).status, 0);
  EXPECT_GT(fake::TheConsole().slept, std::chrono::milliseconds(50));
  EXPECT_LT(fake::TheConsole().slept, std::chrono::milliseconds(60));
  EXPECT_EQ(Run({L"--split", L"p"}, console).status, 0);
  EXPECT_EQ(fake::TheConsole().slept, std::chrono::milliseconds(0));
}

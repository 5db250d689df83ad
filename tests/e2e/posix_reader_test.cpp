// The real tarnwhistle-read on Linux, on what the real tarnwhistle wrote.
#include "tests/e2e/posix_launch.h"
#include "tests/record_bytes.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <string>
#include <vector>

namespace {

using PosixReader = launch::Test;

// Arguments that look like options, lines, records and escapes, and bytes that are not UTF-8.
const std::vector<std::string> kHardArguments = {"alpha",
                                                 "two words",
                                                 "",
                                                 "tab\there",
                                                 "line\r\nARG[5] = forged",
                                                 "\"a b\"",
                                                 "\xFF\xFE",
                                                 "<LF>",
                                                 "-0",
                                                 "--expect",
                                                 "\xF0\x9F\x98\x80\xC2\xA0",
                                                 "\r\nReturnCode = 1\r\n",
                                                 "--"};

launch::Result Read(const std::string &folder, std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "tarnwhistle-read");
  return launch::Run(arguments,
                     {.environment = {"TMPDIR=" + folder}, .program = launch::ReaderPath()});
}

std::vector<std::string> Expecting(const std::vector<std::string> &arguments) {
  std::vector<std::string> command = {"--expect", "--"};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return command;
}

} // namespace

TEST_F(PosixReader, GivesBackExactlyTheArgumentsTheRecorderReceived) {
  const std::string folder = NewFolder();
  std::vector<std::string> argv = {"/opt/rec"};
  argv.insert(argv.end(), kHardArguments.begin(), kHardArguments.end());
  ASSERT_EQ(RunIn(folder, argv).result.status(), static_cast<int>(kHardArguments.size()));

  launch::Result read = Read(folder, Expecting(kHardArguments));
  EXPECT_EQ(read.status(), 0) << read.output << read.error;
  EXPECT_EQ(read.output + read.error, "");

  std::vector<std::string> other = kHardArguments;
  other[6] = "\xFF\xFD";
  read = Read(folder, Expecting(other));
  EXPECT_EQ(read.status(), 1);
  EXPECT_NE(read.output.find("ARG[7] differs: expected [<0xFF><0xFD>], found [<0xFF><0xFE>]"),
            std::string::npos)
      << read.output;

  std::string nulls;
  for (const std::string &argument : kHardArguments)
    nulls += argument + '\0';
  read = Read(folder, {"-0"});
  EXPECT_EQ(read.status(), 0);
  EXPECT_EQ(read.output, nulls);
}

TEST_F(PosixReader, WaitsForTheLogOfARunStartedAfterIt) {
  const std::string folder = NewFolder();
  int output[2], error[2];
  ASSERT_EQ(pipe2(output, O_CLOEXEC), 0);
  ASSERT_EQ(pipe2(error, O_CLOEXEC), 0);
  const pid_t reader = launch::Start(
      {"tarnwhistle-read", "--wait", "30", "--expect", "--", "a", "b c"},
      {.environment = {"TMPDIR=" + folder}, .program = launch::ReaderPath()}, output, error);
  close(output[1]);
  close(error[1]);
  RunIn(folder, {"rec", "a", "b c"});
  int wait = 0;
  waitpid(reader, &wait, 0);
  EXPECT_TRUE(WIFEXITED(wait) && WEXITSTATUS(wait) == 0) << "wait status " << wait;
  for (const int descriptor : {output[0], error[0]})
    close(descriptor);
}

TEST_F(PosixReader, RefusesWhatIsNotARecordInOneLine) {
  const std::string folder = NewFolder();
  launch::WriteFileBytes(folder + "/empty.log", "");
  launch::WriteFileBytes(folder + "/utf8.log", "Program = rec\r\nReturnCode = 10\r\n");
  launch::WriteFileBytes(folder + "/huge.log", "\xFF\xFE");
  ASSERT_EQ(truncate((folder + "/huge.log").c_str(), 100 << 20), 0);
  ASSERT_EQ(mkfifo((folder + "/fifo.log").c_str(), 0600), 0);
  const struct {
    std::string name, error;
  } cases[] = {
      {"empty.log", "not a record: an empty file"},
      {"utf8.log", "not a record: text without a UTF-16 byte-order mark"},
      {"huge.log", "larger than any record (over 64 MiB)"},
      {"", "a directory, not a log"},
      {"fifo.log", "not a plain file"},
      {"missing.log", "no such file"},
  };
  for (const auto &c : cases) {
    const std::string path = folder + "/" + c.name;
    const launch::Result read = Read(folder, {path});
    EXPECT_EQ(read.status(), 2) << path;
    EXPECT_EQ(read.output, "") << path;
    EXPECT_EQ(read.error, "tarnwhistle-read: " + path + ": " + c.error + "\n");
  }
}

TEST_F(PosixReader, EveryViewGivesTheSameStatusAndOutputThatFailsIsAFailure) {
  const std::string folder = NewFolder();
  const std::vector<std::string> ten = {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"};
  std::vector<std::string> argv = {"rec"};
  argv.insert(argv.end(), ten.begin(), ten.end());
  ASSERT_EQ(RunIn(folder, argv).result.status(), 10);
  const std::string whole = folder + "/" + launch::FilesIn(folder).at(0);
  const std::string bytes = launch::ReadFileBytes(whole);
  const std::string others = NewFolder();
  launch::WriteFileBytes(others + "/cut.log", bytes.substr(0, bytes.size() - 1));
  launch::WriteFileBytes(others + "/ambiguous.log",
                         expected::Log({u"Program = p", u"ARG[1] = \"a b\"", u"ARG[2] = \"c d\"",
                                        u"ARG[2] = \"e f\"", u"ReturnCode = 2"}));
  launch::WriteFileBytes(others + "/disagrees.log",
                         expected::Log({u"Program = p", u"ARG[1] = a", u"ReturnCode = 5"}));
  const struct {
    std::string log;
    int status; // of the plain view, --json, -0 and --expect of the ten arguments
  } cases[] = {{whole, 0},
               {others + "/cut.log", 1},
               {others + "/ambiguous.log", 1},
               {others + "/disagrees.log", 1}};
  for (const auto &c : cases) {
    for (const std::vector<std::string> &view :
         {std::vector<std::string>{c.log}, {"--json", c.log}, {"-0", c.log}, Expecting(ten)}) {
      std::vector<std::string> command = view;
      if (view.front() == "--expect")
        command.insert(command.begin(), c.log);
      const launch::Result read = Read(folder, command);
      EXPECT_EQ(read.status(), c.status) << c.log << " " << view.front();
      if (view.front() == "-0" && c.status != 0) {
        EXPECT_EQ(read.output, "") << c.log;
      }
    }
  }
  // Nothing expected where ten arrived: the status is the same, the record is not.
  launch::Result read = Read(folder, Expecting({}));
  EXPECT_EQ(read.status(), 1);
  EXPECT_NE(read.output.find("ARG[1] [a] was not expected (the log has 10 arguments, expected 0)"),
            std::string::npos)
      << read.output;
  read = Read(folder, {"-0", others + "/cut.log"});
  EXPECT_EQ(read.error, "tarnwhistle-read: " + others +
                            "/cut.log: the record is cut short, so its arguments are not certain: "
                            "nothing printed\n");
  // With several logs, the worst status wins.
  EXPECT_EQ(Read(folder, {whole, others + "/cut.log"}).status(), 1);
  EXPECT_EQ(Read(folder, {whole, others + "/missing.log"}).status(), 2);
  EXPECT_EQ(Read(folder, {"--list"}).status(), 0);
  launch::WriteFileBytes(folder + "/Tarnwhistle_2026-01-01_00-00-00.log",
                         bytes.substr(0, bytes.size() - 2));
  read = Read(folder, {"--list"});
  EXPECT_EQ(read.status(), 1);
  EXPECT_NE(read.output.find("2026-01-01 00:00:00  10 arguments, cut short"), std::string::npos)
      << read.output;
  // A full disk or a pipe no one reads loses output: never a success.
  for (const std::string view : {"-0", "--json", "--list"}) {
    const std::vector<std::string> command = {"tarnwhistle-read", view, whole};
    const std::vector<std::string> listing = {"tarnwhistle-read", view};
    const std::vector<std::string> &argv = view == "--list" ? listing : command;
    const launch::Options options = {.environment = {"TMPDIR=" + folder},
                                     .program = launch::ReaderPath()};
    launch::Options full = options, closed = options;
    full.outputFile = "/dev/full";
    closed.outputClosed = true;
    EXPECT_EQ(launch::Run(argv, full).status(), 2) << view;
    EXPECT_EQ(launch::Run(argv, closed).status(), 2) << view;
  }
}

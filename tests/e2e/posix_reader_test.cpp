// The real tarnwhistle-read on Linux, on what the real tarnwhistle wrote.
#include "tests/e2e/posix_launch.h"

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

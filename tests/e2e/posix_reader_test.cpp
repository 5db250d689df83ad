// The real tarnwhistle-read on Linux, on what the real tarnwhistle wrote.
#include "tests/e2e/posix_launch.h"
#include "tests/record_bytes.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <pwd.h>

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

// The account's name as the system's own lookup gives it, or its uid when it has none.
std::string NameOf(uid_t uid) {
  const passwd *entry = getpwuid(uid);
  return entry != nullptr ? entry->pw_name : std::to_string(uid);
}

// Copies a log to a path, gives it to an account, and dates it some seconds from now (so that the
// logs' order is known).
void Plant(const std::string &bytes, const std::string &path, uid_t owner, int seconds) {
  launch::WriteFileBytes(path, bytes);
  ASSERT_EQ(chown(path.c_str(), owner, owner), 0) << path;
  const timespec times[2] = {{time(nullptr) + seconds, 0}, {time(nullptr) + seconds, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

// A reader started in the background, and the pipes its output goes to.
struct Background {
  pid_t process;
  int output[2], error[2];
};

Background StartReader(const std::string &folder, std::vector<std::string> arguments) {
  Background reader = {-1, {-1, -1}, {-1, -1}};
  EXPECT_EQ(pipe2(reader.output, O_CLOEXEC), 0);
  EXPECT_EQ(pipe2(reader.error, O_CLOEXEC), 0);
  arguments.insert(arguments.begin(), "tarnwhistle-read");
  reader.process = launch::Start(
      arguments, {.environment = {"TMPDIR=" + folder}, .program = launch::ReaderPath()},
      reader.output, reader.error);
  return reader;
}

launch::Result Finish(Background &reader) {
  return launch::Finish(reader.process, reader.output, reader.error);
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
      {"utf8.log",
       "not a record: text without a UTF-16 byte-order mark; line 1 starts [Program = rec]"},
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

// -0 frames each argument with a NUL and gives the bytes received: an argument holding U+0000 (a
// forged or damaged log: no command line carries one) or a lone surrogate, which is no byte, cannot
// be given that way. Printing them would hand xargs another list.
TEST_F(PosixReader, NullSeparatedViewNeverPrintsWhatIsNotTheBytesReceived) {
  const std::string folder = NewFolder();
  for (const std::u16string &argument : {std::u16string(u"x\0", 2), std::u16string(u"\xD800")}) {
    const std::string log = folder + "/forged.log";
    launch::WriteFileBytes(log, expected::Log(expected::Lines(u"p", {argument}, 1)));
    const launch::Result read = Read(folder, {"-0", log});
    EXPECT_EQ(read.status(), 2) << read.error;
    EXPECT_EQ(read.output, "");
    EXPECT_NE(read.error.find("ARG[1] holds U+0000 or a lone surrogate"), std::string::npos);
  }
}

TEST_F(PosixReader, SearchTakesOnlyTrustedOwnersLogsAndEveryViewShowsTheOwner) {
  const std::string folder = NewFolder(), foreignOnly = NewFolder();
  RunIn(folder, {"rec", "mine"});
  const std::string own = launch::FilesIn(folder).at(0);
  const std::string bytes = launch::ReadFileBytes(folder + "/" + own);
  const std::string self = NameOf(geteuid());
  const bool root = geteuid() == 0;
  const std::string ownTime = own.substr(12, 10) + " " + own.substr(23, 2) + ":" +
                              own.substr(26, 2) + ":" + own.substr(29, 2);
  // Newest last: a system account's log (uid 1), then another user's (nobody) and one of a uid
  // no account is named for, each newer than the one before.
  const std::string system = "Tarnwhistle_2001-01-01_00-00-01.log",
                    nobody = "Tarnwhistle_2001-01-01_00-00-02.log",
                    nameless = "Tarnwhistle_2001-01-01_00-00-03.log";
  uid_t unnamed = 4242;
  while (getpwuid(unnamed) != nullptr)
    ++unnamed;
  if (root) {
    Plant(bytes, folder + "/" + own, geteuid(), -40);
    Plant(bytes, folder + "/" + system, 1, -30);
    Plant(bytes, folder + "/" + nobody, 65534, -20);
    Plant(bytes, folder + "/" + nameless, unnamed, -10);
    Plant(bytes, foreignOnly + "/" + nobody, 65534, -20);
    Plant(bytes, foreignOnly + "/" + nameless, unnamed, -10);
  }
  const std::string passedOver = root ? NameOf(unnamed) + ", " + NameOf(65534) : "";
  const struct {
    bool rootOnly;
    std::vector<std::string> arguments;
    int status;
    std::string shows; // in the output or the error
  } cases[] = {
      // The reader's own user is the only one taken without --dir, whoever else wrote there.
      {false, {}, 0, "/" + own + "\nTime: " + ownTime + "\nOwner: " + self + "\nProgram: [rec]\n"},
      {false, {"--json"}, 0, "\"owner\":\"" + self + "\",\"program\":\"rec\""},
      {false, {"--list", "--dir", folder}, 0, "  1 argument  " + self + "  " + folder + "/" + own},
      {false,
       {"--dir", folder, "--owner", "no such account"},
       2,
       "--owner no such account: no such account"},
      {true,
       {"--dir", folder},
       0,
       "/" + system + "\nTime: 2001-01-01 00:00:01\nOwner: " + NameOf(1)},
      {true, {"--dir", folder, "--owner", "nobody"}, 0, "/" + nobody + "\n"},
      {true,
       {"--dir", folder, "--owner=" + std::to_string(unnamed), "--json"},
       0,
       "\"owner\":\"" + NameOf(unnamed) + "\""},
      {true,
       {"--owner", "65534"},
       0,
       "/" + nobody + "\nTime: 2001-01-01 00:00:02\nOwner: " + NameOf(65534)},
      {true,
       {"--list", "--dir", folder},
       0,
       "2001-01-01 00:00:01  1 argument  " + NameOf(1) + "  " + folder + "/" + system + "\n" +
           ownTime + "  1 argument  " + self + "  " + folder + "/" + own + "\n"},
      {true, {folder + "/" + nobody}, 0, "Owner: " + NameOf(65534) + "\n"},
      {true, {"--json", foreignOnly + "/" + nameless}, 0, "\"owner\":\"" + NameOf(unnamed) + "\""},
      {true,
       {"--dir", foreignOnly},
       2,
       "tarnwhistle-read: " + foreignOnly +
           ": no Tarnwhistle_*.log files of yours or of the system's own accounts; passed over "
           "those of " +
           passedOver + " (--owner ACCOUNT takes an account's logs)\n"},
      {true,
       {"--list", "--dir", foreignOnly, "--owner", "nobody"},
       0,
       "2001-01-01 00:00:02  1 argument  " + NameOf(65534) + "  " + foreignOnly + "/" + nobody +
           "\n"},
      {true, {"--wait", "0.2"}, 2, "no new log within 0.2 seconds\n"},
  };
  int skipped = 0;
  for (const auto &c : cases) {
    if (c.rootOnly && !root) {
      ++skipped;
      continue;
    }
    const launch::Result read = Read(folder, c.arguments);
    std::string command;
    for (const std::string &argument : c.arguments)
      command += " " + argument;
    EXPECT_EQ(read.status(), c.status) << command << "\n" << read.output << read.error;
    EXPECT_NE((read.output + read.error).find(c.shows), std::string::npos)
        << command << "\nexpected: " << c.shows << "\nfound: " << read.output << read.error;
  }
  if (skipped > 0)
    GTEST_SKIP() << skipped << " rows need root, to give files to other accounts";

  // A log another user writes into the shared folder while the reader waits is passed over, and
  // named.
  ASSERT_EQ(chmod(foreignOnly.c_str(), 01777), 0);
  Background reader = StartReader(folder, {"--wait", "1", "--dir", foreignOnly});
  const pid_t writer = fork();
  if (writer == 0) {
    const std::string path = foreignOnly + "/Tarnwhistle_2001-01-01_00-00-04.log";
    const int file = setgid(65534) == 0 && setuid(65534) == 0
                         ? open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600)
                         : -1;
    _exit(file >= 0 && write(file, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size())
              ? 0
              : 1);
  }
  int written = 0;
  ASSERT_EQ(waitpid(writer, &written, 0), writer);
  ASSERT_TRUE(WIFEXITED(written) && WEXITSTATUS(written) == 0) << "the other user's log";
  const launch::Result waited = Finish(reader);
  EXPECT_EQ(waited.status(), 2);
  EXPECT_EQ(waited.error, "tarnwhistle-read: " + foreignOnly +
                              ": no new log within 1 second; passed over new logs of " +
                              NameOf(65534) + " (--owner ACCOUNT takes an account's logs)\n");
}

TEST_F(PosixReader, WaitTakesTheLogOfALauncherStartedAtOnceAndNeverThePassBefores) {
  const std::string folder = NewFolder();
  // A script's loop: the reader in the background, the launcher straight after, no pause. Each
  // round expects its own arguments, so taking the round before's log fails the check.
  for (int round = 0; round < 30; ++round) {
    const std::vector<std::string> arguments = {"round", std::to_string(round)};
    std::vector<std::string> check = {"--wait", "30"};
    for (const std::string &argument : Expecting(arguments))
      check.push_back(argument);
    Background reader = StartReader(folder, check);
    std::vector<std::string> argv = {"rec"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    RunIn(folder, argv);
    const launch::Result read = Finish(reader);
    EXPECT_EQ(read.status(), 0) << "round " << round << ": " << read.output << read.error;
  }
  // A reader started the moment the last one ended sees no new log.
  const launch::Result read = Read(folder, {"--wait", "0.5", "--json"});
  EXPECT_EQ(read.status(), 2) << read.output;
  EXPECT_NE(read.error.find("no new log within 0.5 seconds"), std::string::npos) << read.error;
}

TEST_F(PosixReader, QuotesAListSoThatItArrivesExactlyOrRefusesIt) {
  // The sh form, run by the shell: the recorder must receive exactly the list, bytes and all.
  std::vector<std::string> list = {launch::ProgramPath()};
  for (const std::string &argument : kHardArguments)
    if (argument != "--expect") // --args would take it for the reader's own
      list.push_back(argument);
  std::vector<std::string> quote = {"--quote", "--args"};
  quote.insert(quote.end(), list.begin(), list.end());
  const std::string folder = NewFolder();
  launch::Result read = Read(folder, quote);
  ASSERT_EQ(read.status(), 0) << read.error;
  ASSERT_TRUE(read.output.ends_with("\n"));
  const launch::Result shell = launch::Run(
      {"sh", "-c", read.output}, {.environment = {"TMPDIR=" + folder}, .program = "/bin/sh"});
  EXPECT_EQ(shell.status(), static_cast<int>(list.size() - 1)) << read.output << shell.error;
  read = Read(folder, Expecting({list.begin() + 1, list.end()}));
  EXPECT_EQ(read.status(), 0) << read.output;

  // A line split, shown and checked, and given back in its canonical form.
  const std::string input = folder + "/line";
  launch::WriteFileBytes(input, "\xFF\xFE" + expected::LittleEndian(u"p  \"a\"\"b\"  c\r\n"));
  launch::Options fromInput = {.environment = {"TMPDIR=" + folder},
                               .program = launch::ReaderPath()};
  fromInput.inputFile = input;
  read = launch::Run({"tarnwhistle-read", "--split", "-", "--json"}, fromInput);
  EXPECT_EQ(
      read.output,
      "{\"line\":\"p  \\\"a\\\"\\\"b\\\"  c\",\"program\":\"p\",\"arguments\":"
      "[\"a\\\"b  c\"],\"c_runtime\":{\"program\":\"p\",\"arguments\":[\"a\\\"b\",\"c\"]}}\n");
  read = launch::Run({"tarnwhistle-read", "--split", "-", "--expect", "--", "a\"b  c"}, fromInput);
  EXPECT_EQ(read.status(), 0);
  EXPECT_NE(read.output.find("as expected (A program built with Microsoft's C runtime receives"),
            std::string::npos)
      << read.output;
  read = Read(folder, {"--split", "p  \"a b\"\tc\\\\\"d\"", "--quote=createprocess"});
  EXPECT_EQ(read.output, "p \"a b\" c\\d\n");

  const struct {
    std::vector<std::string> arguments;
    int status;
    std::string error;
  } refusals[] = {
      {{"--quote=cmd", "--args", "p", "a", "b\nc"}, 2, "ARG[2] holds a CR, LF or Ctrl-Z"},
      {{"--quote=createprocess", "--args", "p\"q", "a"}, 2, "the program holds a quote"},
      {{"--quote=createprocess", "--args", "p", "\xFF"},
       2,
       "ARG[1] holds a lone surrogate or a byte that is not UTF-8"},
      {{"--quote", "cmd"}, 2, "cmd: no such file (to choose a form, write --quote=cmd)"},
      {{"--split", ""}, 2, "--split needs a command line"},
  };
  for (const auto &c : refusals) {
    read = Read(folder, c.arguments);
    EXPECT_EQ(read.status(), c.status) << c.error;
    EXPECT_EQ(read.output, "") << c.error;
    EXPECT_NE(read.error.find(c.error), std::string::npos) << read.error;
  }
  // An uncertain log gives no line.
  const std::string log = folder + "/" + launch::FilesIn(folder).at(0);
  const std::string bytes = launch::ReadFileBytes(log);
  launch::WriteFileBytes(folder + "/cut.log", bytes.substr(0, bytes.size() - 3));
  read = Read(folder, {"--quote", folder + "/cut.log"});
  EXPECT_EQ(read.status(), 1);
  EXPECT_EQ(read.output, "");
}

// The real tarnwhistle on Linux: what it records, the status it exits with, and what it refuses.
#include "tests/e2e/posix_launch.h"
#include "tests/record_bytes.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using PosixRun = launch::Test;

std::vector<std::string> Numbered(int count) {
  std::vector<std::string> argv = {"rec"};
  for (int i = 1; i <= count; ++i)
    argv.push_back("a" + std::to_string(i));
  return argv;
}

std::u16string Ascii(const std::string &text) { return std::u16string(text.begin(), text.end()); }

std::string RecordOf(const std::vector<std::string> &asciiArgv, int status) {
  std::vector<std::u16string> arguments;
  for (std::size_t i = 1; i < asciiArgv.size(); ++i)
    arguments.push_back(Ascii(asciiArgv[i]));
  return expected::Log(expected::Lines(Ascii(asciiArgv[0]), arguments, status));
}

// Every name a run started now could give its log, a little before and well after.
std::vector<std::string> NamesOfTheComingSeconds() {
  std::vector<std::string> names;
  for (int second = -1; second <= 30; ++second)
    names.push_back("Tarnwhistle_" + launch::LocalTimestamp(second) + ".log");
  return names;
}

// What a run must leave as it was in a folder: each entry's kind, names, owner, mode and content.
std::vector<std::string> Describe(const std::string &folder) {
  std::vector<std::string> entries;
  for (const std::string &name : launch::FilesIn(folder)) {
    const std::string path = folder + "/" + name;
    struct stat status;
    if (lstat(path.c_str(), &status) != 0)
      continue;
    const bool file = S_ISREG(status.st_mode);
    entries.push_back(name + ": " +
                      (file                      ? "file"
                       : S_ISDIR(status.st_mode) ? "directory"
                                                 : "other") +
                      ", names: " + std::to_string(status.st_nlink) +
                      ", owner: " + std::to_string(status.st_uid) +
                      ", mode: " + std::to_string(status.st_mode & 07777) +
                      ", bytes: " + (file ? launch::ReadFileBytes(path) : ""));
  }
  return entries;
}

} // namespace

TEST_F(PosixRun, ExitStatusIsTheArgumentCountTenForNoneAndAtMost255) {
  const struct {
    int arguments, status;
  } cases[] = {{0, 10}, {1, 1}, {20, 20}, {21, 21}, {255, 255}, {256, 255}, {300, 255}};
  for (const auto &c : cases) {
    const std::string folder = NewFolder();
    const std::vector<std::string> argv = Numbered(c.arguments);
    const Outcome outcome = RunIn(folder, argv);
    EXPECT_EQ(outcome.result.status(), c.status) << c.arguments << " arguments";
    ExpectOneLog(folder, outcome, RecordOf(argv, c.status));
  }
}

TEST_F(PosixRun, WritesTheSameExampleRecordAsOnWindows) {
  const std::string folder = NewFolder();
  const Outcome outcome = RunIn(folder, {"C:\\Tools\\rec.exe", "alpha", "two words", ""});
  EXPECT_EQ(outcome.result.status(), 3);
  ExpectOneLog(folder, outcome, expected::ExampleLog());
}

TEST_F(PosixRun, RecordsOptionsQuotesAndBackslashesUntouched) {
  const std::string folder = NewFolder();
  const std::vector<std::string> argv = {"/opt/my tools/rec", "-h",       "/?",
                                         "--version",         "@file",    "say \"hi\"",
                                         "C:\\dir\\",         "tab\there"};
  const Outcome outcome = RunIn(folder, argv);
  EXPECT_EQ(outcome.result.status(), 7);
  ExpectOneLog(folder, outcome,
               expected::Log({u"Program = /opt/my tools/rec", u"ARG[1] = -h", u"ARG[2] = /?",
                              u"ARG[3] = --version", u"ARG[4] = @file", u"ARG[5] = \"say \"hi\"\"",
                              u"ARG[6] = C:\\dir\\", u"ARG[7] = tab\there", u"ReturnCode = 7"}));
}

TEST_F(PosixRun, DecodesUtf8AndKeepsInvalidBytesAsEscapes) {
  const std::string folder = NewFolder();
  const Outcome outcome =
      RunIn(folder, {"/opt/r\xC3\xA9"
                     "c",
                     "gr\xC3\xBC\xC3\x9F"
                     "e",
                     "\xE4\xB8\xAD\xE6\x96\x87", "\xD9\x85\xD8\xB1 \xD0\xB1",
                     "\xF0\x9F\x98\x80\xF0\x9D\x84\x9E", "\xFF\xFE", "a\xC3", "\xED\xA0\x80"});
  EXPECT_EQ(outcome.result.status(), 7);
  ExpectOneLog(
      folder, outcome,
      expected::Log({u"Program = /opt/r\u00E9c", u"ARG[1] = gr\u00FC\u00DFe",
                     u"ARG[2] = \u4E2D\u6587", u"ARG[3] = \"\u0645\u0631 \u0431\"",
                     u"ARG[4] = \xD83D\xDE00\xD834\xDD1E", u"ARG[5] = \xDCFF\xDCFE",
                     u"ARG[6] = a\xDCC3", u"ARG[7] = \xDCED\xDCA0\xDC80", u"ReturnCode = 7"}));
}

TEST_F(PosixRun, NamesTheFileInLocalTime) {
  // A fixed offset of +05:45 with no daylight saving: local time is plain arithmetic on UTC.
  const auto zoned = [] {
    // The clock the recorder reads, not time()'s coarse one (see LocalTimestamp).
    timespec clock = {};
    clock_gettime(CLOCK_REALTIME, &clock);
    const time_t now = clock.tv_sec + 5 * 3600 + 45 * 60;
    tm shifted;
    gmtime_r(&now, &shifted);
    char text[32];
    strftime(text, sizeof text, "%Y-%m-%d_%H-%M-%S", &shifted);
    return std::string(text);
  };
  const std::string folder = NewFolder();
  const std::string before = zoned();
  Outcome outcome = RunIn(folder, {"rec", "zoned"}, {.environment = {"TZ=TWH-05:45"}});
  outcome.before = before;
  outcome.after = zoned();
  EXPECT_EQ(outcome.result.status(), 1);
  ExpectOneLog(folder, outcome, RecordOf({"rec", "zoned"}, 1));
}

TEST_F(PosixRun, TemporaryDirectoryMustFitIn259Units) {
  // A directory whose path, with the slash the platform adds, is exactly 259 or 260 units long.
  std::string directory = NewFolder();
  while (directory.size() < 258) {
    directory += "/" + std::string(std::min<std::size_t>(60, 258 - directory.size() - 1), 'd');
    ASSERT_EQ(mkdir(directory.c_str(), 0700), 0) << directory;
  }
  ASSERT_EQ(directory.size(), 258u);
  Outcome outcome = RunIn(directory, {"rec", "fits"});
  EXPECT_EQ(outcome.result.status(), 1);
  ExpectOneLog(directory, outcome, RecordOf({"rec", "fits"}, 1));
  unlink((directory + "/" + launch::FilesIn(directory).at(0)).c_str());

  // The same length without the slash, which the platform then adds: one unit too many.
  const std::string longer = directory + "e";
  ASSERT_EQ(mkdir(longer.c_str(), 0700), 0);
  outcome = RunIn(longer, {"rec", "too", "long"});
  EXPECT_EQ(outcome.result.status(), 20);
  const std::string parent = directory.substr(0, directory.rfind('/'));
  EXPECT_EQ(launch::FilesIn(longer), std::vector<std::string>{});
  EXPECT_EQ(launch::FilesIn(directory), std::vector<std::string>{});
  EXPECT_EQ(launch::FilesIn(parent).size(), 2u);
  for (const std::string &name : launch::FilesIn("/tmp"))
    EXPECT_FALSE(name.starts_with("Tarnwhistle_") && name >= "Tarnwhistle_" + outcome.before &&
                 name <= "Tarnwhistle_" + outcome.after + ".log")
        << "/tmp/" << name;
}

TEST_F(PosixRun, MissingTemporaryDirectoryGivesTwentyOne) {
  const std::string folder = NewFolder();
  const Outcome outcome = RunIn(folder + "/missing", {"rec", "x"});
  EXPECT_EQ(outcome.result.status(), 21);
  EXPECT_EQ(launch::FilesIn(folder), std::vector<std::string>{});
}

TEST_F(PosixRun, SymlinkAtTheLogNameNeverRedirectsTheWrite) {
  const std::string folder = NewFolder();
  const std::string target = folder + "/precious";
  launch::WriteFileBytes(target, "mine");
  for (const std::string &name : NamesOfTheComingSeconds())
    ASSERT_EQ(symlink(target.c_str(), (folder + "/" + name).c_str()), 0);
  const Outcome outcome = RunIn(folder, {"rec", "x"});
  EXPECT_EQ(outcome.result.status(), 21);
  EXPECT_EQ(launch::ReadFileBytes(target), "mine");
}

TEST_F(PosixRun, FileLockedByAnotherProcessIsLeftAloneWithTwentyOne) {
  const std::string folder = NewFolder();
  const std::vector<std::string> names = NamesOfTheComingSeconds();
  std::vector<int> held;
  for (const std::string &name : names) {
    const std::string path = folder + "/" + name;
    launch::WriteFileBytes(path, "held: " + name);
    const int descriptor = open(path.c_str(), O_RDWR | O_CLOEXEC);
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    ASSERT_EQ(fcntl(descriptor, F_SETLK, &lock), 0);
    held.push_back(descriptor);
  }
  const Outcome outcome = RunIn(folder, {"rec", "x"});
  EXPECT_EQ(outcome.result.status(), 21);
  for (const int descriptor : held)
    close(descriptor);
  for (const std::string &name : names)
    EXPECT_EQ(launch::ReadFileBytes(folder + "/" + name), "held: " + name);
}

TEST_F(PosixRun, ClosedFileOfTheSameNameIsReplacedNotAppendedTo) {
  const std::string folder = NewFolder();
  const std::vector<std::string> names = NamesOfTheComingSeconds();
  const std::string old(4096, 'X');
  for (const std::string &name : names)
    launch::WriteFileBytes(folder + "/" + name, old);
  const Outcome outcome = RunIn(folder, {"rec", "new"});
  EXPECT_EQ(outcome.result.status(), 1);
  int replaced = 0;
  for (const std::string &name : names) {
    const std::string bytes = launch::ReadFileBytes(folder + "/" + name);
    if (bytes != old) {
      ++replaced;
      EXPECT_TRUE(launch::SameBytes(bytes, RecordOf({"rec", "new"}, 1))) << name;
    }
  }
  EXPECT_EQ(replaced, 1);
}

TEST_F(PosixRun, FileSizeLimitCutsTheRecordButNotTheRun) {
  const std::string folder = NewFolder();
  const std::vector<std::string> argv = Numbered(40);
  const Outcome outcome = RunIn(folder, argv, {.fileSizeLimit = 100});
  EXPECT_EQ(outcome.result.status(), 40) << "wait status " << outcome.result.wait;
  ExpectOneLog(folder, outcome, RecordOf(argv, 40).substr(0, 100));
}

TEST_F(PosixRun, ConcurrentRunsEachWriteACompleteRecordOrGiveTwentyOne) {
  constexpr int kRuns = 64;
  const std::string folder = NewFolder();
  const std::vector<std::string> argv = {"rec", "same", "two words", ""};
  const std::string record = RecordOf(argv, 3);
  std::vector<pid_t> children;
  std::vector<int> pipes;
  const std::string before = launch::LocalTimestamp();
  for (int i = 0; i < kRuns; ++i) {
    int output[2], error[2];
    ASSERT_EQ(pipe2(output, O_CLOEXEC), 0);
    ASSERT_EQ(pipe2(error, O_CLOEXEC), 0);
    children.push_back(launch::Start(argv, {{"TMPDIR=" + folder}}, output, error));
    close(output[1]);
    close(error[1]);
    pipes.insert(pipes.end(), {output[0], error[0]});
  }
  int wrote = 0, refused = 0, other = 0;
  for (const pid_t child : children) {
    int wait = 0;
    waitpid(child, &wait, 0);
    const int status = WIFEXITED(wait) ? WEXITSTATUS(wait) : -1;
    (status == 3 ? wrote : status == 21 ? refused : other)++;
  }
  const std::string after = launch::LocalTimestamp();
  for (const int descriptor : pipes) {
    char byte;
    EXPECT_EQ(read(descriptor, &byte, 1), 0) << "a run wrote to standard output or error";
    close(descriptor);
  }
  const std::vector<std::string> files = launch::FilesIn(folder);
  const std::string tally = std::to_string(kRuns) + " runs: " + std::to_string(wrote) + " wrote, " +
                            std::to_string(refused) + " gave 21, " + std::to_string(other) +
                            " other; " + std::to_string(files.size()) + " files for the seconds " +
                            before + " to " + after;
  EXPECT_EQ(other, 0) << tally;
  EXPECT_GE(wrote, 1) << tally;
  EXPECT_GE(files.size(), 1u) << tally;
  EXPECT_LE(files.size(), static_cast<std::size_t>(wrote)) << tally;
  for (const std::string &name : files) {
    EXPECT_TRUE(launch::SameBytes(launch::ReadFileBytes(folder + "/" + name), record))
        << name << "; " << tally;
    const std::string stamp = launch::StampOf(name);
    EXPECT_TRUE(before <= stamp && stamp <= after) << name << "; " << tally;
  }
}

TEST_F(PosixRun, AnythingPlantedAtTheLogNameIsLeftAsItWasWithTwentyOne) {
  const std::vector<std::string> names = NamesOfTheComingSeconds();
  std::vector<int> held;
  const struct {
    const char *kind;
    bool available;
    std::function<bool(const std::string &folder, const std::string &path)> plant;
    launch::Options options = {};
  } cases[] = {
      {"a hard link to a file kept elsewhere", true,
       [](const std::string &folder, const std::string &path) {
         launch::WriteFileBytes(folder + "/precious", "precious");
         return link((folder + "/precious").c_str(), path.c_str()) == 0;
       }},
      {"another user's file", geteuid() == 0,
       [](const std::string &, const std::string &path) {
         launch::WriteFileBytes(path, "theirs");
         return chmod(path.c_str(), 0666) == 0 && chown(path.c_str(), 65534, 65534) == 0;
       }},
      {"a directory", true,
       [](const std::string &, const std::string &path) { return mkdir(path.c_str(), 0700) == 0; }},
      {"a file another process holds an flock on", true,
       [&](const std::string &, const std::string &path) {
         launch::WriteFileBytes(path, "locked");
         held.push_back(open(path.c_str(), O_RDONLY | O_CLOEXEC));
         return flock(held.back(), LOCK_EX | LOCK_NB) == 0;
       }},
      // The run's own new file, left 0400 by the umask, which it cannot make 0600 (a file system
      // that refuses chmod): removed again.
      {"nothing, with a umask leaving less than 0600 and chmod refused",
       true,
       [](const std::string &, const std::string &) { return true; },
       {.refuseChmod = true, .creationMask = 0277}},
  };
  std::vector<std::string> skipped;
  for (const auto &c : cases) {
    if (!c.available) {
      skipped.push_back(std::string(c.kind) + " (giving a file away needs root)");
      continue;
    }
    const std::string folder = NewFolder();
    for (const std::string &name : names)
      ASSERT_TRUE(c.plant(folder, folder + "/" + name)) << c.kind << ": " << std::strerror(errno);
    const std::vector<std::string> before = Describe(folder);
    const Outcome outcome = RunIn(folder, {"rec", "secret"}, c.options);
    if (outcome.result.status() == launch::kNotSetUp) {
      skipped.push_back(std::string(c.kind) + " (no seccomp here to make chmod fail)");
      continue;
    }
    EXPECT_EQ(outcome.result.status(), 21) << c.kind;
    EXPECT_EQ(Describe(folder), before) << c.kind;
  }
  for (const int descriptor : held)
    close(descriptor);
  if (!skipped.empty())
    GTEST_SKIP() << "not tried: " << skipped[0];
}

TEST_F(PosixRun, FileWhoseModeCannotBeMadePrivateKeepsItsContent) {
  const std::string folder = NewFolder();
  for (const std::string &name : NamesOfTheComingSeconds()) {
    launch::WriteFileBytes(folder + "/" + name, "earlier log");
    ASSERT_EQ(chmod((folder + "/" + name).c_str(), 0644), 0);
  }
  const std::vector<std::string> before = Describe(folder);
  const Outcome outcome = RunIn(folder, {"rec", "x"}, {.refuseChmod = true});
  if (outcome.result.status() == launch::kNotSetUp)
    GTEST_SKIP() << "this system cannot make chmod fail for one process (no seccomp)";
  EXPECT_EQ(outcome.result.status(), 21);
  EXPECT_EQ(Describe(folder), before);
}

// Running the real tarnwhistle binary from a test.
#include "tests/e2e/posix_launch.h"
#include "recorder/log_name.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace launch {

namespace {

std::string programPath, readerPath;

std::string ReadAll(int descriptor) {
  std::string bytes;
  char buffer[4096];
  ssize_t got;
  while ((got = read(descriptor, buffer, sizeof buffer)) > 0)
    bytes.append(buffer, static_cast<std::size_t>(got));
  return bytes;
}

// Makes every later chmod of this process and the programs it executes fail with EPERM.
bool RefuseChmod() {
  sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_fchmod, 3, 0),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_fchmodat, 2, 0),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_chmod, 1, 0),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM),
  };
  const sock_fprog program = {static_cast<unsigned short>(std::size(filter)), filter};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

} // namespace

const std::string &ProgramPath() { return programPath; }
const std::string &ReaderPath() { return readerPath; }
void SetProgramPaths(const std::string &recorder, const std::string &reader) {
  programPath = recorder;
  readerPath = reader;
}

bool Result::exited() const { return WIFEXITED(wait); }
int Result::status() const { return WIFEXITED(wait) ? WEXITSTATUS(wait) : -1; }

pid_t Start(const std::vector<std::string> &argv, const Options &options, int outputPipe[2],
            int errorPipe[2]) {
  std::vector<char *> arguments, environment;
  for (const std::string &argument : argv)
    arguments.push_back(const_cast<char *>(argument.c_str()));
  arguments.push_back(nullptr);
  for (const std::string &entry : options.environment)
    environment.push_back(const_cast<char *>(entry.c_str()));
  environment.push_back(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    dup2(outputPipe[1], STDOUT_FILENO);
    dup2(errorPipe[1], STDERR_FILENO);
    int closed[2];
    if (!options.inputFile.empty()) {
      const int file = open(options.inputFile.c_str(), O_RDONLY);
      if (file < 0 || dup2(file, STDIN_FILENO) < 0)
        _exit(kNotSetUp);
    }
    if (!options.outputFile.empty()) {
      const int file = open(options.outputFile.c_str(), O_WRONLY);
      if (file < 0 || dup2(file, STDOUT_FILENO) < 0)
        _exit(kNotSetUp);
    } else if (options.outputClosed) {
      if (pipe(closed) != 0 || close(closed[0]) != 0 || dup2(closed[1], STDOUT_FILENO) < 0 ||
          signal(SIGPIPE, SIG_IGN) == SIG_ERR)
        _exit(kNotSetUp);
    }
    if (options.fileSizeLimit >= 0) {
      const rlimit limit = {static_cast<rlim_t>(options.fileSizeLimit),
                            static_cast<rlim_t>(options.fileSizeLimit)};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (options.creationMask >= 0)
      umask(static_cast<mode_t>(options.creationMask));
    if (options.refuseChmod && !RefuseChmod())
      _exit(kNotSetUp);
    execve(options.program.c_str(), arguments.data(), environment.data());
    _exit(127);
  }
  return child;
}

Result Run(const std::vector<std::string> &argv, const Options &options) {
  int output[2], error[2];
  if (pipe2(output, O_CLOEXEC) != 0 || pipe2(error, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "no pipes: " << std::strerror(errno);
    return {};
  }
  return Finish(Start(argv, options, output, error), output, error);
}

Result Finish(pid_t child, int output[2], int error[2]) {
  close(output[1]);
  close(error[1]);
  Result result;
  // The program writes nothing to either pipe, so reading them to the end waits for its exit.
  pollfd both[] = {{output[0], POLLIN, 0}, {error[0], POLLIN, 0}};
  if (poll(both, 2, 60'000) == 0) {
    ADD_FAILURE() << "tarnwhistle did not exit within a minute";
    kill(child, SIGKILL);
  }
  result.output = ReadAll(output[0]);
  result.error = ReadAll(error[0]);
  close(output[0]);
  close(error[0]);
  waitpid(child, &result.wait, 0);
  return result;
}

std::vector<std::string> FilesIn(const std::string &folder) {
  std::vector<std::string> names;
  DIR *directory = opendir(folder.c_str());
  if (directory == nullptr)
    return names;
  while (const dirent *entry = readdir(directory)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..")
      names.push_back(name);
  }
  closedir(directory);
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadFileBytes(const std::string &path) {
  const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) {
    ADD_FAILURE() << "cannot open " << path << ": " << std::strerror(errno);
    return {};
  }
  std::string bytes = ReadAll(descriptor);
  close(descriptor);
  return bytes;
}

void WriteFileBytes(const std::string &path, const std::string &bytes) {
  const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  ASSERT_GE(descriptor, 0) << "cannot create " << path;
  ASSERT_EQ(write(descriptor, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  close(descriptor);
}

std::string LocalTimestamp(int shiftSeconds) {
  // The wall clock the recorder reads: time() reads the kernel's coarse clock, which can still
  // show the second before for some milliseconds after it has turned.
  timespec clock = {};
  clock_gettime(CLOCK_REALTIME, &clock);
  const time_t now = clock.tv_sec + shiftSeconds;
  tm local;
  localtime_r(&now, &local);
  char text[32];
  strftime(text, sizeof text, "%Y-%m-%d_%H-%M-%S", &local);
  return text;
}

const std::string &LogPrefix() {
  static const std::string prefix(recorder::LOG_PREFIX.begin(), recorder::LOG_PREFIX.end());
  return prefix;
}

const std::string &LogExtension() {
  static const std::string extension(recorder::LOG_EXTENSION.begin(),
                                     recorder::LOG_EXTENSION.end());
  return extension;
}

std::string StampOf(const std::string &name) {
  return name.substr(LogPrefix().size(), recorder::LOG_TIMESTAMP_LENGTH);
}

void RemoveTree(const std::string &folder) {
  for (const std::string &name : FilesIn(folder)) {
    const std::string path = folder + "/" + name;
    struct stat status;
    if (lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode))
      RemoveTree(path);
    else
      unlink(path.c_str());
  }
  rmdir(folder.c_str());
}

std::string Test::NewFolder() {
  char folder[] = "/tmp/tarnwhistle-e2e-XXXXXX";
  EXPECT_NE(mkdtemp(folder), nullptr) << std::strerror(errno);
  folders_.push_back(folder);
  return folder;
}

void Test::TearDown() {
  for (const std::string &folder : folders_) {
    if (HasFailure())
      std::printf("kept the test's folder: %s\n", folder.c_str());
    else
      RemoveTree(folder);
  }
}

Test::Outcome Test::RunIn(const std::string &folder, const std::vector<std::string> &argv,
                          Options options) {
  options.environment.push_back("TMPDIR=" + folder);
  Outcome outcome;
  outcome.before = LocalTimestamp();
  outcome.result = launch::Run(argv, options);
  outcome.after = LocalTimestamp();
  EXPECT_TRUE(outcome.result.exited()) << "wait status " << outcome.result.wait;
  EXPECT_EQ(outcome.result.output, "") << "standard output";
  EXPECT_EQ(outcome.result.error, "") << "standard error";
  return outcome;
}

void Test::ExpectOneLog(const std::string &folder, const Outcome &outcome,
                        const std::string &bytes) {
  const std::vector<std::string> files = FilesIn(folder);
  ASSERT_EQ(files.size(), 1u) << "files in " << folder;
  const std::string &name = files[0];
  ASSERT_EQ(name.size(),
            LogPrefix().size() + recorder::LOG_TIMESTAMP_LENGTH + LogExtension().size())
      << name;
  EXPECT_EQ(name.substr(0, LogPrefix().size()), LogPrefix()) << name;
  EXPECT_EQ(name.substr(name.size() - LogExtension().size()), LogExtension()) << name;
  const std::string stamp = StampOf(name);
  EXPECT_LE(outcome.before, stamp) << name << " is named before the run started";
  EXPECT_GE(outcome.after, stamp) << name << " is named after the run ended";
  EXPECT_TRUE(SameBytes(ReadFileBytes(folder + "/" + name), bytes)) << name;
  struct stat status;
  ASSERT_EQ(stat((folder + "/" + name).c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0600u) << name;
}

} // namespace launch

int main(int argc, char **argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Listing the cases (as CTest does to find them) runs no program.
  if (argc != 3 && !GTEST_FLAG_GET(list_tests)) {
    std::fprintf(stderr, "usage: %s path/to/tarnwhistle path/to/tarnwhistle-read\n", argv[0]);
    return 2;
  }
  if (argc == 3)
    launch::SetProgramPaths(argv[1], argv[2]);
  return RUN_ALL_TESTS();
}

#include "platform/posix.h"
#include "recorder/run.h"
#include "text/codec.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

std::wstring Units(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

std::string NewFolder() {
  char folder[] = "/tmp/tarnwhistle-posix-test-XXXXXX";
  EXPECT_NE(mkdtemp(folder), nullptr);
  return folder;
}

} // namespace

TEST(PosixPlatform, SplitsArgvIntoOneBlockAndFailsOnAnEmptyOne) {
  char program[] = "/usr/bin/rec", spaced[] = "two words", empty[] = "", odd[] = "\xFF\xC3\xA9";
  char *argv[] = {program, spaced, empty, odd, nullptr};
  platform::SetProcessArguments(4, argv);
  int count = 0;
  wchar_t **block = platform::CommandLineToArgvW(platform::GetCommandLineW(), &count);
  ASSERT_NE(block, nullptr);
  ASSERT_EQ(count, 4);
  EXPECT_EQ(std::wstring(block[0]), L"/usr/bin/rec");
  EXPECT_EQ(std::wstring(block[1]), L"two words");
  EXPECT_EQ(std::wstring(block[2]), L"");
  EXPECT_EQ(std::wstring(block[3]), Units(u"\xDCFF\u00E9"));
  EXPECT_EQ(block[4], nullptr);
  EXPECT_EQ(platform::LocalFree(block), nullptr);

  char *none[] = {nullptr};
  platform::SetProcessArguments(0, none);
  EXPECT_EQ(platform::CommandLineToArgvW(platform::GetCommandLineW(), &count), nullptr);
  // An empty argv is a split failure for the whole run, with nothing else done.
  const std::string folder = NewFolder();
  ASSERT_EQ(setenv("TMPDIR", folder.c_str(), 1), 0);
  EXPECT_EQ(recorder::RunRecorder(), 1);
  EXPECT_EQ(rmdir(folder.c_str()), 0) << "the run left something in " << folder;
}

TEST(PosixPlatform, TemporaryDirectoryComesFromTmpdirEndsInASlashAndMustFit) {
  const struct {
    const char *tmpdir; // null: unset
    std::wstring text;
    platform::DWORD count;
  } cases[] = {
      {nullptr, L"/tmp/", 5},     {"", L"/tmp/", 5},   {"/var/x", L"/var/x/", 7},
      {"/var/x/", L"/var/x/", 7}, {"rel", L"rel/", 4}, {"/\xFF", Units(u"/\xDCFF/"), 3},
  };
  for (const auto &c : cases) {
    if (c.tmpdir)
      setenv("TMPDIR", c.tmpdir, 1);
    else
      unsetenv("TMPDIR");
    wchar_t buffer[260];
    EXPECT_EQ(platform::GetTempPathW(260, buffer), c.count) << c.tmpdir;
    EXPECT_EQ(std::wstring(buffer), c.text) << c.tmpdir;
  }
  wchar_t buffer[260];
  setenv("TMPDIR", ("/" + std::string(257, 'd') + "/").c_str(), 1);
  EXPECT_EQ(platform::GetTempPathW(260, buffer), 259u);
  EXPECT_EQ(std::wstring(buffer).size(), 259u);
  setenv("TMPDIR", ("/" + std::string(258, 'd')).c_str(), 1);
  EXPECT_EQ(platform::GetTempPathW(260, buffer), 261u);
  // More bytes than the buffer holds units, but fewer units.
  std::string letters = "/";
  for (int i = 0; i < 150; ++i)
    letters += "\xC3\xA9";
  setenv("TMPDIR", letters.c_str(), 1);
  EXPECT_EQ(platform::GetTempPathW(260, buffer), 152u);
  EXPECT_EQ(std::wstring(buffer), L"/" + std::wstring(150, L'\u00E9') + L"/");
  unsetenv("TMPDIR");
}

TEST(PosixPlatform, CreatesAPrivateFileAndRefusesWhatIsNotItsOwnPlainFile) {
  const std::string folder = NewFolder();
  const auto create = [](const std::string &path) {
    const std::wstring wide = text::DecodeBytes(path);
    return platform::CreateFileW(wide.c_str(), platform::GENERIC_WRITE, platform::FILE_SHARE_READ,
                                 nullptr, platform::CREATE_ALWAYS, platform::FILE_ATTRIBUTE_NORMAL,
                                 nullptr);
  };
  const auto contentOf = [](const std::string &path) {
    std::string bytes(64, '\0');
    const int descriptor = open(path.c_str(), O_RDONLY);
    bytes.resize(static_cast<std::size_t>(read(descriptor, bytes.data(), bytes.size())));
    close(descriptor);
    return bytes;
  };
  const std::string log = folder + "/new.log";
  platform::HANDLE file = create(log);
  ASSERT_NE(file, platform::INVALID_HANDLE_VALUE);
  platform::DWORD written = 0;
  EXPECT_TRUE(platform::WriteFile(file, "abc", 3, &written, nullptr));
  EXPECT_EQ(written, 3u);
  EXPECT_TRUE(platform::CloseHandle(file));
  struct stat status;
  ASSERT_EQ(stat(log.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0600u);

  // A new file that the umask leaves less than 0600 is made 0600 all the same.
  const mode_t mask = umask(0277);
  file = create(folder + "/masked.log");
  umask(mask);
  ASSERT_NE(file, platform::INVALID_HANDLE_VALUE);
  platform::CloseHandle(file);
  ASSERT_EQ(stat((folder + "/masked.log").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0600u);

  // An existing file of ours is emptied and made private again.
  ASSERT_EQ(chmod(log.c_str(), 0644), 0);
  file = create(log);
  ASSERT_NE(file, platform::INVALID_HANDLE_VALUE);
  platform::CloseHandle(file);
  ASSERT_EQ(stat(log.c_str(), &status), 0);
  EXPECT_EQ(status.st_size, 0);
  EXPECT_EQ(status.st_mode & 07777, 0600u);

  const std::string target = folder + "/target";
  const int descriptor = open(target.c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_EQ(write(descriptor, "keep", 4), 4);
  close(descriptor);
  ASSERT_EQ(symlink(target.c_str(), (folder + "/symlink.log").c_str()), 0);
  ASSERT_EQ(link(target.c_str(), (folder + "/hardlink.log").c_str()), 0);
  ASSERT_EQ(mkfifo((folder + "/fifo.log").c_str(), 0600), 0);
  ASSERT_EQ(mkdir((folder + "/directory.log").c_str(), 0700), 0);
  for (const char *name : {"/symlink.log", "/hardlink.log", "/fifo.log", "/directory.log"})
    EXPECT_EQ(create(folder + name), platform::INVALID_HANDLE_VALUE) << name;
  EXPECT_EQ(contentOf(target), "keep");
  EXPECT_EQ(create(folder + "/missing/x.log"), platform::INVALID_HANDLE_VALUE);

  for (const char *name :
       {"/new.log", "/masked.log", "/symlink.log", "/hardlink.log", "/fifo.log", "/target"})
    unlink((folder + name).c_str());
  rmdir((folder + "/directory.log").c_str());
  EXPECT_EQ(rmdir(folder.c_str()), 0);
}

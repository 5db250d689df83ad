#include "platform/console.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>
#include <string>

namespace {

std::wstring Wide(const std::string &text) { return std::wstring(text.begin(), text.end()); }

} // namespace

TEST(PosixConsole, OwnersAndAccountsAgreeWithTheSystemsOwnLookup) {
  char folder[] = "/tmp/tarnwhistle-console-test-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string mine = std::string(folder) + "/mine";
  close(open(mine.c_str(), O_WRONLY | O_CREAT, 0600));
  const std::optional<platform::Owner> own = platform::OwnerOf(mine);
  ASSERT_TRUE(own.has_value());
  EXPECT_EQ(own->id, Wide(std::to_string(geteuid())));
  EXPECT_TRUE(own->own);
  // /etc/passwd is root's, whoever runs the test.
  const std::optional<platform::Owner> root = platform::OwnerOf("/etc/passwd");
  ASSERT_TRUE(root.has_value());
  EXPECT_EQ(root->id, L"0");
  EXPECT_TRUE(root->system);
  EXPECT_EQ(platform::OwnerOf(std::string(folder) + "/missing"), std::nullopt);
  unlink(mine.c_str());
  rmdir(folder);

  const passwd *self = getpwuid(geteuid());
  ASSERT_NE(self, nullptr);
  const struct {
    std::wstring account;
    std::optional<std::wstring> id;
  } cases[] = {{Wide(self->pw_name), Wide(std::to_string(self->pw_uid))},
               {L"root", L"0"},
               {L"00", L"0"},
               {L"4294967294", L"4294967294"},
               {L"no such account", std::nullopt},
               {L"4294967295", std::nullopt}};
  for (const auto &c : cases)
    EXPECT_EQ(platform::AccountId(c.account), c.id)
        << std::string(c.account.begin(), c.account.end());
  EXPECT_EQ(platform::AccountName(Wide(std::to_string(self->pw_uid))), Wide(self->pw_name));
  EXPECT_EQ(platform::AccountName(L"0"), L"root");
}

TEST(PosixConsole, AFileWrittenAsAProcessStartsIsNeverBeforeItsStartTime) {
  // Each child writes a file the moment it exists, then compares; the kernel's ticks and the
  // coarse clock meet differently each time, so try many.
  char folder[] = "/tmp/tarnwhistle-console-test-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string file = std::string(folder) + "/written";
  for (int round = 0; round < 200; ++round) {
    const pid_t child = fork();
    if (child == 0) {
      close(open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600));
      const std::int64_t modified = platform::ModifiedTime(file), started = platform::StartTime();
      // The start comes before the write, and not long before: a wrong unit or clock would be far
      // off. (How long the child waits to run first is up to the scheduler.)
      const std::int64_t seconds = 1'000'000'000;
      _exit(modified < started ? 1 : modified - started > 5 * seconds ? 2 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0)
        << "round " << round
        << (WEXITSTATUS(status) == 1 ? ": written before the start" : ": start time far too early")
        << " (kept " << file << ")";
  }
  unlink(file.c_str());
  rmdir(folder);
  EXPECT_LT(platform::StartWindow(), 100'000'000) << "a window of 100 ms or more";
}

#include "platform/console.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
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

#include "platform/accounts.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

// Entries the lookups must use, and lines they must pass over.
const char kPasswd[] = "root:x:0:0:root:/root:/bin/bash\n"
                       "daemon:x:1:1::/usr/sbin:/usr/sbin/nologin\n"
                       "+nisuser:x:5000:5000:::\n"
                       "-blocked:x:5001:5001:::\n"
                       "broken:x\n"
                       "notanumber:x:1e3:0:::\n"
                       ":x:7:7:::\n"
                       "\n"
                       "alice:x:1000:1000:Alice:/home/alice:/bin/sh\n"
                       "alias:x:1000:1000:Alice again:/home/alice:/bin/sh\n"
                       "bob:x:01001:100:::\n"
                       "none:x:4294967295:0:::\n"
                       "last:x:4242";

} // namespace

TEST(Accounts, PasswdGivesTheFirstEntryOfAUidOrNameAndPassesOverWhatIsNotAnEntry) {
  const struct {
    std::uint32_t uid;
    std::optional<std::string> name;
  } byUid[] = {{0, "root"},          {1, "daemon"},
               {1000, "alice"},      {1001, "bob"},
               {4242, "last"},       {5000, std::nullopt},
               {5001, std::nullopt}, {7, std::nullopt},
               {99, std::nullopt},   {4294967295u, std::nullopt}};
  for (const auto &c : byUid)
    EXPECT_EQ(accounts::NameOfUid(kPasswd, c.uid), c.name) << c.uid;

  const struct {
    const char *name;
    std::optional<std::uint32_t> uid;
  } byName[] = {{"alice", 1000},
                {"alias", 1000},
                {"last", 4242},
                {"bob", 1001},
                {"nisuser", std::nullopt},
                {"+nisuser", std::nullopt},
                {"broken", std::nullopt},
                {"notanumber", std::nullopt},
                {"ali", std::nullopt},
                {"", std::nullopt},
                {"none", std::nullopt}};
  for (const auto &c : byName)
    EXPECT_EQ(accounts::UidOfName(kPasswd, c.name), c.uid) << c.name;
  EXPECT_EQ(accounts::NameOfUid("", 0), std::nullopt);
}

TEST(Accounts, UidIsAPlainDecimalNumberBelowTheOneMeaningNoUser) {
  const struct {
    const char *text;
    std::optional<std::uint32_t> uid;
  } cases[] = {{"0", 0},
               {"65534", 65534},
               {"007", 7},
               {"4294967294", 4294967294u},
               {"4294967295", std::nullopt},
               {"4294967296", std::nullopt},
               {"99999999999999999999", std::nullopt},
               {"", std::nullopt},
               {"-1", std::nullopt},
               {"+5", std::nullopt},
               {" 5", std::nullopt},
               {"5a", std::nullopt},
               {"0x10", std::nullopt}};
  for (const auto &c : cases)
    EXPECT_EQ(accounts::UidOfText(c.text), c.uid) << c.text;
}

TEST(Accounts, FirstUserIdIsTheLastUidMinOfLoginDefsOrAThousand) {
  const struct {
    const char *loginDefs;
    std::uint32_t first;
  } cases[] = {
      {"", 1000},
      {"UID_MIN 500\n", 500},
      {"  UID_MIN\t\t 2000 \n", 2000},
      {"UID_MIN 700\r\n", 700},
      {"UID_MIN \"1500\"\n", 1500},
      {"#UID_MIN 500\n", 1000},
      {"SUB_UID_MIN 100000\nUID_MIN_X 5\nSYS_UID_MIN 100\n", 1000},
      {"UID_MIN 500\nUID_MAX 60000\nUID_MIN 600", 600},
      {"UID_MIN 0x200\n", 512},
      {"UID_MIN 0750\n", 488},
      {"UID_MIN 0\n", 0},
      {"UID_MIN 1500 # ordinary users\n", 1000},
      {"UID_MIN 500\nUID_MIN abc\n", 1000},
      {"UID_MIN 99999999999\n", 1000},
      {"UID_MIN 0x\n", 1000},
      {"UID_MIN 08\n", 1000},
      {"UID_MIN\n", 1000},
  };
  for (const auto &c : cases)
    EXPECT_EQ(accounts::FirstUserId(c.loginDefs), c.first) << c.loginDefs;
}

TEST(Accounts, SystemAccountsAreRootThoseBelowTheFirstUserAndWindowsOwnSids) {
  const struct {
    std::uint32_t uid, first;
    bool system;
  } uids[] = {{0, 1000, true},      {1, 1000, true}, {999, 1000, true}, {1000, 1000, false},
              {65534, 1000, false}, {0, 0, true},    {499, 500, true},  {500, 500, false}};
  for (const auto &c : uids)
    EXPECT_EQ(accounts::IsSystemUid(c.uid, c.first), c.system) << c.uid << " below " << c.first;

  const struct {
    const wchar_t *sid;
    bool system;
  } sids[] = {{L"S-1-5-18", true},
              {L"S-1-5-19", true},
              {L"S-1-5-20", true},
              {L"S-1-5-32-544", true},
              {L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", true},
              {L"S-1-5-80-", false},
              {L"S-1-5-32-545", false},
              {L"S-1-5-7", false},
              {L"S-1-5-21-0-0-0-500", false},
              {L"S-1-5-180", false},
              {L"S-1-5-18-1", false},
              {L"S-1-5-21-0-0-0-1000", false}};
  for (const auto &c : sids)
    EXPECT_EQ(accounts::IsSystemSid(c.sid), c.system) << c.sid;
}

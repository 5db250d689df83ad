#include "reader/trust.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace reader {

TEST(Trust, TakesOwnLogsAlwaysSystemOnesWithDirAndNamedAccountsExactly) {
  const platform::Owner own = {L"1000", true, false}, root = {L"0", false, true},
                        service = {L"S-1-5-19", false, true}, other = {L"1001", false, false},
                        longer = {L"10010", false, false};
  const Trust plain = {}, dir = {true, {}}, named = {false, {L"100", L"1001"}},
              dirNamed = {true, {L"S-1-5-21-1-2-3-1001"}};
  const struct {
    const char *row;
    platform::Owner owner;
    Trust trust;
    bool taken;
  } cases[] = {
      {"own, no --dir", own, plain, true},
      {"root, no --dir", root, plain, false},
      {"other, no --dir", other, plain, false},
      {"own, --dir", own, dir, true},
      {"root, --dir", root, dir, true},
      {"service, --dir", service, dir, true},
      {"other, --dir", other, dir, false},
      {"other named, no --dir", other, named, true},
      {"root not named, no --dir", root, named, false},
      {"other not named, --dir", other, dirNamed, false},
      {"a longer id is not the account", longer, named, false},
  };
  for (const auto &c : cases)
    EXPECT_EQ(Trusts(c.trust, c.owner), c.taken) << c.row;
}

TEST(Trust, NamesTheFirstFewOwnersPassedOverVisiblyAndCountsTheRest) {
  using Names = std::vector<std::wstring>;
  const struct {
    Names owners;
    std::string text;
  } cases[] = {
      {{}, ""},
      {{L"nobody"}, "nobody"},
      {{L"NT AUTHORITY\\ANONYMOUS LOGON", L"4242"}, "NT AUTHORITY\\ANONYMOUS LOGON, 4242"},
      {{L"a", L"b", L"c", L"d"}, "a, b, c, d"},
      {{L"a", L"b", L"c", L"d", L"e", L"f"}, "a, b, c, d and 2 more"},
      {{L"tab\tname", L"<x>"}, "tab<TAB>name, <<x>"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(PassedOver(c.owners, false), c.text) << c.text;
}

} // namespace reader

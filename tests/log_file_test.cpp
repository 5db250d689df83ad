#include "recorder/log_file.h"

#include "tests/fake_platform.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace recorder {

TEST(LogFile, TimestampIsTheLocalTimeZeroPadded) {
  const struct {
    platform::SYSTEMTIME time;
    const wchar_t *timestamp;
  } cases[] = {
      {{2026, 3, 6, 7, 9, 5, 2, 999}, L"2026-03-07_09-05-02"},
      {{2027, 1, 5, 1, 0, 0, 0, 0}, L"2027-01-01_00-00-00"},
      {{2026, 12, 4, 31, 23, 59, 59, 500}, L"2026-12-31_23-59-59"},
      {{999, 10, 0, 10, 10, 10, 10, 0}, L"0999-10-10_10-10-10"},
      {{7, 1, 0, 2, 3, 4, 5, 0}, L"0007-01-02_03-04-05"},
      {{10000, 1, 0, 1, 0, 0, 0, 0}, L"10000-01-01_00-00-00"},
      {{65535, 12, 0, 31, 23, 59, 59, 0}, L"65535-12-31_23-59-59"},
  };
  for (const auto &c : cases) {
    fake::Reset({.localTime = c.time});
    EXPECT_EQ(FormatTimestamp(), c.timestamp);
    EXPECT_EQ(fake::Operations(), std::vector<std::string>{"GetLocalTime"});
  }
}

TEST(LogFile, TimestampHasTheNamedLengthUntilTheYear10000) {
  const struct {
    platform::WORD year;
    std::size_t length;
  } cases[] = {
      {0, LOG_TIMESTAMP_LENGTH},
      {2026, LOG_TIMESTAMP_LENGTH},
      {9999, LOG_TIMESTAMP_LENGTH},
      {10000, LOG_TIMESTAMP_LENGTH + 1},
  };
  for (const auto &c : cases)
    EXPECT_EQ(TimestampOf({c.year, 12, 0, 31, 23, 59, 59, 999}).size(), c.length) << c.year;
}

TEST(LogFile, PathIsDirectoryPrefixTimestampAndExtensionWithNothingAdded) {
  EXPECT_EQ(BuildLogPath(L"C:\\Temp\\", L"2026-03-07_09-05-02"),
            L"C:\\Temp\\Tarnwhistle_2026-03-07_09-05-02.log");
  EXPECT_EQ(BuildLogPath(L"D:\\no separator", L"2026-03-07_09-05-02"),
            L"D:\\no separatorTarnwhistle_2026-03-07_09-05-02.log");
  EXPECT_EQ(BuildLogPath(L"/tmp/", L"0999-10-10_10-10-10"),
            L"/tmp/Tarnwhistle_0999-10-10_10-10-10.log");
}

TEST(LogFile, CreatesWithWriteAccessReadSharingAndReplacement) {
  fake::Reset();
  EXPECT_EQ(OpenLogFile(L"C:\\Temp\\x.log"), fake::kLogHandle);
  ASSERT_EQ(fake::Calls().size(), 1u);
  const fake::Call &call = fake::Calls()[0];
  EXPECT_EQ(call.operation, "CreateFileW");
  EXPECT_EQ(call.text, L"C:\\Temp\\x.log");
  EXPECT_EQ(call.values, (std::vector<platform::DWORD>{0x40000000, 1, 2, 0x80}));
  EXPECT_EQ(call.pointers, (std::vector<const void *>{nullptr, nullptr}));

  fake::Reset({.createFails = true});
  EXPECT_EQ(OpenLogFile(L"C:\\Temp\\x.log"), platform::INVALID_HANDLE_VALUE);
}

TEST(LogFile, TemporaryDirectoryMustFitTheBufferWithItsNul) {
  const std::wstring longest(258, L'd');
  const struct {
    const char *name;
    fake::Script script;
    std::optional<std::wstring> directory;
  } cases[] = {
      {"ordinary", {.tempDirectory = L"C:\\Temp\\"}, L"C:\\Temp\\"},
      {"259 units", {.tempDirectory = longest + L"\\"}, longest + L"\\"},
      {"260 units", {.tempDirectory = longest + L"d\\"}, std::nullopt},
      {"count 0", {.tempPathCount = 0}, std::nullopt},
      {"count 260 with the text ended by a NUL", {.tempPathCount = 260}, L"C:\\Temp\\"},
      {"count 261", {.tempPathCount = 261}, std::nullopt},
      {"count 260 and no NUL in the buffer",
       {.tempPathCount = 260, .tempPathFill = L'x'},
       std::nullopt},
      {"count 5 and no NUL in the buffer",
       {.tempPathCount = 5, .tempPathFill = L'x'},
       std::nullopt},
      {"an empty text", {.tempDirectory = L"", .tempPathCount = 1}, std::nullopt},
  };
  for (const auto &c : cases) {
    fake::Reset(c.script);
    EXPECT_EQ(GetTempDirectory(), c.directory) << c.name;
    ASSERT_EQ(fake::Calls().size(), 1u) << c.name;
    EXPECT_EQ(fake::Calls()[0].values, std::vector<platform::DWORD>{260}) << c.name;
  }
}

TEST(LogFile, ReadsATimeBackOnlyFromANameItGives) {
  const struct {
    const wchar_t *name;
    bool given;
  } cases[] = {
      {L"Tarnwhistle_2026-03-07_09-05-02.log", true},
      {L"Tarnwhistle_0999-12-31_23-59-59.log", true},
      {L"Tarnwhistle_12026-01-01_00-00-00.log", true},
      {L"Tarnwhistle_2026-3-07_09-05-02.log", false},
      {L"Tarnwhistle_02026-03-07_09-05-02.log", false},
      {L"Tarnwhistle_2026-03-07 09-05-02.log", false},
      {L"Tarnwhistle_2026-03-07_09-05-02-01.log", false},
      {L"Tarnwhistle_2026-13-07_09-05-02.log", false},
      {L"Tarnwhistle_2026-02-00_25-61-61.log", false},
      {L"Tarnwhistle_99999-03-07_09-05-02.log", false},
      {L"Tarnwhistle_2026-03-07_09-05-02.txt", false},
  };
  for (const auto &c : cases) {
    const std::optional<platform::SYSTEMTIME> time = TimeOfLogName(c.name);
    EXPECT_EQ(time.has_value(), c.given);
    if (time) {
      EXPECT_EQ(BuildLogPath(L"", TimestampOf(*time)), c.name);
    }
  }
}

} // namespace recorder

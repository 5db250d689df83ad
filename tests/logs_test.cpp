#include "reader/logs.h"

#include "tests/fake_console.h"

#include <gtest/gtest.h>

#include <fstream>

namespace reader {

namespace {

namespace fs = std::filesystem;

class Logs : public ::testing::Test {
protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("tarnwhistle-unit-logs-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    fake::ResetConsole();
  }
  void TearDown() override {
    if (!HasFailure())
      fs::remove_all(folder_);
  }
  // A file of the folder, written that many seconds ago.
  fs::path Write(const std::string &name, int secondsAgo = 0) {
    std::ofstream(folder_ / name, std::ios::binary) << "\xFF\xFE";
    fs::last_write_time(folder_ / name,
                        fs::file_time_type::clock::now() - std::chrono::seconds(secondsAgo));
    return folder_ / name;
  }
  std::vector<std::string> Names(const std::vector<FoundLog> &logs) {
    std::vector<std::string> names;
    for (const FoundLog &log : logs)
      names.push_back(log.path.filename().string());
    return names;
  }

  fs::path folder_;
};

} // namespace

TEST_F(Logs, TakesOnlyPlainFilesNamedLikeLogsNewestFirst) {
  Write("Tarnwhistle_2026-03-07_09-05-02.log", 20);
  Write("Tarnwhistle_2026-03-07_09-05-03.log", 10);
  Write("Tarnwhistle_.log");
  Write("Tarnwhistle_2026-03-07_09-05-04.txt");
  Write("tarnwhistle_2026-03-07_09-05-04.log");
  fs::create_directory(folder_ / "Tarnwhistle_2026-03-07_09-05-05.log");
  std::error_code error;
  fs::create_symlink(folder_ / "Tarnwhistle_2026-03-07_09-05-03.log",
                     folder_ / "Tarnwhistle_2026-03-07_09-05-06.log", error);
  EXPECT_EQ(Names(LogsIn(folder_, error)),
            (std::vector<std::string>{"Tarnwhistle_2026-03-07_09-05-03.log",
                                      "Tarnwhistle_2026-03-07_09-05-02.log"}));
  EXPECT_FALSE(error);
  LogsIn(folder_ / "missing", error);
  EXPECT_TRUE(error);
}

TEST_F(Logs, PassesOverOwnersItDoesNotTrustAndNamesThem) {
  Write("Tarnwhistle_2026-03-07_09-05-01.log", 30);
  Write("Tarnwhistle_2026-03-07_09-05-02.log", 20);
  Write("Tarnwhistle_2026-03-07_09-05-03.log", 10);
  fake::TheConsole().owners[L"Tarnwhistle_2026-03-07_09-05-03.log"] = {L"4242", false, false};
  fake::TheConsole().owners[L"Tarnwhistle_2026-03-07_09-05-01.log"] = {L"0", false, true};
  std::error_code error;
  TrustedLogs found = TrustedLogsIn(folder_, {}, error);
  EXPECT_EQ(Names(found.logs), std::vector<std::string>{"Tarnwhistle_2026-03-07_09-05-02.log"});
  EXPECT_EQ(found.passedOver, (std::vector<WideString>{L"4242", L"root"}));
  found = TrustedLogsIn(folder_, {.systemAccounts = true, .accounts = {L"4242"}}, error, 2);
  EXPECT_EQ(Names(found.logs), (std::vector<std::string>{"Tarnwhistle_2026-03-07_09-05-03.log",
                                                         "Tarnwhistle_2026-03-07_09-05-02.log"}));
}

TEST_F(Logs, SaysWhyAFileCannotBeRead) {
  fs::create_directory(folder_ / "dir");
  const struct {
    fs::path path;
    std::optional<std::string> bytes;
    std::string problem;
  } cases[] = {
      {Write("a.log"), "\xFF\xFE", ""},
      {folder_ / "missing.log", std::nullopt, "no such file"},
      {folder_ / "dir", std::nullopt, "a directory, not a log"},
  };
  for (const auto &c : cases) {
    std::string problem;
    EXPECT_EQ(ReadLogBytes(c.path, problem), c.bytes) << c.problem;
    EXPECT_EQ(problem, c.problem);
  }
}

// A log counts as new when it was written at or after the start, or changed since the wait began.
TEST_F(Logs, WaitsOnlyForALogWrittenSinceTheStart) {
  const fs::path old = Write("Tarnwhistle_2026-03-07_09-05-02.log", 60);
  const std::int64_t started = platform::ModifiedTime(old) + 1;
  std::error_code error;
  std::vector<WideString> passedOver;
  EXPECT_EQ(WaitForNewLog(folder_, {}, 0.5, started, error, passedOver), std::nullopt);
  EXPECT_GE(fake::TheConsole().slept, std::chrono::milliseconds(500));
  const fs::path fresh = Write("Tarnwhistle_2026-03-07_09-05-03.log");
  EXPECT_EQ(WaitForNewLog(folder_, {}, 0.5, started, error, passedOver), fresh);
  fake::TheConsole().owners[L"Tarnwhistle_2026-03-07_09-05-03.log"] = {L"4242", false, false};
  EXPECT_EQ(WaitForNewLog(folder_, {}, 0.5, started, error, passedOver), std::nullopt);
  EXPECT_EQ(passedOver, std::vector<WideString>{L"4242"});
  EXPECT_EQ(WaitForNewLog(folder_ / "missing", {}, 0.5, started, error, passedOver), std::nullopt);
  EXPECT_TRUE(error);
}

} // namespace reader

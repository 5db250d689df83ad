#include "recorder/run.h"

#include "tests/fake_platform.h"
#include "tests/record_bytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace recorder {

namespace {

using Operations = std::vector<std::string>;

std::vector<std::wstring> ProgramWith(int arguments) {
  std::vector<std::wstring> vector = {L"rec.exe"};
  for (int i = 1; i <= arguments; ++i)
    vector.push_back(L"a" + std::to_wstring(i));
  return vector;
}

// A run of element 0 and this many arguments writes count + 2 lines, count being arguments + 1.
Operations SuccessfulRun(int arguments) {
  Operations operations = {"GetCommandLineW", "CommandLineToArgvW", "GetTempPathW", "GetLocalTime",
                           "CreateFileW"};
  operations.insert(operations.end(), arguments + 3, "WriteFile");
  operations.insert(operations.end(), {"CloseHandle", "LocalFree"});
  return operations;
}

} // namespace

TEST(Run, SplitsTheProcessCommandLineAndRunsEachStepInOrder) {
  fake::Reset({.arguments = ProgramWith(2)});
  EXPECT_EQ(RunRecorder(), 2);
  EXPECT_EQ(fake::Operations(), SuccessfulRun(2));
  EXPECT_EQ(fake::Calls()[1].pointers[0], fake::CommandLine());
  EXPECT_EQ(fake::Calls().end()[-2].pointers[0], fake::kLogHandle);
  EXPECT_EQ(fake::Calls().back().pointers[0], fake::LastArgumentBlock());
}

TEST(Run, ReturnsTheStatusOfTheCountAndWritesEveryArgument) {
  const struct {
    int arguments;
    ExitStatus status;
  } cases[] = {{0, 10}, {1, 1}, {20, 20}, {21, 21}, {255, 255}, {256, 255}, {300, 255}};
  for (const auto &c : cases) {
    fake::Reset({.arguments = ProgramWith(c.arguments)});
    EXPECT_EQ(RunRecorder(), c.status) << c.arguments << " arguments";
    EXPECT_EQ(fake::Operations(), SuccessfulRun(c.arguments)) << c.arguments << " arguments";
  }
}

TEST(Run, SplitFailureReturnsOneWithNoOtherCall) {
  fake::Reset({.splitFails = true});
  EXPECT_EQ(RunRecorder(), 1);
  EXPECT_EQ(fake::Operations(), (Operations{"GetCommandLineW", "CommandLineToArgvW"}));
}

TEST(Run, VectorWithoutElementZeroIsASplitFailureAndIsStillReleased) {
  for (const int count : {0, -1}) {
    fake::Reset({.arguments = {}, .reportedCount = count});
    EXPECT_EQ(RunRecorder(), 1) << "count " << count;
    EXPECT_EQ(fake::Operations(),
              (Operations{"GetCommandLineW", "CommandLineToArgvW", "LocalFree"}))
        << "count " << count;
  }
}

TEST(Run, ReleasesTheVectorExactlyOnceOnEveryPathAfterClosingTheFile) {
  const struct {
    const char *path;
    fake::Script script;
    ExitStatus status;
  } cases[] = {
      {"success", {}, 10},
      {"no temporary directory", {.tempPathCount = 0}, 20},
      {"file not created", {.createFails = true}, 21},
      {"every write fails", {.failingWrites = {0, 1, 2}}, 10},
  };
  for (const auto &c : cases) {
    fake::Reset(c.script);
    EXPECT_EQ(RunRecorder(), c.status) << c.path;
    const Operations operations = fake::Operations();
    EXPECT_EQ(std::count(operations.begin(), operations.end(), "LocalFree"), 1) << c.path;
    ASSERT_EQ(operations.back(), "LocalFree") << c.path;
    EXPECT_EQ(fake::Calls().back().pointers[0], fake::LastArgumentBlock()) << c.path;
    const auto closes = std::count(operations.begin(), operations.end(), "CloseHandle");
    EXPECT_EQ(closes, c.status == 21 || c.status == 20 ? 0 : 1) << c.path;
  }
}

TEST(Run, NoTemporaryDirectoryReturnsTwentyWithoutReadingTheClock) {
  for (const platform::DWORD count : {0u, 261u, 1000u}) {
    fake::Reset({.arguments = ProgramWith(3), .tempPathCount = count});
    EXPECT_EQ(RunRecorder(), 20) << "count " << count;
    EXPECT_EQ(fake::Operations(),
              (Operations{"GetCommandLineW", "CommandLineToArgvW", "GetTempPathW", "LocalFree"}))
        << "count " << count;
  }
}

TEST(Run, UncreatableFileReturnsTwentyOneWithoutWriting) {
  fake::Reset({.arguments = ProgramWith(3), .createFails = true});
  EXPECT_EQ(RunRecorder(), 21);
  EXPECT_EQ(fake::Operations(), (Operations{"GetCommandLineW", "CommandLineToArgvW", "GetTempPathW",
                                            "GetLocalTime", "CreateFileW", "LocalFree"}));
}

TEST(Run, FailedWritesNeitherStopTheRecordNorChangeTheStatus) {
  fake::Reset({.arguments = ProgramWith(4), .failingWrites = {0, 2, 3}});
  EXPECT_EQ(RunRecorder(), 4);
  EXPECT_EQ(fake::Operations(), SuccessfulRun(4));
  EXPECT_EQ(fake::Calls().end()[-3].bytes, expected::LittleEndian(u"ReturnCode = 4\r\n"));
}

} // namespace recorder

// The real tarnwhistle.exe under Wine: what it records and the status it exits with.
#include "tests/e2e/windows_launch.h"
#include "tests/record_bytes.h"

#include <string>
#include <vector>

namespace {

using launch::Narrow;

// rec.exe followed by the arguments, each written plainly after one space.
std::wstring CommandLineOf(const std::vector<std::wstring> &arguments) {
  std::wstring line = L"rec.exe";
  for (const std::wstring &argument : arguments)
    line += L" " + argument;
  return line;
}

std::vector<std::wstring> Numbered(int count) {
  std::vector<std::wstring> arguments;
  for (int i = 1; i <= count; ++i)
    arguments.push_back(L"a" + std::to_wstring(i));
  return arguments;
}

using WindowsRun = launch::Test;
using WindowsTimeZone = launch::Test;

} // namespace

TEST_F(WindowsRun, ExitStatusIsTheArgumentCountTenForNoneAndAtMost255) {
  const struct {
    int arguments;
    DWORD status;
  } cases[] = {{0, 10}, {1, 1}, {2, 2}, {20, 20}, {21, 21}, {255, 255}, {256, 255}, {300, 255}};
  for (const auto &c : cases) {
    const std::wstring folder = NewFolder();
    const std::vector<std::wstring> arguments = Numbered(c.arguments);
    const Outcome outcome = RunIn(folder, CommandLineOf(arguments));
    EXPECT_EQ(outcome.status, c.status) << c.arguments << " arguments";
    ExpectOneLog(folder, outcome,
                 launch::RecordOf(L"rec.exe", arguments, static_cast<int>(c.status)));
  }
}

TEST_F(WindowsRun, ArgumentsThatLookLikeOptionsAreOnlyRecorded) {
  const std::wstring folder = NewFolder();
  const std::vector<std::wstring> arguments = {L"-x", L"/?",        L"--help",
                                               L"-h", L"--version", L"@file"};
  const Outcome outcome = RunIn(folder, CommandLineOf(arguments));
  EXPECT_EQ(outcome.status, 6u);
  ExpectOneLog(folder, outcome, launch::RecordOf(L"rec.exe", arguments, 6));
}

TEST_F(WindowsRun, WritesTheExampleRecordByteForByte) {
  const std::wstring folder = NewFolder();
  const Outcome outcome = RunIn(folder, LR"(C:\Tools\rec.exe alpha "two words" "")");
  EXPECT_EQ(outcome.status, 3u);
  ExpectOneLog(folder, outcome, expected::ExampleLog());
}

TEST_F(WindowsRun, RecordsQuotesAndBackslashesAsTheSplitterLeavesThem) {
  const std::wstring folder = NewFolder();
  const Outcome outcome =
      RunIn(folder, LR"("C:\Program Files\rec.exe" say\"hi\" "C:\dir\\" a\\b "x \"y\" z")");
  EXPECT_EQ(outcome.status, 4u);
  ExpectOneLog(folder, outcome,
               expected::Log({u"Program = C:\\Program Files\\rec.exe", u"ARG[1] = say\"hi\"",
                              u"ARG[2] = C:\\dir\\", u"ARG[3] = a\\\\b", u"ARG[4] = \"x \"y\" z\"",
                              u"ReturnCode = 4"}));
}

TEST_F(WindowsRun, KeepsNonAsciiTextAndCharactersBeyondTheBasicPlane) {
  const std::wstring folder = NewFolder();
  const Outcome outcome = RunIn(folder, L"r\u00E9c.exe gr\u00FC\u00DFe \u4E2D\u6587 "
                                        L"\"\u0645\u0631\u062D\u0628\u0627 \u0431\u044B\" "
                                        L"\xD83D\xDE00\xD834\xDD1E");
  EXPECT_EQ(outcome.status, 4u);
  ExpectOneLog(folder, outcome,
               expected::Log({u"Program = r\u00E9c.exe", u"ARG[1] = gr\u00FC\u00DFe",
                              u"ARG[2] = \u4E2D\u6587",
                              u"ARG[3] = \"\u0645\u0631\u062D\u0628\u0627 \u0431\u044B\"",
                              u"ARG[4] = \xD83D\xDE00\xD834\xDD1E", u"ReturnCode = 4"}));
}

// Wine takes the time zone from the Unix environment it starts in, not from the environment
// block, so CTest runs this suite on its own with TZ=TWH-05:45: a fixed offset of +05:45 with no
// daylight saving, which makes the expected name plain arithmetic.
TEST_F(WindowsTimeZone, NamesTheFileInLocalTime) {
  const auto localTimestamp = [] {
    SYSTEMTIME utc;
    GetSystemTime(&utc);
    FILETIME file;
    SystemTimeToFileTime(&utc, &file);
    ULARGE_INTEGER ticks = {{file.dwLowDateTime, file.dwHighDateTime}};
    ticks.QuadPart += (5 * 3600ULL + 45 * 60) * 10'000'000;
    file = {ticks.LowPart, ticks.HighPart};
    SYSTEMTIME local;
    FileTimeToSystemTime(&file, &local);
    return launch::Timestamp(local);
  };
  if (!launch::UnderWine())
    GTEST_SKIP() << "Windows takes the time zone from its settings, not from TZ";
  ASSERT_EQ(launch::Variable(L"TZ"), L"TWH-05:45") << "run with TZ=TWH-05:45";
  const std::wstring folder = NewFolder();
  const std::wstring before = localTimestamp();
  Outcome outcome = RunIn(folder, L"rec.exe zoned");
  outcome.before = before;
  outcome.after = localTimestamp();
  EXPECT_EQ(outcome.status, 1u);
  ExpectOneLog(folder, outcome,
               expected::Log({u"Program = rec.exe", u"ARG[1] = zoned", u"ReturnCode = 1"}));
}

// Another compiler's build of the same sources must write the same bytes for the same command line.
TEST_F(WindowsRun, WritesTheSameBytesAsAnotherCompilersBuild) {
  const std::wstring reference = launch::Variable(L"TARNWHISTLE_REFERENCE_EXE");
  if (reference.empty())
    GTEST_SKIP() << "no other build to compare with (TARNWHISTLE_REFERENCE_EXE)";
  const std::wstring line = L"\"C:\\Program Files\\rec.exe\" \"two words\" \"\" a\\\\\"b c\" "
                            L"\xD800\xD83D\xDE00 tab\there \u00A0 -x /? \"unterminated \\";
  std::string bytes[2];
  DWORD status[2] = {};
  const std::wstring programs[2] = {launch::ProgramPath(), reference};
  for (int i = 0; i < 2; ++i) {
    const std::wstring folder = NewFolder();
    status[i] = RunIn(folder, line, {}, programs[i]).status;
    const std::vector<std::wstring> files = launch::FilesIn(folder);
    ASSERT_EQ(files.size(), 1u) << Narrow(programs[i]);
    bytes[i] = launch::ReadFileBytes(folder + files[0]);
  }
  EXPECT_EQ(status[0], status[1]);
  EXPECT_TRUE(launch::SameBytes(bytes[0], bytes[1]));
}

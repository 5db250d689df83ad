// The real tarnwhistle-read.exe on what the real tarnwhistle.exe wrote.
#include "tests/e2e/windows_launch.h"

#include <string>

namespace {

using WindowsReader = launch::Test;

// Arguments as a command line: quotes, backslashes, line structure, invisible characters, broken
// UTF-16 and the reader's own options. The reader splits its command line as the recorder does.
const std::wstring kHardArguments =
    L"alpha \"two words\" \"\" \"tab\there\" \"say \\\"hi\\\"\" \"C:\\Program Files\\\\\" a\\\\b "
    L"\"line\r\nARG[5] = forged\" \u00A0\uFEFF \xD800x \xD83D\xDE00 -0 --expect \"<LF>\" --";

std::wstring ReaderPath() {
  const std::wstring recorder = launch::ProgramPath();
  return recorder.substr(0, recorder.rfind(L'\\') + 1) + L"tarnwhistle-read.exe";
}

struct Read {
  DWORD status;
  std::string output;
};

// Runs the reader with TMP set to the folder and collects its standard output.
Read ReadIn(const std::wstring &folder, const std::wstring &arguments) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE readEnd, writeEnd;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
    return {0xDEAD, ""};
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  const launch::Process process =
      launch::Start(L"tarnwhistle-read.exe " + arguments, {{L"TMP", folder}}, false, writeEnd,
                    writeEnd, ReaderPath());
  CloseHandle(writeEnd);
  Read read = {0, ""};
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0)
    read.output.append(buffer, got);
  CloseHandle(readEnd);
  read.status = launch::Finish(process);
  return read;
}

} // namespace

TEST_F(WindowsReader, GivesBackExactlyTheArgumentsTheRecorderReceived) {
  const std::wstring folder = NewFolder();
  EXPECT_EQ(RunIn(folder, L"rec.exe " + kHardArguments).status, 15u);

  Read read = ReadIn(folder, L"--expect -- " + kHardArguments);
  EXPECT_EQ(read.status, 0u) << read.output;
  EXPECT_EQ(read.output, "");

  std::wstring other = kHardArguments;
  other.replace(other.find(L"a\\\\b"), 4, L"a\\b");
  read = ReadIn(folder, L"--expect -- " + other);
  EXPECT_EQ(read.status, 1u);
  EXPECT_NE(read.output.find("ARG[7] differs: expected [a\\b], found [a\\\\b]"), std::string::npos)
      << read.output;
}

TEST_F(WindowsReader, WaitsForTheLogOfARunStartedAfterIt) {
  const std::wstring folder = NewFolder();
  const launch::Process reader =
      launch::Start(L"tarnwhistle-read.exe --wait 60 --expect -- a \"b c\"", {{L"TMP", folder}},
                    false, nullptr, nullptr, ReaderPath());
  EXPECT_EQ(RunIn(folder, L"rec.exe a \"b c\"").status, 2u);
  EXPECT_EQ(launch::Finish(reader), 0u);
}

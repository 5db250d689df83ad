// The powershell form run by real PowerShell (pwsh, installed into build/ where dotnet exists)
// against the Linux recorder, and checked by the reader. On Linux, Standard and Windows mode hand
// the strings to execve and Legacy builds the Windows command line, which .NET splits again, so
// the lines pass through the parser, the pin and 7.x's Legacy builder; 5.1 and the Windows-mode
// exceptions are left to the unit tables and the hosted Windows job.
#include "tests/e2e/posix_launch.h"
#include "text/codec.h"
#include "text/forms.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

using Arguments = std::vector<std::string>;

std::string SearchPath() {
  const char *path = std::getenv("PATH");
  return path != nullptr ? path : "/usr/bin:/bin";
}

launch::Result Read(const std::string &folder, Arguments arguments) {
  arguments.insert(arguments.begin(), "tarnwhistle-read");
  return launch::Run(arguments,
                     {.environment = {"TMPDIR=" + folder}, .program = launch::ReaderPath()});
}

// The line the reader prints for the list, without its line end; empty when it refuses.
std::string LineFor(const Arguments &list) {
  Arguments command = {"--quote=powershell", "--args"};
  command.insert(command.end(), list.begin(), list.end());
  const launch::Result quoted = Read("/nonexistent", command);
  if (quoted.status() != 0 || !quoted.output.ends_with("\n"))
    return "";
  return quoted.output.substr(0, quoted.output.size() - 1);
}

std::string SingleQuoted(const std::string &text) { return "'" + text + "'"; }

// Random arguments weighted to what PowerShell's parser and the builders act on.
Arguments RandomArguments(std::mt19937 &random) {
  static const std::vector<std::string> pieces = {"\"",
                                                  "\"",
                                                  "\\",
                                                  "\\",
                                                  "$",
                                                  "`",
                                                  "@",
                                                  ",",
                                                  " ",
                                                  " ",
                                                  "--%",
                                                  "-x:",
                                                  "'",
                                                  "\xE2\x80\x98",
                                                  "\xE2\x80\x99",
                                                  "\xE2\x80\x9A",
                                                  "\xE2\x80\x9B",
                                                  "\xE2\x80\x9C",
                                                  "\xE2\x80\x9D",
                                                  "\xE2\x80\x9E",
                                                  "\xC3\xA9",
                                                  "\xF0\x9F\x98\x80",
                                                  "a",
                                                  "b c",
                                                  "\t",
                                                  "\n",
                                                  "\r\n",
                                                  "~",
                                                  "*",
                                                  "%HOME%",
                                                  "{",
                                                  "}",
                                                  ";",
                                                  "#",
                                                  "$(x)",
                                                  "\xC2\xA0",
                                                  "--",
                                                  "\xC2\x85",
                                                  "1e3"};
  Arguments arguments(random() % 5);
  for (std::string &argument : arguments)
    for (std::size_t n = random() % 5; n > 0; --n)
      argument += pieces[random() % pieces.size()];
  return arguments;
}

struct Round {
  Arguments arguments;
  std::string line, folder;
};

// Lists and their lines, each run by a recorder writing into a folder of its own.
std::vector<Round> Rounds(const std::string &base, int count, unsigned seed, int &refused) {
  std::mt19937 random(seed);
  std::vector<Round> rounds;
  for (int k = 0; static_cast<int>(rounds.size()) < count; ++k) {
    Round round = {RandomArguments(random), "", base + "/" + std::to_string(k)};
    Arguments list = {launch::ProgramPath()};
    list.insert(list.end(), round.arguments.begin(), round.arguments.end());
    round.line = LineFor(list);
    if (round.line.empty()) {
      ++refused;
      continue;
    }
    EXPECT_EQ(mkdir(round.folder.c_str(), 0700), 0) << round.folder;
    rounds.push_back(std::move(round));
  }
  return rounds;
}

std::string Script(const std::vector<Round> &rounds) {
  std::string script;
  for (const Round &round : rounds)
    script += "$env:TMPDIR = " + SingleQuoted(round.folder) + "\n" + round.line + "\n";
  return script;
}

void ExpectDelivered(const std::vector<Round> &rounds, const std::string &how) {
  for (const Round &round : rounds) {
    Arguments expect = {"--expect", "--"};
    expect.insert(expect.end(), round.arguments.begin(), round.arguments.end());
    const launch::Result read = Read(round.folder, expect);
    EXPECT_EQ(read.status(), 0) << how << ": " << round.line << "\n" << read.output << read.error;
    launch::RemoveTree(round.folder);
    mkdir(round.folder.c_str(), 0700);
  }
}

class PowerShell : public launch::Test {
protected:
  void SetUp() override {
    const char *pwsh = std::getenv("TARNWHISTLE_PWSH");
    pwsh_ = pwsh != nullptr ? pwsh : "";
    if (pwsh_.empty() || access(pwsh_.c_str(), X_OK) != 0)
      GTEST_SKIP() << "skipped the PowerShell round trips: no pwsh at '" << pwsh_
                   << "' (scripts/test installs it into build/tools/dotnet where dotnet exists)";
    home_ = NewFolder();
  }

  // pwsh -NoProfile -Command with $PSNativeCommandArgumentPassing set first, as a profile would
  // (empty: left as it is), in an environment of its own.
  launch::Result Run(const std::string &passing, const std::string &command,
                     const std::string &path = SearchPath()) {
    const std::string set =
        passing.empty() ? "" : "$PSNativeCommandArgumentPassing = '" + passing + "'; ";
    const launch::Options options = {
        .environment = {"PATH=" + path, "HOME=" + home_, "TMPDIR=" + home_, "DOTNET_NOLOGO=1",
                        "DOTNET_CLI_TELEMETRY_OPTOUT=1", "POWERSHELL_TELEMETRY_OPTOUT=1",
                        "POWERSHELL_UPDATECHECK=Off"},
        .program = pwsh_};
    return launch::Run({"pwsh", "-NoProfile", "-NonInteractive", "-Command",
                        "$PSStyle.OutputRendering = 'PlainText'; " + set + command},
                       options);
  }

  // Runs the rounds' lines in every mode a profile may leave, from -Command and from a .ps1 file
  // (UTF-8 with a byte-order mark), and checks each log; gives the number of round trips.
  int DeliveredInEveryMode(const std::vector<Round> &rounds, const std::string &base) {
    const std::string script = Script(rounds);
    const std::string file = base + "/lines.ps1";
    launch::WriteFileBytes(file, "\xEF\xBB\xBF" + script);
    int runs = 0;
    for (const std::string passing : {"", "Legacy", "Standard", "Windows"}) {
      for (const bool fromFile : {false, true}) {
        const std::string how = (fromFile ? "a .ps1 file, mode " : "-Command, mode ") + passing;
        const launch::Result run = Run(passing, fromFile ? "& " + SingleQuoted(file) : script);
        EXPECT_EQ(run.status(), 0) << how << "\n" << run.output << run.error;
        EXPECT_EQ(run.error, "") << how;
        ExpectDelivered(rounds, how);
        runs += static_cast<int>(rounds.size());
      }
    }
    return runs;
  }

  // Compares, for each round, 7.x's Legacy command line as Trace-Command shows it with the
  // model's; counts those compared.
  void ComparedWithTrace(const std::vector<Round> &rounds, std::size_t &compared) {
    std::string script;
    for (const Round &round : rounds)
      script += "$env:TMPDIR = " + SingleQuoted(round.folder) + "\nWrite-Host '@@@'\n" +
                "Trace-Command -Name ParameterBinding -PSHost -Expression { " + round.line + " }\n";
    const launch::Result run = Run("Standard", script);
    ASSERT_EQ(run.status(), 0) << run.error;
    const text::forms::PowerShellModel &legacy = text::forms::PowerShellModels()[4];
    std::size_t at = 0;
    for (const Round &round : rounds) {
      at = run.output.find("@@@\n", at);
      ASSERT_NE(at, std::string::npos);
      at += 4;
      const std::wstring line = text::DecodeBytes(round.line);
      const std::wstring program = L"\"" + text::DecodeBytes(launch::ProgramPath()) + L"\"";
      const std::optional<std::wstring> built = text::forms::PowerShellCommandLine(line, legacy);
      ASSERT_TRUE(built.has_value()) << round.line;
      if (built->find_first_of(L"\r\n\x85\u2028\u2029") != std::wstring::npos || *built == program)
        continue;
      const std::size_t bind = run.output.find("BIND argument [", at);
      const std::size_t end = run.output.find('\n', bind);
      ASSERT_NE(end, std::string::npos) << round.line;
      const std::size_t open = bind + 15, close = run.output.rfind(']', end);
      EXPECT_EQ(run.output.substr(open, close - open),
                text::EncodeUnits(built->substr(program.size() + 1)).value_or(""))
          << round.line;
      ++compared;
    }
  }

  std::string pwsh_, home_;
};

} // namespace

// Every mode a profile may leave, from -Command and from a .ps1 file (UTF-8 with a byte-order
// mark): the log holds exactly the arguments.
TEST_F(PowerShell, EveryLineDeliversItsArgumentsInEveryModeFromACommandAndAScript) {
  const std::string base = NewFolder();
  int refused = 0;
  const std::vector<Round> rounds = Rounds(base, 150, 20261210, refused);
  const int runs = DeliveredInEveryMode(rounds, base);
  int arrays = 0;
  for (const Round &round : rounds)
    arrays += round.line.find(" @('") != std::string::npos;
  std::printf("%d round trips through pwsh (%zu lists, %d of them with an array, %d refused for "
              "Windows PowerShell 5.1)\n",
              runs, rounds.size(), arrays, refused);
}

// What 5.1 would quote again in every single string goes as an array of the pieces between the
// token's spaces, which the line must deliver in every mode too.
TEST_F(PowerShell, TheArraysOfPiecesDeliverInEveryMode) {
  const std::vector<Arguments> lists = {
      {"a\"b c", "\"two words\"", "x y\" z\\", "x\\\" y", "\\\" a"},
      {"a\tb\" c\\", "say \"hi there\" \\", "\" \"", "a'b\" $c d"},
  };
  const std::string base = NewFolder();
  std::vector<Round> rounds;
  for (const Arguments &arguments : lists) {
    Round round = {arguments, "", base + "/" + std::to_string(rounds.size())};
    Arguments list = {launch::ProgramPath()};
    list.insert(list.end(), arguments.begin(), arguments.end());
    round.line = LineFor(list);
    ASSERT_NE(round.line.find(" @('"), std::string::npos) << round.line;
    ASSERT_EQ(mkdir(round.folder.c_str(), 0700), 0) << round.folder;
    rounds.push_back(std::move(round));
  }
  DeliveredInEveryMode(rounds, base);
  std::size_t compared = 0;
  ComparedWithTrace(rounds, compared);
  EXPECT_EQ(compared, rounds.size());
}

// What 7.x's Legacy builder writes, as Trace-Command shows it, is what the model writes. The
// trace does not escape its brackets, so the string is taken from the first [ to the last ] of
// its line; a string with a line break in it spans lines, and is not compared.
TEST_F(PowerShell, LegacyBuildsTheCommandLineTheModelDoes) {
  const std::string base = NewFolder();
  int refused = 0;
  const std::vector<Round> rounds = Rounds(base, 120, 20261211, refused);
  std::size_t compared = 0;
  ComparedWithTrace(rounds, compared);
  EXPECT_GT(compared, rounds.size() / 3);
  std::printf("%zu Legacy command lines compared with Trace-Command\n", compared);
}

// A copy of the recorder named echo, first on the PATH: the line starts it, not Write-Output.
TEST_F(PowerShell, StartsTheProgramNotTheAliasOfItsName) {
  const std::string bin = NewFolder(), logs = NewFolder();
  launch::WriteFileBytes(bin + "/echo", launch::ReadFileBytes(launch::ProgramPath()));
  ASSERT_EQ(chmod((bin + "/echo").c_str(), 0700), 0);
  const Arguments arguments = {"a b", "it's", ""};
  const std::string line = LineFor({"echo", "a b", "it's", ""});
  ASSERT_NE(line, "");
  const launch::Result run =
      Run("", "$env:TMPDIR = " + SingleQuoted(logs) + "; " + line, bin + ":" + SearchPath());
  EXPECT_EQ(run.status(), 0) << run.error;
  EXPECT_EQ(run.output, "") << "Write-Output ran";
  Arguments expect = {"--expect", "--"};
  expect.insert(expect.end(), arguments.begin(), arguments.end());
  EXPECT_EQ(Read(logs, expect).status(), 0) << line;
  const launch::Result json = Read(logs, {"--json"});
  EXPECT_NE(json.output.find("\"program\":\"" + bin + "/echo\""), std::string::npos) << json.output;
}

// Profiles that make the variable AllScope and keep the line's assignment from taking: it fails
// without ending the line, and the line must then not start the program, from -Command or from a
// .ps1 file, whatever $ErrorActionPreference says; PowerShell reports the error unless told to be
// silent.
TEST_F(PowerShell, AProfileThatKeepsLegacyOutKeepsTheProgramFromStarting) {
  const std::string fresh = "Remove-Variable PSNativeCommandArgumentPassing -Force; ";
  const std::string validated =
      "New-Variable PSNativeCommandArgumentPassing -Value Standard -Option AllScope; "
      "(Get-Variable PSNativeCommandArgumentPassing).Attributes.Add(";
  const std::string profiles[] = {
      fresh + "Set-Variable PSNativeCommandArgumentPassing -Value Standard -Option "
              "ReadOnly,AllScope",
      fresh + "Set-Variable PSNativeCommandArgumentPassing -Value Standard -Option "
              "Constant,AllScope",
      fresh + validated +
          "[System.Management.Automation.ValidateSetAttribute]::new('Standard', 'Windows'))",
      fresh + validated +
          "[System.Management.Automation.ValidateScriptAttribute]::new({ $_ -ne 'Legacy' }))",
  };
  const std::string logs = NewFolder(), base = NewFolder();
  const std::string line = LineFor({launch::ProgramPath(), "a b", "", "c\"d", "e\\"});
  ASSERT_NE(line, "");
  const std::string script = "$env:TMPDIR = " + SingleQuoted(logs) + "\n" + line + "\n";
  const std::string file = base + "/line.ps1";
  launch::WriteFileBytes(file, "\xEF\xBB\xBF" + script);
  int runs = 0;
  for (const std::string &profile : profiles) {
    for (const std::string preference : {"Continue", "SilentlyContinue"}) {
      for (const bool fromFile : {false, true}) {
        const std::string how = profile + ", " + preference + (fromFile ? ", a .ps1 file" : "");
        const launch::Result run =
            Run("", profile + "; $ErrorActionPreference = '" + preference + "'; " +
                        (fromFile ? "& " + SingleQuoted(file) : script));
        EXPECT_EQ(launch::FilesIn(logs), std::vector<std::string>{}) << how << "\n" << run.error;
        const bool reported = run.error.find("could not be set to Legacy") != std::string::npos;
        EXPECT_EQ(reported, preference == "Continue") << how << "\n" << run.error;
        ++runs;
      }
    }
  }
  std::printf("%d runs under hostile profiles started nothing\n", runs);
}

// An AllScope variable is the caller's too: the line delivers, and the session keeps Legacy.
TEST_F(PowerShell, AnAllScopeVariableDeliversAndKeepsLegacyAfterTheLine) {
  const std::string logs = NewFolder();
  const Arguments arguments = {"a b", "", "c\"d", "e\\"};
  Arguments list = {launch::ProgramPath()};
  list.insert(list.end(), arguments.begin(), arguments.end());
  const std::string line = LineFor(list);
  ASSERT_NE(line, "");
  const launch::Result run = Run(
      "", "Remove-Variable PSNativeCommandArgumentPassing -Force; Set-Variable "
          "PSNativeCommandArgumentPassing -Value Standard -Option AllScope; $env:TMPDIR = " +
              SingleQuoted(logs) + "; " + line + "; \"after: $PSNativeCommandArgumentPassing\"");
  EXPECT_EQ(run.status(), 0) << run.error;
  EXPECT_EQ(run.output, "after: Legacy\n");
  Arguments expect = {"--expect", "--"};
  expect.insert(expect.end(), arguments.begin(), arguments.end());
  EXPECT_EQ(Read(logs, expect).status(), 0) << line;
}

// The writers and readers of each quote form, which the table in quote.cpp names. Private to
// text/.
#ifndef TARNWHISTLE_TEXT_FORMS_H
#define TARNWHISTLE_TEXT_FORMS_H

#include "text/quote.h"

#include <span>

namespace text::forms {

// What cmd acts on when it reads the line that starts a batch file, or the one that forwards its
// arguments: operators, escapes, expansions, quotes and line ends.
constexpr std::wstring_view kCmdActsOn = L"&|<>^()%!\"\r\n";

// createprocess and arguments (form_windows.cpp).
QuotedLine WriteCreateProcess(const List &list);
QuotedLine WriteArguments(const List &list);
// Split by the splitter; for a line whose element 0 is a batch file, the list a batch file that
// forwards %* hands on, as cmd reads the line (text/cmd_reading.h).
std::optional<List> ReadCreateProcess(std::wstring_view line, SplitRules rules);
std::optional<List> ReadArguments(std::wstring_view line, SplitRules rules);
// The arguments line delivers the list with the program put in front of it, quoted where the
// program is a batch file.
bool ArgumentsDeliver(const FormRow &row, std::wstring_view line, const List &list);
// Each argument (element 1 on) as the createprocess line writes it. For a batch file's list, the
// batch spelling (form_windows.cpp): "program", quoted whole, and these tokens joined with single
// spaces make the createprocess line, which BatchRefusal must have let through.
std::vector<std::wstring> ArgumentTokens(const List &list);
// The units element 0 takes on the createprocess line: quoted when it needs it, or when it is a
// batch file.
std::size_t ProgramLength(const List &list);
// The createprocess line of the list, element 0 quoted when asked, when it needs it or when it is
// a batch file, without it when asked.
std::wstring WindowsLine(const List &list, bool withProgram, bool programAlwaysQuoted);
// Why a batch file's list has no safe line in the Windows forms (a %, or an odd number of quotes),
// naming the element; kNone for any other list.
QuotedLine BatchRefusal(const List &list);

// cmd (form_cmd.cpp).
QuotedLine WriteCmd(const List &list);
std::optional<List> ReadCmd(std::wstring_view line, SplitRules rules);

// sh (form_sh.cpp).
QuotedLine WriteSh(const List &list);
std::optional<List> ReadSh(std::wstring_view line, SplitRules rules);
bool ShDelivers(const FormRow &row, std::wstring_view line, const List &list);

// powershell (form_powershell.cpp).
QuotedLine WritePowerShell(const List &list);
// The list the line gives where every model below gives the same one, else nothing; nothing too
// for a line that is not of the form, or that holds something PowerShell would act on.
std::optional<List> ReadPowerShell(std::wstring_view line, SplitRules rules);

// What $PSNativeCommandArgumentPassing selects.
enum class ArgumentPassing { kLegacy, kStandard, kWindows };

// A PowerShell that may run the line: how its Legacy mode builds the command line, and, where it
// reads $PSNativeCommandArgumentPassing, the value a profile left there.
struct PowerShellModel {
  std::string_view name;           // as refusals name it
  bool countsEscapedQuotes;        // Legacy counts a quote right after a backslash when it decides
                                   // which white space needs quotes
  bool doublesTrailingBackslashes; // Legacy doubles the backslashes before a quote it adds
  bool readsPassing;               // the variable selects its mode; else it knows only Legacy
  ArgumentPassing passing;         // the value left by a profile, where it reads the variable
};
std::span<const PowerShellModel> PowerShellModels();

// The command line the model builds when it runs the line, program first; nothing where
// ReadPowerShell would give nothing for the line's own reasons.
std::optional<std::wstring> PowerShellCommandLine(std::wstring_view line,
                                                  const PowerShellModel &model);

// Whether the row's reader, with each of the splitters, reads the list.
bool EverySplitterReads(const FormRow &row, std::wstring_view line, const List &list);

} // namespace text::forms

#endif

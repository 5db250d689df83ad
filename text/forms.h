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
std::optional<List> ReadCreateProcess(std::wstring_view line, SplitRules rules);
std::optional<List> ReadArguments(std::wstring_view line, SplitRules rules);
// Each argument (element 1 on) as the createprocess line writes it.
std::vector<std::wstring> ArgumentTokens(const List &list);
// The createprocess line of the list, element 0 quoted when asked or when it needs it, without it
// when asked.
std::wstring WindowsLine(const List &list, bool withProgram, bool programAlwaysQuoted);

// cmd (form_cmd.cpp).
// Whether the unit ends a batch line, or changes it (Ctrl-Z is read as a line feed).
bool EndsCmdLine(wchar_t unit);
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
  std::string_view flaw;           // what its Legacy builder breaks, for refusals; may be empty
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

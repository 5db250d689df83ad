// The writers and readers of each quote form, which the table in quote.cpp names. Private to
// text/.
#ifndef TARNWHISTLE_TEXT_FORMS_H
#define TARNWHISTLE_TEXT_FORMS_H

#include "text/quote.h"

namespace text::forms {

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
QuotedLine WriteCmd(const List &list);
std::optional<List> ReadCmd(std::wstring_view line, SplitRules rules);

// sh (form_sh.cpp).
QuotedLine WriteSh(const List &list);
std::optional<List> ReadSh(std::wstring_view line, SplitRules rules);
bool ShDelivers(const FormRow &row, std::wstring_view line, const List &list);

// Whether the row's reader, with each of the splitters, reads the list.
bool EverySplitterReads(const FormRow &row, std::wstring_view line, const List &list);

} // namespace text::forms

#endif

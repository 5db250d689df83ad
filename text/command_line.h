// Command lines: splitting one into its argument list by the rules of Windows' splitter or of
// Microsoft's C runtime, and writing an argument so that both read it back. Pure code: nothing
// here calls the system.
#ifndef TARNWHISTLE_TEXT_COMMAND_LINE_H
#define TARNWHISTLE_TEXT_COMMAND_LINE_H

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace text {

// Which splitter reads a Windows command line.
enum class SplitRules {
  // CommandLineToArgvW, which the recorder calls. Inside a quoted part, "" gives a literal quote
  // and ends the part; element 0 runs to the next quote when it starts with one, and to the next
  // blank otherwise, backslashes and quotes in it being plain characters.
  kRecorder,
  // The C runtime MSVC programs use today (2008 and later, the Universal CRT): inside a quoted
  // part, "" gives a literal quote and the part goes on; in element 0 every quote toggles quoting
  // and is dropped, backslashes being plain characters.
  kRuntime,
};

constexpr SplitRules kBothSplitters[] = {SplitRules::kRecorder, SplitRules::kRuntime};

// The blanks that separate a command line's elements, and the words of a shell's line.
constexpr bool IsBlank(wchar_t unit) { return unit == L' ' || unit == L'\t'; }

// The list a command line gives, element 0 first. Blanks are space and tab. An empty line gives
// an empty list by the recorder's rules (the Windows function answers with the caller's own path,
// which no portable code knows) and one empty element by the runtime's.
std::vector<std::wstring> SplitCommandLine(std::wstring_view line, SplitRules rules);

// The arguments alone, read from a line that holds no element 0 (a shortcut's argument field): the
// argument rules from the start.
std::vector<std::wstring> SplitArguments(std::wstring_view line, SplitRules rules);

// Whether an element needs quotes on a Windows command line: it is empty or holds a blank or
// another control character.
bool NeedsQuotes(std::wstring_view element);

// Appends element 0 as both splitters read it: quoted whole when asked or when it needs quotes
// (its backslashes are plain), else as it is. It must hold no quote.
void AppendProgram(std::wstring &line, std::wstring_view program, bool alwaysQuoted);

// Appends an argument as both splitters read it: quoted only when it needs quotes, a quote
// written \", and the backslashes before a quote or the closing quote doubled.
void AppendArgument(std::wstring &line, std::wstring_view argument);

// Appends an argument as AppendArgument does, but in quotes only where asked (as an argument that
// needs quotes must be).
void AppendEscaped(std::wstring &line, std::wstring_view argument, bool quoted);

// Whether the program's name ends in one of the extensions, in any case, once the trailing dots
// and spaces that Windows strips are gone.
bool HasExtension(std::wstring_view program, std::span<const std::wstring_view> extensions);

// The extensions of batch files, which CreateProcess runs through cmd.
constexpr std::wstring_view kBatchExtensions[] = {L".bat", L".cmd"};

// Whether the program is a batch file: its name has one of kBatchExtensions.
bool IsBatchFile(std::wstring_view program);

} // namespace text

#endif

// The record: what the log file holds, line by line, in UTF-16 little-endian.
#ifndef TARNWHISTLE_RECORDER_RECORD_H
#define TARNWHISTLE_RECORDER_RECORD_H

#include "recorder/exit_status.h"
#include "recorder/log_file.h"

#include <span>
#include <string_view>

namespace recorder {

using platform::WideString;

// The split command line: element 0 is the program as invoked, then the arguments in order.
using ArgumentVector = std::span<wchar_t *const>;

// The file: the byte-order mark, then lines in UTF-16LE, each ending in CR LF:
//   Program = <element 0>
//   ARG[<i>] = <QuoteIfSpaced(element i)>     for i = 1 to count - 1
//   ReturnCode = <status>
constexpr unsigned char kByteOrderMark[] = {0xFF, 0xFE};
constexpr std::wstring_view kProgramLinePrefix = L"Program = ";
constexpr std::wstring_view kArgumentLinePrefix = L"ARG[";
constexpr std::wstring_view kArgumentValueSeparator = L"] = ";
constexpr std::wstring_view kReturnCodeLinePrefix = L"ReturnCode = ";
constexpr std::wstring_view kLineEnd = L"\r\n";
// A value holding a space is wrapped in quotes.
constexpr wchar_t kSpace = L' ';
constexpr wchar_t kQuote = L'"';

// Each line of the record, CR LF included.
WideString ProgramLine(std::wstring_view program);
WideString ArgumentLine(std::size_t index, std::wstring_view argument);
WideString ReturnCodeLine(ExitStatus status);

// The argument wrapped in double quotes when it holds a space (U+0020), otherwise unchanged.
// Nothing inside is escaped.
WideString QuoteIfSpaced(std::wstring_view argument);

// Writes one complete line, CR LF included, with a single write of two bytes per code unit.
void WriteRecordLine(LogFile file, const WideString &line);

// Writes the byte-order mark, the program line, one line per argument and the return-code line,
// one write each; a failed write does not stop the ones after it.
void WriteRecord(LogFile file, ArgumentVector arguments, ExitStatus status);

} // namespace recorder

#endif

// Writing the record.
#include "recorder/record.h"

#include "text/codec.h"

#include <bit>
#include <sstream>
#include <string>
#include <utility>

namespace recorder {

namespace {

// A fresh stream for one line, its buffer reserved up front so that assembling the line allocates
// once. The fixed part of a line is at most 35 units: "ARG[", 20 digits, "] = ", quotes, CR LF.
std::wostringstream LineStream(std::size_t valueUnits) {
  WideString buffer;
  buffer.reserve(valueUnits + 35);
  return std::wostringstream(std::move(buffer));
}

} // namespace

WideString QuoteIfSpaced(std::wstring_view argument) {
  if (argument.find(kSpace) == std::wstring_view::npos)
    return WideString(argument);
  WideString value;
  value.reserve(argument.size() + 2);
  value.append(1, kQuote).append(argument).append(1, kQuote);
  return value;
}

WideString ProgramLine(std::wstring_view program) {
  std::wostringstream line = LineStream(program.size());
  line << kProgramLinePrefix << program << kLineEnd;
  return std::move(line).str();
}

WideString ArgumentLine(std::size_t index, std::wstring_view argument) {
  const WideString value = QuoteIfSpaced(argument);
  std::wostringstream line = LineStream(value.size());
  line << kArgumentLinePrefix << index << kArgumentValueSeparator << value << kLineEnd;
  return std::move(line).str();
}

WideString ReturnCodeLine(ExitStatus status) {
  std::wostringstream line = LineStream(0);
  line << kReturnCodeLinePrefix << status << kLineEnd;
  return std::move(line).str();
}

void WriteRecordLine(LogFile file, const WideString &line) {
  platform::DWORD written = 0;
  const auto byteCount = static_cast<platform::DWORD>(line.size() * 2);
  if constexpr (sizeof(wchar_t) == 2 && std::endian::native == std::endian::little) {
    // The string already holds the file's bytes.
    platform::WriteFile(file, line.data(), byteCount, &written, nullptr);
  } else {
    const std::string bytes = text::LittleEndianBytes(line);
    platform::WriteFile(file, bytes.data(), byteCount, &written, nullptr);
  }
}

void WriteRecord(LogFile file, ArgumentVector arguments, ExitStatus status) {
  platform::DWORD written = 0;
  platform::WriteFile(file, kByteOrderMark, sizeof kByteOrderMark, &written, nullptr);
  WriteRecordLine(file, ProgramLine(arguments[0]));
  for (std::size_t index = 1; index < arguments.size(); ++index)
    WriteRecordLine(file, ArgumentLine(index, arguments[index]));
  WriteRecordLine(file, ReturnCodeLine(status));
}

} // namespace recorder

// Writing the record.
#include "recorder/record.h"

#include <array>
#include <bit>
#include <cstdint>
#include <sstream>
#include <string>
#include <utility>

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
  if (argument.find(L' ') == std::wstring_view::npos)
    return WideString(argument);
  WideString value;
  value.reserve(argument.size() + 2);
  value.append(1, L'"').append(argument).append(1, L'"');
  return value;
}

void WriteRecordLine(LogFile file, const WideString &line) {
  platform::DWORD written = 0;
  const auto byteCount = static_cast<platform::DWORD>(line.size() * 2);
  if constexpr (sizeof(wchar_t) == 2 && std::endian::native == std::endian::little) {
    // The string already holds the file's bytes.
    platform::WriteFile(file, line.data(), byteCount, &written, nullptr);
  } else {
    // Spelled out byte by byte; most lines fit the buffer on the stack.
    std::array<char, 1024> shortLine;
    std::string longLine(byteCount > shortLine.size() ? byteCount : 0, '\0');
    char *bytes = longLine.empty() ? shortLine.data() : longLine.data();
    for (std::size_t i = 0; i < line.size(); ++i) {
      const auto unit = static_cast<std::uint32_t>(line[i]);
      bytes[2 * i] = static_cast<char>(unit & 0xFF);
      bytes[2 * i + 1] = static_cast<char>((unit >> 8) & 0xFF);
    }
    platform::WriteFile(file, bytes, byteCount, &written, nullptr);
  }
}

void WriteRecord(LogFile file, ArgumentVector arguments, ExitStatus status) {
  static constexpr unsigned char byteOrderMark[] = {0xFF, 0xFE};
  platform::DWORD written = 0;
  platform::WriteFile(file, byteOrderMark, sizeof byteOrderMark, &written, nullptr);

  const std::wstring_view program = arguments[0];
  std::wostringstream programLine = LineStream(program.size());
  programLine << L"Program = " << program << L"\r\n";
  WriteRecordLine(file, std::move(programLine).str());

  for (std::size_t index = 1; index < arguments.size(); ++index) {
    const WideString value = QuoteIfSpaced(arguments[index]);
    std::wostringstream line = LineStream(value.size());
    line << L"ARG[" << index << L"] = " << value << L"\r\n";
    WriteRecordLine(file, std::move(line).str());
  }

  std::wostringstream returnCodeLine = LineStream(0);
  returnCodeLine << L"ReturnCode = " << status << L"\r\n";
  WriteRecordLine(file, std::move(returnCodeLine).str());
}

// Writing the record.
#include "recorder/record.h"

#include <cstdint>
#include <sstream>
#include <string>

WideString QuoteIfSpaced(const WideString &argument) {
  if (argument.find(L' ') == WideString::npos)
    return argument;
  return L'"' + argument + L'"';
}

void WriteRecordLine(LogFile file, const WideString &line) {
  // Spelled out byte by byte so that the file is UTF-16LE whatever the size of wchar_t.
  std::string bytes;
  bytes.reserve(line.size() * 2);
  for (const wchar_t unit : line) {
    const auto value = static_cast<std::uint32_t>(unit);
    bytes.push_back(static_cast<char>(value & 0xFF));
    bytes.push_back(static_cast<char>((value >> 8) & 0xFF));
  }
  platform::DWORD written = 0;
  platform::WriteFile(file, bytes.data(), static_cast<platform::DWORD>(bytes.size()), &written,
                      nullptr);
}

void WriteRecord(LogFile file, ArgumentVector arguments, ExitStatus status) {
  static constexpr unsigned char byteOrderMark[] = {0xFF, 0xFE};
  platform::DWORD written = 0;
  platform::WriteFile(file, byteOrderMark, sizeof byteOrderMark, &written, nullptr);

  std::wostringstream program;
  program << L"Program = " << arguments[0] << L"\r\n";
  WriteRecordLine(file, program.str());

  for (std::size_t index = 1; index < arguments.size(); ++index) {
    std::wostringstream line;
    line << L"ARG[" << index << L"] = " << QuoteIfSpaced(arguments[index]) << L"\r\n";
    WriteRecordLine(file, line.str());
  }

  std::wostringstream returnCode;
  returnCode << L"ReturnCode = " << status << L"\r\n";
  WriteRecordLine(file, returnCode.str());
}

// The bytes a log file should hold, spelled out independently of the program's own code.
#ifndef TARNWHISTLE_TESTS_RECORD_BYTES_H
#define TARNWHISTLE_TESTS_RECORD_BYTES_H

#include <string>
#include <string_view>
#include <vector>

namespace expected {

// UTF-16 code units as little-endian bytes.
inline std::string LittleEndian(std::u16string_view text) {
  std::string bytes;
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

// A whole log: the byte-order mark, then each line followed by CR LF.
inline std::string Log(const std::vector<std::u16string> &lines) {
  std::string bytes = "\xFF\xFE";
  for (const std::u16string &line : lines)
    bytes += LittleEndian(line + u"\r\n");
  return bytes;
}

// The lines of a record for element 0, the arguments and the status, quoting as the format says.
inline std::vector<std::u16string> Lines(const std::u16string &program,
                                         const std::vector<std::u16string> &arguments, int status) {
  std::vector<std::u16string> lines = {u"Program = " + program};
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::u16string &value = arguments[i];
    const bool spaced = value.find(u' ') != std::u16string::npos;
    std::u16string index;
    for (char c : std::to_string(i + 1))
      index += static_cast<char16_t>(c);
    lines.push_back(u"ARG[" + index + u"] = " + (spaced ? u"\"" + value + u"\"" : value));
  }
  std::u16string code;
  for (char c : std::to_string(status))
    code += static_cast<char16_t>(c);
  lines.push_back(u"ReturnCode = " + code);
  return lines;
}

// The record of C:\Tools\rec.exe started with alpha, "two words" and an empty argument: the one
// case every platform's tests check against the same bytes.
inline std::string ExampleLog() {
  return Log({u"Program = C:\\Tools\\rec.exe", u"ARG[1] = alpha", u"ARG[2] = \"two words\"",
              u"ARG[3] = ", u"ReturnCode = 3"});
}

} // namespace expected

#endif

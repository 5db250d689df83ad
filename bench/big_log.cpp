// Writes a log far larger than any run's, for measuring the reader: a plain record of many
// nine-letter arguments, or a forged one whose single argument holds line after line that looks
// like an argument line.
//
// usage: big_log plain|forged BYTES FILE
// Writes the record, as the recorder would write it, of about BYTES bytes, and prints how many
// arguments (plain) or forged lines it holds.
#include "reader/reading.h"
#include "recorder/record.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

using platform::WideString;
using reader::RecordBytes;

// The units a line of the record takes besides its value: "ARG[", the index, "] = ", CR LF.
std::size_t LineUnits(std::size_t index, std::size_t valueUnits) {
  return recorder::kArgumentLinePrefix.size() + std::to_wstring(index).size() +
         recorder::kArgumentValueSeparator.size() + valueUnits + recorder::kLineEnd.size();
}

std::vector<WideString> Plain(std::size_t bytes) {
  std::vector<WideString> arguments;
  for (std::size_t units = 16; units * 2 < bytes;) {
    WideString argument(9, L'a');
    for (std::size_t i = 0; i < argument.size(); ++i)
      argument[i] = static_cast<wchar_t>(L'a' + (arguments.size() + i) % 26);
    arguments.push_back(argument);
    units += LineUnits(arguments.size(), argument.size());
  }
  return arguments;
}

// One argument, "a b" and then lines ARG[2] = x, ARG[3] = x and so on: each a candidate line,
// none of which a reading of one argument may end at.
std::vector<WideString> Forged(std::size_t bytes, std::size_t &lines) {
  WideString argument = L"a b";
  for (lines = 0; (argument.size() + 40) * 2 < bytes; ++lines)
    argument.append(recorder::kLineEnd)
        .append(recorder::kArgumentLinePrefix)
        .append(std::to_wstring(lines + 2))
        .append(recorder::kArgumentValueSeparator)
        .append(L"x");
  return {argument};
}

} // namespace

int main(int argc, char **argv) {
  if (argc != 4 || (std::strcmp(argv[1], "plain") != 0 && std::strcmp(argv[1], "forged") != 0)) {
    std::fprintf(stderr, "usage: %s plain|forged BYTES FILE\n", argv[0]);
    return 2;
  }
  const auto bytes = static_cast<std::size_t>(std::strtoull(argv[2], nullptr, 10));
  const bool plain = std::strcmp(argv[1], "plain") == 0;
  std::size_t lines = 0;
  const std::vector<WideString> arguments = plain ? Plain(bytes) : Forged(bytes, lines);
  const std::string record = RecordBytes(L"p", arguments);
  std::ofstream file(argv[3], std::ios::binary);
  file.write(record.data(), static_cast<std::streamsize>(record.size()));
  if (!file)
    return 1;
  std::printf("%zu\n", plain ? arguments.size() : lines);
  return 0;
}

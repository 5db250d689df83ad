// Fuzzes the whole run through the fake platform: any argument vector must come back, parsed by
// the format's own rules, from what was written.
//
// The input is UTF-16LE code units; U+0000, which no argument can hold, separates the arguments.
#include "recorder/run.h"

#include "tests/fake_platform.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kMostArguments = 4000;

void Check(bool condition, const char *what) {
  if (!condition) {
    std::fprintf(stderr, "record check failed: %s\n", what);
    std::abort();
  }
}

std::u16string Units(const std::string &bytes) {
  Check(bytes.size() % 2 == 0, "a write of an odd number of bytes");
  std::u16string units;
  for (std::size_t i = 0; i < bytes.size(); i += 2)
    units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          static_cast<unsigned char>(bytes[i + 1]) << 8));
  return units;
}

std::u16string Decimal(std::size_t value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

// The line without its prefix and CR LF; aborts unless it has both.
std::u16string Body(const std::u16string &line, const std::u16string &prefix) {
  Check(line.size() >= prefix.size() + 2, "a line too short for its prefix");
  Check(line.compare(0, prefix.size(), prefix) == 0, "a line without its prefix");
  Check(line.compare(line.size() - 2, 2, u"\r\n") == 0, "a line without CR LF at its end");
  return line.substr(prefix.size(), line.size() - prefix.size() - 2);
}

// Undoes the quoting: a value holding a space is the argument in exactly one pair of quotes.
std::u16string Unquote(const std::u16string &value) {
  if (value.find(u' ') == std::u16string::npos)
    return value;
  Check(value.size() >= 3 && value.front() == u'"' && value.back() == u'"',
        "a value holding a space without its quotes");
  return value.substr(1, value.size() - 2);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  std::vector<std::u16string> arguments(1);
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    const auto unit = static_cast<char16_t>(data[i] | data[i + 1] << 8);
    if (unit != 0)
      arguments.back().push_back(unit);
    else if (arguments.size() < kMostArguments)
      arguments.emplace_back();
  }
  std::vector<std::wstring> vector;
  for (const std::u16string &argument : arguments)
    vector.emplace_back(argument.begin(), argument.end());
  fake::Reset({.arguments = vector});

  const int status = recorder::RunRecorder();
  const std::size_t count = arguments.size();
  Check(status == (count <= 1        ? 10
                   : count - 1 > 255 ? 255
                                     : static_cast<int>(count - 1)),
        "the status does not follow the count");

  std::vector<std::u16string> writes;
  for (const fake::Call &call : fake::Calls())
    if (call.operation == "WriteFile") {
      Check(call.values[0] == call.bytes.size(), "a byte count that is not the buffer's");
      if (writes.empty())
        Check(call.bytes == "\xFF\xFE", "the first write is not the byte-order mark");
      writes.push_back(Units(call.bytes));
    }
  Check(writes.size() == count + 2, "not count + 2 writes");
  Check(Body(writes[1], u"Program = ") == arguments[0], "element 0 changed");
  for (std::size_t i = 1; i < count; ++i)
    Check(Unquote(Body(writes[i + 1], u"ARG[" + Decimal(i) + u"] = ")) == arguments[i],
          "an argument changed");
  Check(Body(writes.back(), u"ReturnCode = ") == Decimal(static_cast<std::size_t>(status)),
        "the return-code line does not carry the status");
  return 0;
}

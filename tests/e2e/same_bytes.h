// Comparing a log with the bytes expected of it, and showing both as text when they differ.
#ifndef TARNWHISTLE_TESTS_E2E_SAME_BYTES_H
#define TARNWHISTLE_TESTS_E2E_SAME_BYTES_H

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace launch {

// UTF-16LE bytes as ASCII, other code units as \uXXXX, one log line to a text line.
inline std::string Readable(const std::string &bytes) {
  std::string text;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const unsigned unit =
        static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (unit >= 0x20 && unit < 0x7F && unit != '\\') {
      text += static_cast<char>(unit);
    } else if (unit == '\n') {
      text += "\\n\n";
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04X", unit);
      text += escape;
    }
  }
  if (bytes.size() % 2)
    text += "<odd trailing byte>";
  return text;
}

inline ::testing::AssertionResult SameBytes(const std::string &actual,
                                            const std::string &expected) {
  if (actual == expected)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "the log holds " << actual.size() << " bytes:\n"
         << Readable(actual) << "\nexpected " << expected.size() << " bytes:\n"
         << Readable(expected);
}

} // namespace launch

#endif

// Code units as a failing test prints them: ASCII as itself, anything else as <N>.
#ifndef TARNWHISTLE_TESTS_SHOWN_UNITS_H
#define TARNWHISTLE_TESTS_SHOWN_UNITS_H

#include <string>
#include <string_view>

inline std::string Shown(std::wstring_view units) {
  std::string shown;
  for (const wchar_t unit : units) {
    if (unit >= 0x20 && unit < 0x7F) {
      shown.push_back(static_cast<char>(unit));
    } else {
      shown.push_back('<');
      shown += std::to_string(static_cast<unsigned>(unit));
      shown.push_back('>');
    }
  }
  return shown;
}

#endif

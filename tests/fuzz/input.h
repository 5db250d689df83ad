// How the command-line fuzzers read their input: UTF-16LE code units, held in memory of exactly
// their size so that reading past them is caught, and the same units as a list.
#ifndef TARNWHISTLE_TESTS_FUZZ_INPUT_H
#define TARNWHISTLE_TESTS_FUZZ_INPUT_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

inline std::unique_ptr<wchar_t[]> UnitsOf(const std::uint8_t *data, std::size_t count) {
  std::unique_ptr<wchar_t[]> units(new wchar_t[count]);
  for (std::size_t i = 0; i < count; ++i)
    units[i] = static_cast<wchar_t>(data[2 * i] | data[2 * i + 1] << 8);
  return units;
}

// The units as a list, its elements separated by U+FFFF.
inline std::vector<std::wstring> ListOf(std::wstring_view units) {
  std::vector<std::wstring> list(1);
  for (const wchar_t unit : units) {
    if (unit == 0xFFFF)
      list.emplace_back();
    else
      list.back().push_back(unit);
  }
  return list;
}

} // namespace fuzz

#endif

// UTF-16LE text read where its bytes are: a log's code units without a copy of them.
#ifndef TARNWHISTLE_TEXT_LITTLE_ENDIAN_H
#define TARNWHISTLE_TEXT_LITTLE_ENDIAN_H

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

namespace text {

// The code units of UTF-16LE bytes, with the std::wstring_view operations the reader uses; a last
// odd byte is left out. Positions and counts are in units; like the bytes, it owns nothing.
struct LittleEndianUnits {
  static constexpr std::size_t npos = std::wstring_view::npos;

  std::string_view bytes;

  std::size_t size() const { return bytes.size() / 2; }
  bool empty() const { return size() == 0; }
  wchar_t operator[](std::size_t i) const {
    return static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  }
  // The units from pos on, at most count of them; none when pos is past the end.
  LittleEndianUnits substr(std::size_t pos, std::size_t count = npos) const {
    const std::size_t first = std::min(pos, size());
    return {bytes.substr(first * 2, std::min(count, size() - first) * 2)};
  }
  bool starts_with(std::wstring_view units) const {
    if (units.size() > size())
      return false;
    for (std::size_t i = 0; i < units.size(); ++i)
      if ((*this)[i] != units[i])
        return false;
    return true;
  }
  bool ends_with(std::wstring_view units) const {
    return units.size() <= size() && substr(size() - units.size()).starts_with(units);
  }
  // Where the units first occur at or after pos, or last occur at or before it; npos if nowhere.
  std::size_t find(std::wstring_view units, std::size_t pos = 0) const;
  std::size_t rfind(std::wstring_view units, std::size_t pos = npos) const;
  // A copy of the units.
  std::wstring str() const;
};

} // namespace text

#endif

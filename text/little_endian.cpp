// Reading UTF-16LE bytes as code units in place. A search looks for the low byte of the first
// unit, and takes a match only where it begins a unit and the units follow.
#include "text/little_endian.h"

#include "text/codec.h"

namespace text {

std::size_t LittleEndianUnits::find(std::wstring_view units, std::size_t pos) const {
  if (pos > size())
    return npos;
  if (units.empty())
    return pos;
  const std::string_view whole = bytes.substr(0, size() * 2);
  const auto low = static_cast<char>(units[0] & 0xFF);
  for (std::size_t at = whole.find(low, pos * 2); at != npos; at = whole.find(low, at + 1))
    if (at % 2 == 0 && substr(at / 2).starts_with(units))
      return at / 2;
  return npos;
}

std::size_t LittleEndianUnits::rfind(std::wstring_view units, std::size_t pos) const {
  if (units.size() > size())
    return npos;
  const std::size_t last = std::min(pos, size() - units.size());
  if (units.empty())
    return last;
  const std::string_view whole = bytes.substr(0, size() * 2);
  const auto low = static_cast<char>(units[0] & 0xFF);
  for (std::size_t at = whole.rfind(low, last * 2); at != npos;
       at = at == 0 ? npos : whole.rfind(low, at - 1))
    if (at % 2 == 0 && substr(at / 2).starts_with(units))
      return at / 2;
  return npos;
}

std::wstring LittleEndianUnits::str() const { return UnitsOfLittleEndian(bytes); }

} // namespace text

// Converting text between code units and bytes.
#include "text/codec.h"

#include "text/little_endian.h"

#include <algorithm>

namespace text {

namespace {

// Copies the ASCII at the start of from[0, size) to `to`, a byte or unit for each, and returns how
// many that was. ASCII makes up the whole of most paths and arguments, so it goes across eight at
// a time rather than through the checks for a sequence or a code point; each eight are read into a
// block first, so that the writes cannot be taken to change what is read.
template <typename From, typename To>
std::size_t CopyAscii(const From *from, std::size_t size, To *to) {
  constexpr std::size_t kBlock = 8;
  std::size_t done = 0;
  for (; done + kBlock <= size; done += kBlock) {
    From block[kBlock];
    std::copy_n(from + done, kBlock, block);
    std::uint32_t any = 0;
    for (const From unit : block)
      any |= static_cast<std::uint32_t>(unit);
    if (any >= 0x80)
      break;
    for (std::size_t k = 0; k < kBlock; ++k)
      to[done + k] = static_cast<To>(block[k]);
  }
  for (; done < size && static_cast<std::uint32_t>(from[done]) < 0x80; ++done)
    to[done] = static_cast<To>(from[done]);
  return done;
}

bool IsHigh(std::uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLow(std::uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Length of the valid UTF-8 sequence starting at bytes[0], or 0 when there is none.
std::size_t SequenceLength(const unsigned char *bytes, std::size_t available) {
  const unsigned char lead = bytes[0];
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
  if (lead < 0x80)
    return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0)
      low = 0xA0;
    if (lead == 0xED)
      high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0)
      low = 0x90;
    if (lead == 0xF4)
      high = 0x8F;
  } else {
    return 0;
  }
  if (available < length || bytes[1] < low || bytes[1] > high)
    return 0;
  for (std::size_t i = 2; i < length; ++i)
    if ((bytes[i] & 0xC0) != 0x80)
      return 0;
  return length;
}

// Encodes the units; a lone surrogate is written in the three-byte form when allowed, and ends
// the encoding with nothing otherwise.
std::optional<std::string> Encode(std::wstring_view units, bool byteEscapes, bool loneSurrogates) {
  std::string bytes;
  bytes.reserve(units.size());
  for (std::size_t i = 0, length = 0; i < units.size(); i += length) {
    if (static_cast<std::uint32_t>(units[i]) < 0x80) {
      char run[256];
      length = CopyAscii(units.data() + i, std::min(units.size() - i, sizeof run), run);
      bytes.append(run, length);
      continue;
    }
    const std::uint32_t point = CodePointAt(units, i, &length);
    if (byteEscapes && IsEscapedByte(point))
      bytes.push_back(static_cast<char>(point - kEscapedByteBase));
    else if (IsSurrogate(point) && !loneSurrogates)
      return std::nullopt;
    else
      AppendUtf8(bytes, point);
  }
  return bytes;
}

} // namespace

wchar_t *DecodeBytesInto(std::string_view text, wchar_t *out) {
  const auto *bytes = reinterpret_cast<const unsigned char *>(text.data());
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t run = CopyAscii(bytes + i, text.size() - i, out);
    out += run;
    i += run;
    if (i == text.size())
      break;
    const std::size_t length = SequenceLength(bytes + i, text.size() - i);
    if (length == 0) {
      *out++ = static_cast<wchar_t>(kEscapedByteBase + bytes[i++]);
      continue;
    }
    std::uint32_t point = length == 1 ? bytes[i] : bytes[i] & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k)
      point = (point << 6) | (bytes[i + k] & 0x3F);
    if (point >= 0x10000) {
      point -= 0x10000;
      *out++ = static_cast<wchar_t>(0xD800 + (point >> 10));
      *out++ = static_cast<wchar_t>(0xDC00 + (point & 0x3FF));
    } else {
      *out++ = static_cast<wchar_t>(point);
    }
    i += length;
  }
  return out;
}

std::wstring DecodeBytes(std::string_view bytes) {
  std::wstring units(bytes.size(), L'\0');
  units.resize(static_cast<std::size_t>(DecodeBytesInto(bytes, units.data()) - units.data()));
  return units;
}

std::optional<std::string> EncodeUnits(std::wstring_view units) {
  return Encode(units, true, false);
}

std::string ReceivedBytes(std::wstring_view units, bool byteEscapes) {
  return *Encode(units, byteEscapes, true);
}

std::uint32_t CodePointAt(std::wstring_view units, std::size_t i, std::size_t *length) {
  const auto unit = static_cast<std::uint32_t>(units[i]);
  *length = 1;
  if (IsHigh(unit) && i + 1 < units.size() && IsLow(static_cast<std::uint32_t>(units[i + 1]))) {
    *length = 2;
    return 0x10000 + ((unit - 0xD800) << 10) + (static_cast<std::uint32_t>(units[i + 1]) - 0xDC00);
  }
  return unit;
}

bool HasLoneSurrogate(std::wstring_view units) {
  for (std::size_t i = 0, length = 0; i < units.size(); i += length)
    if (IsSurrogate(CodePointAt(units, i, &length)))
      return true;
  return false;
}

void AppendUtf8(std::string &out, std::uint32_t point) {
  if (point < 0x80) {
    out.push_back(static_cast<char>(point));
  } else if (point < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (point >> 6)));
    out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
  } else if (point < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (point >> 12)));
    out.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (point >> 18)));
    out.push_back(static_cast<char>(0x80 | ((point >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
  }
}

std::optional<std::wstring> DecodeText(std::string_view bytes) {
  const bool little = bytes.starts_with(kLittleEndianMark), big = bytes.starts_with(kBigEndianMark);
  if (little || big) {
    bytes.remove_prefix(kLittleEndianMark.size());
    if (bytes.size() % 2 != 0)
      return std::nullopt;
    return big ? UnitsOfBigEndian(bytes) : UnitsOfLittleEndian(bytes);
  }
  if (bytes.starts_with(kUtf8Mark))
    bytes.remove_prefix(kUtf8Mark.size());
  std::wstring units = DecodeBytes(bytes);
  if (std::any_of(units.begin(), units.end(),
                  [](wchar_t unit) { return IsEscapedByte(static_cast<std::uint32_t>(unit)); }))
    return std::nullopt;
  return units;
}

std::string LittleEndianBytes(std::wstring_view units) {
  std::string bytes(units.size() * 2, '\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    const auto unit = static_cast<std::uint32_t>(units[i]);
    bytes[2 * i] = static_cast<char>(unit & 0xFF);
    bytes[2 * i + 1] = static_cast<char>((unit >> 8) & 0xFF);
  }
  return bytes;
}

std::wstring UnitsOfLittleEndian(std::string_view bytes) {
  std::wstring units(bytes.size() / 2, L'\0');
  for (std::size_t i = 0; i < units.size(); ++i)
    units[i] = LittleEndianUnits{bytes}[i];
  return units;
}

std::wstring UnitsOfBigEndian(std::string_view bytes) {
  std::wstring units = UnitsOfLittleEndian(bytes);
  for (wchar_t &unit : units)
    unit = static_cast<wchar_t>((unit >> 8 & 0xFF) | (unit & 0xFF) << 8);
  return units;
}

} // namespace text

// Text as the programs hold it (UTF-16 code units, one per element of a std::wstring whatever the
// size of wchar_t) and as bytes: UTF-16LE in the log, UTF-8 everywhere else. Bytes that are not
// UTF-8 travel as the lone surrogates U+DC80 to U+DCFF, one per byte, so that no byte is lost.
#ifndef TARNWHISTLE_TEXT_CODEC_H
#define TARNWHISTLE_TEXT_CODEC_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace text {

// The code units that stand for the bytes 0x80 to 0xFF where bytes are not UTF-8.
constexpr std::uint32_t kEscapedByteFirst = 0xDC80;
constexpr std::uint32_t kEscapedByteLast = 0xDCFF;
constexpr std::uint32_t kEscapedByteBase = 0xDC00;

constexpr bool IsEscapedByte(std::uint32_t point) {
  return point >= kEscapedByteFirst && point <= kEscapedByteLast;
}
constexpr bool IsSurrogate(std::uint32_t point) { return point >= 0xD800 && point <= 0xDFFF; }

// Decodes UTF-8 into UTF-16 code units. A byte that is not part of a valid sequence (overlong
// forms, surrogates and values above U+10FFFF are not) becomes its escape unit, so every byte
// string decodes, and encodes back, unchanged.
std::wstring DecodeBytes(std::string_view bytes);

// Decodes into out, which has room for at least one unit per byte; returns the end.
wchar_t *DecodeBytesInto(std::string_view bytes, wchar_t *out);

// The bytes that decode to these code units; nothing when no byte string does (a lone surrogate
// other than an escaped byte).
std::optional<std::string> EncodeUnits(std::wstring_view units);

// The code point at units[i] and how many units it takes; a lone surrogate stands for itself.
std::uint32_t CodePointAt(std::wstring_view units, std::size_t i, std::size_t *length);

// Whether the units hold a surrogate that is not half of a pair (an escaped byte is one).
bool HasLoneSurrogate(std::wstring_view units);

// UTF-8, or for a lone surrogate the same three-byte form that keeps its value.
void AppendUtf8(std::string &out, std::uint32_t point);

// The text as the bytes a program received: UTF-8, escaped bytes restored when asked, and any
// other lone surrogate in the three-byte form.
std::string ReceivedBytes(std::wstring_view units, bool byteEscapes);

// The byte-order marks that open UTF-8, UTF-16LE and UTF-16BE text.
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kLittleEndianMark = "\xFF\xFE";
constexpr std::string_view kBigEndianMark = "\xFE\xFF";

// Text from a stream: UTF-16 when it opens with a byte-order mark (either order), else UTF-8,
// whose own mark is dropped. Nothing when it is not valid in its encoding.
std::optional<std::wstring> DecodeText(std::string_view bytes);

// UTF-16 little-endian, as the log holds it, and back; a last odd byte is left out.
std::string LittleEndianBytes(std::wstring_view units);
std::wstring UnitsOfLittleEndian(std::string_view bytes);

// The units of UTF-16 big-endian bytes; a last odd byte is left out.
std::wstring UnitsOfBigEndian(std::string_view bytes);

} // namespace text

#endif

#include "text/codec.h"

#include "tests/record_bytes.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

std::wstring Units(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

} // namespace

TEST(Codec, DecodesUtf8AndEscapesEveryOtherByte) {
  const struct {
    std::string bytes;
    std::u16string units;
  } cases[] = {
      {"plain", u"plain"},
      {"gr\xC3\xBC\xC3\x9F"
       "e",
       u"gr\u00FC\u00DFe"},
      {"\xE4\xB8\xAD", u"\u4E2D"},
      {"\xF0\x9F\x98\x80", u"\xD83D\xDE00"},
      {"\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF"},
      {"a\xFF"
       "b",
       u"a\xDCFF"
       "b"},
      {"\xC0\x80", u"\xDCC0\xDC80"},                     // overlong NUL
      {"\xE0\x80\xAF", u"\xDCE0\xDC80\xDCAF"},           // overlong slash
      {"\xED\xA0\x80", u"\xDCED\xDCA0\xDC80"},           // an encoded surrogate
      {"\xED\xB2\x80", u"\xDCED\xDCB2\xDC80"},           // an encoded escape unit
      {"\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80"}, // above U+10FFFF
      {"\xE2\x82", u"\xDCE2\xDC82"},                     // cut short at the end
      {"\xE2\x82z", u"\xDCE2\xDC82z"},                   // cut short by a letter
      {"\x80\xBF", u"\xDC80\xDCBF"},                     // lone continuation bytes
  };
  for (const auto &c : cases) {
    EXPECT_EQ(text::DecodeBytes(c.bytes), Units(c.units)) << c.bytes;
    EXPECT_EQ(text::EncodeUnits(text::DecodeBytes(c.bytes)), c.bytes) << c.bytes;
  }
}

TEST(Codec, AnyByteStringSurvivesTheRoundTrip) {
  std::mt19937 random(20261208);
  for (int i = 0; i < 20000; ++i) {
    std::string bytes(random() % 12, '\0');
    for (char &byte : bytes) // mostly high bytes, where the sequences are
      byte = static_cast<char>(random() % 4 ? 0x80 + random() % 0x80 : 1 + random() % 0x7F);
    ASSERT_EQ(text::EncodeUnits(text::DecodeBytes(bytes)), bytes);
  }
}

TEST(Codec, ConvertsRunsOfAsciiOfAnyLengthBetweenOtherText) {
  // ASCII goes across in blocks: runs around the block's length and longer than any, next to a
  // letter in two bytes, a byte that is not UTF-8 and a pair of surrogates.
  for (const std::size_t length : {0, 1, 7, 8, 9, 15, 16, 17, 255, 256, 257, 300}) {
    std::string ascii(length, 'a');
    for (std::size_t i = 0; i < length; ++i)
      ascii[i] = static_cast<char>(0x20 + i % 0x5F);
    const std::wstring units(ascii.begin(), ascii.end());
    const std::string bytes =
        ascii + "\xC3\xA9" + ascii + "\xFF" + ascii + "\xF0\x9F\x98\x80" + ascii;
    const std::wstring decoded = units + Units(u"\u00E9") + units + Units(u"\xDCFF") + units +
                                 Units(u"\xD83D\xDE00") + units;
    EXPECT_EQ(text::DecodeBytes(bytes), decoded) << length;
    EXPECT_EQ(text::EncodeUnits(decoded), bytes) << length;
    EXPECT_EQ(text::DecodeBytes(ascii), units) << length;
    EXPECT_EQ(text::EncodeUnits(units), ascii) << length;
  }
}

TEST(Codec, RefusesToEncodeUnitsThatNoBytesDecodeTo) {
  EXPECT_EQ(text::EncodeUnits(Units(u"a\xD800")), std::nullopt);
  EXPECT_EQ(text::EncodeUnits(Units(u"\xDC41")), std::nullopt);
  EXPECT_EQ(text::EncodeUnits(Units(u"\xDE00\xD83D")), std::nullopt);
}

TEST(Codec, SpellsUnitsAsLittleEndianBytesAndBack) {
  const std::u16string units = u"a\u00E9\u4E2D\xD83D\xDE00\xDC80";
  const std::string bytes = expected::LittleEndian(units);
  EXPECT_EQ(text::LittleEndianBytes(Units(units)), bytes);
  EXPECT_EQ(text::UnitsOfLittleEndian(bytes + "x"), Units(units));
}

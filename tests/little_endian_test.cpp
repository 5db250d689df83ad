#include "text/little_endian.h"

#include "text/codec.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

TEST(LittleEndian, ReadsUnitsInPlaceAndLeavesOutALastOddByte) {
  const text::LittleEndianUnits units{std::string_view("a\0\x01\xD8x", 5)};
  EXPECT_EQ(units.size(), 2u);
  EXPECT_EQ(units[0], L'a');
  EXPECT_EQ(units[1], static_cast<wchar_t>(0xD801));
  EXPECT_EQ(units.str(), std::wstring(L"a") + static_cast<wchar_t>(0xD801));
  EXPECT_TRUE(units.substr(7).empty());
}

TEST(LittleEndian, FindsOnlyMatchesThatBeginOnAUnit) {
  // U+0D41 U+0A00 holds the bytes of CR LF from its second byte on.
  const std::wstring text = {0x0D41, 0x0A00, 0x0000, L'\r', L'\n', 0x0D41, 0x0A00};
  const std::string bytes = text::LittleEndianBytes(text);
  const text::LittleEndianUnits units{bytes};
  EXPECT_EQ(units.find(L"\r\n"), 3u);
  EXPECT_EQ(units.find(L"\r\n", 4), text::LittleEndianUnits::npos);
  EXPECT_EQ(units.rfind(L"\r\n"), 3u);
  EXPECT_EQ(units.rfind(L"\r\n", 2), text::LittleEndianUnits::npos);
}

TEST(LittleEndian, AgreesWithAWideStringView) {
  // Units whose bytes look like halves of CR, LF, a space and a quote.
  const wchar_t alphabet[] = {L'\r', L'\n', L' ', L'"', L'a', 0x0D0A, 0x0A0D, 0x200D, 0x0D00};
  const std::wstring needles[] = {L"\r\n", L" ", L"\"", L"a\r", L"\r\na", L""};
  std::mt19937 random(20261210);
  for (int round = 0; round < 2000; ++round) {
    std::wstring text(random() % 12, L'\0');
    for (wchar_t &unit : text)
      unit = alphabet[random() % std::size(alphabet)];
    const std::string bytes = text::LittleEndianBytes(text);
    const text::LittleEndianUnits units{bytes};
    const std::wstring_view view = text;
    const std::size_t pos = random() % 14, count = random() % 14;
    ASSERT_EQ(units.substr(pos, count).str(), pos <= view.size() ? view.substr(pos, count) : L"");
    for (const std::wstring &needle : needles) {
      ASSERT_EQ(units.find(needle, pos), view.find(needle, pos)) << round;
      ASSERT_EQ(units.rfind(needle, pos), view.rfind(needle, pos)) << round;
      ASSERT_EQ(units.starts_with(needle), view.starts_with(needle)) << round;
      ASSERT_EQ(units.ends_with(needle), view.ends_with(needle)) << round;
    }
  }
}

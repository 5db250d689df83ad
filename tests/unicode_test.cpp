#include "text/unicode.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

TEST(Unicode, EscapesEachInvisibleCategoryAndNamesCombiningMarks) {
  const struct {
    const char *what;
    std::vector<std::uint32_t> points;
    bool invisible, combining;
  } cases[] = {
      {"Cc", {0x00, 0x1F, 0x7F, 0x85, 0x9F}, true, false},
      {"Cf", {0xAD, 0x600, 0x200B, 0x202E, 0xFEFF, 0x110BD, 0xE0001}, true, false},
      {"Cs", {0xD800, 0xDBFF, 0xDC00, 0xDFFF}, true, false},
      {"Co", {0xE000, 0xF8FF, 0xF0000, 0x10FFFD}, true, false},
      {"Cn", {0x378, 0x2065, 0xFFFE, 0x2A6E0, 0xE0FFF, 0x10FFFF}, true, false},
      {"Zs but U+0020, Zl, Zp",
       {0xA0, 0x1680, 0x2000, 0x202F, 0x3000, 0x2028, 0x2029},
       true,
       false},
      {"ignorable", {0x34F, 0x180B, 0xFE00, 0xFE0F, 0xE0100, 0xE01EF}, true, false},
      {"blank letters", {0x115F, 0x1160, 0x2800, 0x3164, 0xFFA0}, true, false},
      {"Mn, Mc, Me", {0x300, 0x34E, 0x350, 0x903, 0x20DD, 0x1E94A}, false, true},
      {"shown", {0x20, 'A', 0xA1, 0x2801, 0x4DBF, 0x4E00, 0xD7A3, 0x1F600, 0x2A6DF}, false, false},
  };
  for (const auto &c : cases)
    for (const std::uint32_t point : c.points) {
      EXPECT_EQ(text::IsInvisible(point), c.invisible) << c.what << " U+" << std::hex << point;
      EXPECT_EQ(text::IsCombiningMark(point), c.combining) << c.what << " U+" << std::hex << point;
    }
}

TEST(Unicode, StillEscapesWhatTheHandListEscaped) {
  // The list the reader escaped before the table was generated.
  const std::uint32_t handList[][2] = {
      {0x0, 0x1F},        {0x7F, 0xA0},     {0xAD, 0xAD},     {0x34F, 0x34F},   {0x61C, 0x61C},
      {0x115F, 0x1160},   {0x1680, 0x1680}, {0x17B4, 0x17B5}, {0x180B, 0x180F}, {0x2000, 0x200F},
      {0x2028, 0x202F},   {0x205F, 0x206F}, {0x3000, 0x3000}, {0x3164, 0x3164}, {0xFE00, 0xFE0F},
      {0xFEFF, 0xFEFF},   {0xFFA0, 0xFFA0}, {0xFFF0, 0xFFFB}, {0xFFFE, 0xFFFF}, {0x1D173, 0x1D17A},
      {0xE0000, 0xE0FFF}, {0xD800, 0xDFFF}};
  for (const auto &range : handList)
    for (std::uint32_t point = range[0]; point <= range[1]; ++point)
      ASSERT_TRUE(text::IsInvisible(point)) << "U+" << std::hex << point;
  for (std::uint32_t point = 0; point <= 0x10FFFF; ++point)
    ASSERT_FALSE(text::IsInvisible(point) && text::IsCombiningMark(point)) << std::hex << point;
}

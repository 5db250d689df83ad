#include "reader/reading.h"

#include "tests/reading_model.h"
#include "tests/record_bytes.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

namespace reader {

namespace {

std::wstring Units(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

std::vector<std::wstring> AllUnits(const std::vector<std::u16string> &texts) {
  std::vector<std::wstring> units;
  for (const std::u16string &text : texts)
    units.push_back(Units(text));
  return units;
}

std::string Describe(const ReadOutcome &outcome) {
  if (!outcome.problem.empty())
    return "not a record: " + outcome.problem;
  const Reading &r = outcome.reading;
  std::string text = "program of " + std::to_string(r.program.size()) + " units, " +
                     std::to_string(r.arguments.size()) + " arguments";
  text += r.complete ? ", complete" : ", cut short";
  text += r.ambiguous ? ", ambiguous" : "";
  text += r.countAgrees ? "" : ", count disagrees";
  return text;
}

} // namespace

TEST(Reading, FindsTheLinesFromTheFormatWhateverTheArgumentsHold) {
  const std::string example = expected::ExampleLog();
  const struct {
    const char *what;
    std::string bytes;
    std::vector<std::u16string> arguments; // for a record
    std::string described;
  } cases[] = {
      {"the example",
       example,
       {u"alpha", u"two words", u""},
       "program of 16 units, 3 arguments, complete"},
      {"a forged line inside quotes",
       expected::Log({u"Program = p", u"ARG[1] = \"x\r\nARG[2] = y\"", u"ReturnCode = 1"}),
       {u"x\r\nARG[2] = y"},
       "program of 1 units, 1 arguments, complete"},
      {"the count picks the reading: one argument",
       expected::Log({u"Program = p", u"ARG[1] = \"a b\"", u"ARG[2] = \"c d\"", u"ReturnCode = 1"}),
       {u"a b\"\r\nARG[2] = \"c d"},
       "program of 1 units, 1 arguments, complete"},
      {"two readings fit the count",
       expected::Log({u"Program = p", u"ARG[1] = \"a b\"", u"ARG[2] = \"c d\"", u"ARG[2] = \"e f\"",
                      u"ReturnCode = 2"}),
       {u"a b", u"c d\"\r\nARG[2] = \"e f"},
       "program of 1 units, 2 arguments, complete, ambiguous"},
      {"ten arguments are not the program alone",
       expected::Log(expected::Lines(
           u"p", {u"1", u"2", u"3", u"4", u"5", u"6", u"7", u"8", u"9", u"10"}, 10)),
       {u"1", u"2", u"3", u"4", u"5", u"6", u"7", u"8", u"9", u"10"},
       "program of 1 units, 10 arguments, complete"},
      {"a program holding a line break",
       expected::Log({u"Program = x\r\nARG[1] = y", u"ARG[1] = z", u"ReturnCode = 1"}),
       {u"z"},
       "program of 13 units, 1 arguments, complete"},
      {"a return code that does not fit the count",
       expected::Log({u"Program = p", u"ARG[1] = a", u"ReturnCode = 5"}),
       {u"a"},
       "program of 1 units, 1 arguments, complete, count disagrees"},
      {"cut inside a value",
       example.substr(0, 122),
       {u"alpha", u"two wo"},
       "program of 16 units, 2 arguments, cut short, count disagrees"},
      {"cut inside the next line's prefix",
       example.substr(0, 138),
       {u"alpha", u"two words"},
       "program of 16 units, 2 arguments, cut short, count disagrees"},
      {"cut inside a line break, at an odd byte",
       example.substr(0, 133),
       {u"alpha", u"two words"},
       "program of 16 units, 2 arguments, cut short, count disagrees"},
      {"cut inside the program line",
       example.substr(0, 30),
       {},
       "program of 4 units, 0 arguments, cut short, count disagrees"},
      {"empty", "", {}, "not a record: an empty file"},
      {"UTF-8",
       "\xEF\xBB\xBFProgram = p\r\n",
       {},
       "not a record: UTF-8 text, not UTF-16; line 1 starts [Program = p]"},
      {"binary",
       std::string("\x7F"
                   "ELF\x02\x01\x01\0\0",
                   9),
       {},
       "not a record: binary data; line 1 starts "
       "[<U+007F>ELF<U+0002><U+0001><U+0001><U+0000><U+0000>]"},
      {"text",
       "Program = p\r\nReturnCode = 10\r\n",
       {},
       "not a record: text without a UTF-16 byte-order mark; line 1 starts [Program = p]"},
      {"UTF-16 without its byte-order mark",
       example.substr(2),
       {},
       "not a record: UTF-16 text without a byte-order mark; line 1 starts "
       "[Program = C:\\Tools\\rec.exe]"},
      {"other UTF-16 text",
       expected::Log({u"Hello"}),
       {},
       "not a record: line 1 does not follow the record's format; it starts [Hello]"},
      {"a stray byte at the end",
       example + "x",
       {},
       "not a record: line 6 does not follow the record's format; it is a stray byte, 0x78, after "
       "the return-code line"},
      {"lines out of order",
       expected::Log({u"Program = p", u"ARG[2] = a", u"ARG[1] = b", u"ReturnCode = 2"}),
       {},
       "not a record: line 2 does not follow the record's format; it starts [ARG[2] = a]"},
  };
  for (const auto &c : cases) {
    const ReadOutcome outcome = ReadRecord(c.bytes);
    EXPECT_EQ(Describe(outcome), c.described) << c.what;
    if (outcome.problem.empty()) {
      EXPECT_EQ(outcome.reading.arguments, AllUnits(c.arguments)) << c.what;
    }
  }
}

TEST(Reading, NamesTheFirstLineOffTheFormatAndHowItStarts) {
  const auto bigEndian = [](std::u16string_view text) {
    std::string bytes = expected::LittleEndian(text);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
      std::swap(bytes[i], bytes[i + 1]);
    return bytes;
  };
  const auto repeated = [](std::string_view text, int times) {
    std::string all;
    for (int i = 0; i < times; ++i)
      all += text;
    return all;
  };
  const std::string forty = "ARG[1] = " + std::string(31, 'x');
  const std::u16string fortyUnits(forty.begin(), forty.end());
  const std::string ellipsis = "\xE2\x80\xA6";
  const struct {
    const char *what;
    std::string bytes;
    std::string problem;
  } cases[] = {
      {"big-endian UTF-16", "\xFE\xFF" + bigEndian(u"Program = p\r\n"),
       "big-endian UTF-16; line 1 starts [Program = p]"},
      {"big-endian UTF-16 without its byte-order mark", bigEndian(u"Program = p\r\n"),
       "big-endian UTF-16 text without a byte-order mark; line 1 starts [Program = p]"},
      {"a byte that is not UTF-8", "\xEF\xBB\xBFProgram = \xFF\r\n",
       "UTF-8 text, not UTF-16; line 1 starts [Program = <0xFF>]"},
      {"a later line",
       expected::Log(
           {u"Program = p", u"ARG[1] = a", u"ARG[2] = b", u"ARG[4] = c", u"ReturnCode = 3"}),
       "line 4 does not follow the record's format; it starts [ARG[4] = c]"},
      {"a space without quotes, and escapes",
       expected::Log({u"Program = p", u"ARG[1] = a\tb c\r", u"ReturnCode = 1"}),
       "line 2 does not follow the record's format; it starts [ARG[1] = a<TAB>b c<CR>]"},
      {"a quote that never closes, seen only at the end",
       expected::Log({u"Program = p", u"ARG[1] = \"a b", u"ReturnCode = 1"}),
       "line 3 does not follow the record's format; it starts [ReturnCode = 1]"},
      {"a longer line, cut after forty characters",
       expected::Log({u"Program = p", fortyUnits + u" y", u"ReturnCode = 1"}),
       "line 2 does not follow the record's format; it starts [" + forty + "]" + ellipsis},
      {"a line of exactly forty characters", expected::Log({fortyUnits, u"ReturnCode = 1"}),
       "line 1 does not follow the record's format; it starts [" + forty + "]"},
      {"characters, not units, are counted", expected::Log({std::u16string(90, u'\xD83D')}),
       "line 1 does not follow the record's format; it starts [" + repeated("<U+D83D>", 40) + "]" +
           ellipsis},
      {"a surrogate pair is one character", expected::Log({[] {
         std::u16string faces;
         for (int i = 0; i < 41; ++i)
           faces += u"\xD83D\xDE00";
         return faces;
       }()}),
       "line 1 does not follow the record's format; it starts [" +
           repeated("\xF0\x9F\x98\x80", 40) + "]" + ellipsis},
  };
  for (const auto &c : cases)
    EXPECT_EQ(ReadRecord(c.bytes).problem, c.problem) << c.what;
}

TEST(Reading, ShowsExactlyOnlyTheArgumentsOfAWholeRecordReadInOneWay) {
  const auto shows = [](const std::string &bytes, const std::vector<std::u16string> &arguments) {
    return ShowsExactly(bytes, ReadRecord(bytes).reading, AllUnits(arguments));
  };
  const std::string example = expected::ExampleLog();
  EXPECT_TRUE(shows(example, {u"alpha", u"two words", u""}));
  EXPECT_FALSE(shows(example, {u"alpha", u"two  words", u""}));
  EXPECT_FALSE(shows(example, {u"alpha", u"two words"}));
  EXPECT_FALSE(shows(example.substr(0, example.size() - 2), {u"alpha", u"two words", u""}));
  // Neither reading of an ambiguous record is shown exactly.
  const std::string ambiguous =
      expected::Log({u"Program = p", u"ARG[1] = \"a b\"", u"ARG[2] = \"c d\"", u"ARG[2] = \"e f\"",
                     u"ReturnCode = 2"});
  EXPECT_FALSE(shows(ambiguous, {u"a b", u"c d\"\r\nARG[2] = \"e f"}));
  EXPECT_FALSE(shows(ambiguous, {u"a b\"\r\nARG[2] = \"c d", u"e f"}));
  // Ten arguments give the same status as none, and a program line may hold the argument lines:
  // the program line ends at its first line break, so neither is read as the program alone.
  const std::string ten = expected::Log(
      expected::Lines(u"p", {u"a", u"b", u"c", u"d", u"e", u"f", u"g", u"h", u"i", u"j"}, 10));
  EXPECT_FALSE(shows(ten, {}));
  EXPECT_TRUE(shows(ten, {u"a", u"b", u"c", u"d", u"e", u"f", u"g", u"h", u"i", u"j"}));
  const std::string forged = expected::Log(expected::Lines(u"p", {u"x\r\nARG[1] = a"}, 1));
  EXPECT_FALSE(shows(forged, {u"a\""}));
  EXPECT_TRUE(shows(forged, {u"x\r\nARG[1] = a"}));
}

TEST(Reading, AgreesWithAModelThatTriesEveryWayToCutTheLines) {
  // Lines, quotes, spaces and digits that forge the record's own structure.
  const std::u16string pieces[] = {u"\r\n",    u"ARG[1] = ",  u"ARG[2] = ", u"ARG[3] = ",
                                   u"\"",      u" ",          u"x",         u"\r\nARG[2] = \"",
                                   u"\" \r\n", u"ARG[01] = ", u"\r",        u"ReturnCode = 2"};
  std::mt19937 random(20261208);
  const auto some = [&](int most) {
    std::u16string text;
    for (int n = static_cast<int>(random() % (most + 1)); n > 0; --n)
      text += pieces[random() % std::size(pieces)];
    return text;
  };
  const std::u16string codes[] = {u"1", u"2", u"3", u"10", u"7"};
  int checked = 0, ambiguous = 0;
  for (int round = 0; round < 4000; ++round) {
    std::vector<std::u16string> lines;
    if (round % 2 == 0) {
      // A record as the recorder writes it, of arguments that look like lines.
      std::vector<std::u16string> arguments(random() % 4);
      for (std::u16string &argument : arguments)
        argument = some(3);
      lines = expected::Lines(round % 8 == 0 ? u"p" + some(2) : u"p", arguments,
                              arguments.empty() ? 10 : static_cast<int>(arguments.size()));
    } else {
      // Anything between the program line's prefix and a return-code line.
      lines = {u"Program = " + some(8), u"ReturnCode = " + codes[random() % std::size(codes)]};
    }
    const std::string bytes = expected::Log(lines);
    std::u16string units;
    for (const std::u16string &line : lines)
      units += line + u"\r\n";
    const std::optional<model::Readings> readings = model::WholeRecordReadings(units, 12);
    if (!readings)
      continue;
    ++checked;
    ambiguous += readings->fitting.size() > 1;
    const std::string problem = model::Disagreement(bytes, ReadRecord(bytes), *readings);
    ASSERT_EQ(problem, "") << "round " << round;
  }
  EXPECT_GT(checked, 3000);
  EXPECT_GT(ambiguous, 50);
}

TEST(Reading, ACutRecordIsReadAsCutShortAtEveryByte) {
  const std::vector<std::u16string> arguments = {u"alpha", u"two words", u"", u"\"q\"", u"a b\""};
  const std::string whole = expected::Log(expected::Lines(u"C:\\rec.exe", arguments, 5));
  for (std::size_t size = 1; size < whole.size(); ++size) {
    const ReadOutcome outcome = ReadRecord(whole.substr(0, size));
    ASSERT_EQ(outcome.problem, "") << size;
    const Reading &reading = outcome.reading;
    EXPECT_FALSE(reading.complete || Certain(reading)) << size;
    EXPECT_LE(reading.arguments.size(), arguments.size()) << size;
    // Every argument before the last is whole; the last is the start of its argument or of its
    // value, whose quote a cut may leave without the space that shows it is one.
    for (std::size_t i = 0; i < reading.arguments.size(); ++i) {
      const std::wstring argument = Units(arguments[i]);
      const std::wstring value =
          argument.find(L' ') == std::wstring::npos ? argument : L'"' + argument + L'"';
      const std::wstring &read = reading.arguments[i];
      if (i + 1 < reading.arguments.size())
        EXPECT_EQ(read, argument) << size;
      else
        EXPECT_TRUE(argument.starts_with(read) || value.starts_with(read)) << size;
    }
  }
  // Cut inside the last line break, as a file-size limit cuts it: every argument, whole.
  for (const std::size_t cut : {1, 2, 3}) {
    const ReadOutcome outcome = ReadRecord(whole.substr(0, whole.size() - cut));
    EXPECT_EQ(outcome.reading.arguments, AllUnits(arguments)) << cut;
    EXPECT_FALSE(outcome.reading.complete) << cut;
  }
}

} // namespace reader

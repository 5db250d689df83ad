#include "reader/reading.h"

#include "tests/record_bytes.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

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
      {"UTF-8", "\xEF\xBB\xBFProgram = p\r\n", {}, "not a record: UTF-8 text, not a UTF-16 record"},
      {"binary",
       std::string("\x7F"
                   "ELF\x02\x01\x01\0\0",
                   9),
       {},
       "not a record: binary data, not a record"},
      {"text",
       "Program = p\r\nReturnCode = 10\r\n",
       {},
       "not a record: text without a UTF-16 byte-order mark"},
      {"other UTF-16 text",
       expected::Log({u"Hello"}),
       {},
       "not a record: no program line after the byte-order mark"},
      {"a stray byte at the end",
       example + "x",
       {},
       "not a record: a stray byte after its return-code line"},
      {"lines out of order",
       expected::Log({u"Program = p", u"ARG[2] = a", u"ARG[1] = b", u"ReturnCode = 2"}),
       {},
       "not a record: its lines do not follow the record's format"},
  };
  for (const auto &c : cases) {
    const ReadOutcome outcome = ReadRecord(c.bytes);
    EXPECT_EQ(Describe(outcome), c.described) << c.what;
    if (outcome.problem.empty()) {
      EXPECT_EQ(outcome.reading.arguments, AllUnits(c.arguments)) << c.what;
    }
  }
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

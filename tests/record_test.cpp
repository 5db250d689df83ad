#include "recorder/record.h"
#include "recorder/run.h"

#include "tests/fake_platform.h"
#include "tests/record_bytes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace recorder {

namespace {

// Test text as code units, so that it means the same whatever the size of wchar_t.
std::wstring Units(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

std::string WrittenBytes() {
  std::string bytes;
  for (const fake::Call &call : fake::Calls())
    if (call.operation == "WriteFile")
      bytes += call.bytes;
  return bytes;
}

std::vector<std::string> Writes() {
  std::vector<std::string> writes;
  for (const fake::Call &call : fake::Calls())
    if (call.operation == "WriteFile") {
      EXPECT_EQ(call.values[0], call.bytes.size());
      EXPECT_EQ(call.values[1], 0u) << "bytes written is not reset before the call";
      EXPECT_EQ(call.pointers, (std::vector<const void *>{fake::kLogHandle, nullptr}));
      writes.push_back(call.bytes);
    }
  return writes;
}

} // namespace

TEST(Record, QuotesOnlyArgumentsHoldingASpaceAndEscapesNothing) {
  const struct {
    std::u16string argument;
    std::u16string value;
  } cases[] = {
      {u"alpha", u"alpha"},
      {u"two words", u"\"two words\""},
      {u"", u""},
      {u"   ", u"\"   \""},
      {u" ", u"\" \""},
      {u"tab\there", u"tab\there"},
      {u"no\u00A0break", u"no\u00A0break"},
      {u"line\r\nbreak", u"line\r\nbreak"},
      {u"say \"hi\"", u"\"say \"hi\"\""},
      {u"\"quoted\"", u"\"quoted\""},
      {u"C:\\Program Files\\", u"\"C:\\Program Files\\\""},
      {u"back\\slash\\\\", u"back\\slash\\\\"},
      {u"\xD83D\xDE00 smile", u"\"\xD83D\xDE00 smile\""},
      {u"lone\xD800", u"lone\xD800"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(QuoteIfSpaced(Units(c.argument)), Units(c.value));
}

TEST(Record, ExampleRunWritesItsFiveLinesOneWriteEach) {
  fake::Reset({.arguments = {L"C:\\Tools\\rec.exe", L"alpha", L"two words", L""}});
  EXPECT_EQ(RunRecorder(), 3);
  const std::vector<std::string> expected = {
      "\xFF\xFE",
      expected::LittleEndian(u"Program = C:\\Tools\\rec.exe\r\n"),
      expected::LittleEndian(u"ARG[1] = alpha\r\n"),
      expected::LittleEndian(u"ARG[2] = \"two words\"\r\n"),
      expected::LittleEndian(u"ARG[3] = \r\n"),
      expected::LittleEndian(u"ReturnCode = 3\r\n"),
  };
  EXPECT_EQ(Writes(), expected);
}

TEST(Record, WritesEveryCodeUnitUnchangedAndNeverQuotesElementZero) {
  const std::vector<std::u16string> arguments = {
      u"C:\\Program Files\\rec.exe", // element 0, spaced
      u"\xD83D\xDE00",               // a surrogate pair
      u"\xD800",                     // a lone high surrogate
      u"x\xDC00",                    // a lone low surrogate at the end
      u"\xFEFF\x00E9\x4E2D",         // a byte-order mark inside, then BMP letters
      u"a\r\nb",                     // line breaks inside an argument
  };
  std::vector<std::wstring> vector;
  for (const std::u16string &argument : arguments)
    vector.push_back(Units(argument));
  fake::Reset({.arguments = vector});
  EXPECT_EQ(RunRecorder(), 5);
  EXPECT_EQ(WrittenBytes(), expected::Log({
                                u"Program = C:\\Program Files\\rec.exe",
                                u"ARG[1] = \xD83D\xDE00",
                                u"ARG[2] = \xD800",
                                u"ARG[3] = x\xDC00",
                                u"ARG[4] = \xFEFF\x00E9\x4E2D",
                                u"ARG[5] = a\r\nb",
                                u"ReturnCode = 5",
                            }));
}

TEST(Record, ManyArgumentsEachGetTheirLineAndTheCappedStatus) {
  std::vector<std::wstring> vector = {L"rec.exe"};
  std::vector<std::u16string> arguments;
  for (int i = 1; i <= 300; ++i) {
    const std::string text = i % 7 ? std::to_string(i) : "spaced " + std::to_string(i);
    arguments.emplace_back(text.begin(), text.end());
    vector.emplace_back(text.begin(), text.end());
  }
  fake::Reset({.arguments = vector});
  EXPECT_EQ(RunRecorder(), 255);
  EXPECT_EQ(Writes().size(), 303u);
  EXPECT_EQ(WrittenBytes(), expected::Log(expected::Lines(u"rec.exe", arguments, 255)));
}

} // namespace recorder

#include "reader/show.h"
#include "text/codec.h"
#include "text/escape.h"

#include "tests/record_bytes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace reader {

namespace {

std::wstring Units(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

// The time the logs of these tests are named for.
constexpr platform::SYSTEMTIME kTime = {2026, 3, 6, 7, 9, 5, 2, 0};

} // namespace

TEST(Show, EscapesWhatCouldNotBeSeenOrToldApartAndNothingElse) {
  const struct {
    std::u16string units;
    bool byteEscapes;
    std::string shown;
  } cases[] = {
      {u"C:\\Program Files\\\"x\" [y]", false, "C:\\Program Files\\\"x\" [y]"},
      {u"tab\tcr\rlf\n", false, "tab<TAB>cr<CR>lf<LF>"},
      {u"<TAB>", false, "<<TAB>"},
      {u"\u00A0\u2007\u3000\u200B\uFEFF\u202E\u0007\u007F\u0085", false,
       "<U+00A0><U+2007><U+3000><U+200B><U+FEFF><U+202E><U+0007><U+007F><U+0085>"},
      {u"gr\u00FC\u00DFe \u4E2D \xD83D\xDE00", false,
       "gr\xC3\xBC\xC3\x9F"
       "e \xE4\xB8\xAD \xF0\x9F\x98\x80"},
      {u"\xDB40\xDC41", false, "<U+E0041>"},
      {u"\xD800x\xDE00", false, "<U+D800>x<U+DE00>"},
      {u"\xDCFF\xDC80", false, "<U+DCFF><U+DC80>"},
      {u"\xDCFF\xDC80\xDC7F", true, "<0xFF><0x80><U+DC7F>"},
      {u"\u2800 \u3164\u0600\U000F0000", false, "<U+2800> <U+3164><U+0600><U+F0000>"},
      {u"e\u0301\u0903\u20DD", false, "e\xCC\x81\xE0\xA4\x83\xE2\x83\x9D"},
      {u"\u0301e", false, "<U+0301>e"},
      {u"\t\u0301\u0302 <\u0338", false, "<TAB><U+0301><U+0302> <<<U+0338>"},
      {u"\xDCFF\u20DD\u200B\u0903", true, "<0xFF><U+20DD><U+200B><U+0903>"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(text::Visible(Units(c.units), c.byteEscapes), c.shown) << c.shown;
}

TEST(Show, GivesBackTheBytesReceivedAndValidJson) {
  EXPECT_EQ(text::ReceivedBytes(Units(u"a\xDCFF\u00E9"), true), "a\xFF\xC3\xA9");
  EXPECT_EQ(text::ReceivedBytes(Units(u"a\xDCFF\xD800"), false), "a\xED\xB3\xBF\xED\xA0\x80");
  Reading reading;
  reading.program = L"C:\\rec.exe";
  reading.arguments = {Units(u"say \"hi\"\r\n\t\x01"), Units(u"\xD800\u2028\xD83D\xDE00"), L""};
  reading.returnCode = 3;
  reading.complete = true;
  EXPECT_EQ(JsonView({L"x.log", kTime, reading}),
            "{\"file\":\"x.log\",\"time\":\"2026-03-07T09:05:02\",\"owner\":null,"
            "\"program\":\"C:\\\\rec.exe\","
            "\"arguments\":[\"say \\\"hi\\\"\\r\\n\\t\\u0001\",\"\\uD800\\u2028\xF0\x9F\x98\x80\","
            "\"\"],\"return_code\":3,\"complete\":true,\"ambiguous\":false}\n");
  reading.complete = false;
  reading.returnCode.reset();
  EXPECT_NE(JsonView({L"x.log", std::nullopt, reading}).find("\"time\":null,"), std::string::npos);
  EXPECT_EQ(NullSeparated(reading.arguments, false),
            std::string("say \"hi\"\r\n\t\x01\0"
                        "\xED\xA0\x80\xE2\x80\xA8\xF0\x9F\x98\x80\0\0",
                        25));
}

TEST(Show, PlainViewPutsEachArgumentOnItsOwnLineBetweenBrackets) {
  Reading reading;
  reading.program = L"C:\\Tools\\rec.exe";
  reading.arguments = {L"alpha", L"two words", L"", L"tab\there"};
  reading.returnCode = 4;
  reading.complete = true;
  reading.countAgrees = true;
  EXPECT_EQ(PlainView({L"C:\\Temp\\Tarnwhistle_2026-03-07_09-05-02.log", kTime, reading}, false),
            "File: C:\\Temp\\Tarnwhistle_2026-03-07_09-05-02.log\n"
            "Time: 2026-03-07 09:05:02\n"
            "Program: [C:\\Tools\\rec.exe]\n"
            "ARG[1] [alpha]\n"
            "ARG[2] [two words]\n"
            "ARG[3] []\n"
            "ARG[4] [tab<TAB>here]\n"
            "4 arguments; ReturnCode = 4, which agrees.\n"
            "Escapes: <TAB>, <CR>, <LF> and <U+XXXX> stand for characters that would not show or "
            "could be mistaken; << is a <.\n");
}

TEST(Show, FirstDifferenceNamesTheArgumentAndWhatDiffers) {
  Reading reading;
  reading.arguments = {L"a", L"b c"};
  reading.complete = true;
  reading.countAgrees = true;
  const struct {
    std::vector<std::wstring> expected;
    std::string message;
  } cases[] = {
      {{L"a", L"b  c"}, "ARG[2] differs: expected [b  c], found [b c]"},
      {{L"a", L"b c", L"\t"}, "ARG[3] [<TAB>] is missing (the log has 2 arguments, expected 3)"},
      {{L"a"}, "ARG[2] [b c] was not expected (the log has 2 arguments, expected 1)"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(FirstDifference(reading, c.expected, false), c.message);
  reading.complete = false;
  EXPECT_EQ(FirstDifference(reading, {L"a", L"b c"}, false),
            "the record is cut short after 2 arguments, so it cannot show that exactly these "
            "arrived");
}

TEST(Show, OwnerFollowsTheTimeInEveryView) {
  Reading reading;
  reading.program = L"rec";
  reading.complete = true;
  const ShownLog log = {L"x.log", kTime, reading, L"NT SERVICE\\svc\u00A0x"};
  EXPECT_NE(PlainView(log, false)
                .find("Time: 2026-03-07 09:05:02\n"
                      "Owner: NT SERVICE\\svc<U+00A0>x\n"
                      "Program: [rec]\n"),
            std::string::npos)
      << PlainView(log, false);
  EXPECT_NE(JsonView(log).find("\"time\":\"2026-03-07T09:05:02\","
                               "\"owner\":\"NT SERVICE\\\\svc\u00A0x\",\"program\":\"rec\""),
            std::string::npos)
      << JsonView(log);
}

TEST(Show, AListSplitFromALineSaysWhereTheCRuntimeDiffers) {
  ShownList shown{L"p \"a\"\"b\" c", {L"p", {L"a\"b", L"c"}}, std::nullopt};
  EXPECT_EQ(PlainListView(shown, false),
            "Line: [p \"a\"\"b\" c]\nProgram: [p]\nARG[1] [a\"b]\nARG[2] [c]\n"
            "2 arguments, as the recorder's splitter reads the line.\n");
  EXPECT_EQ(
      JsonListView(shown),
      "{\"line\":\"p \\\"a\\\"\\\"b\\\" c\",\"program\":\"p\",\"arguments\":[\"a\\\"b\",\"c\"]}\n");
  shown.runtime = ArgumentList{L"p", {L"a\"b c"}};
  EXPECT_NE(PlainListView(shown, false)
                .find("\nA program built with Microsoft's C runtime receives another list: "
                      "program [p], 1 argument [a\"b c].\n"),
            std::string::npos);
  EXPECT_NE(
      JsonListView(shown).find(",\"c_runtime\":{\"program\":\"p\",\"arguments\":[\"a\\\"b c\"]}}"),
      std::string::npos);
  shown.line.reset();
  EXPECT_EQ(JsonListView(shown).substr(0, 12), "{\"line\":null");
}

// A batch file's parameters: %0 to %9 of however many, %*, and each warning, escaped as the rest.
TEST(Show, ABatchFilesLineShowsWhatCmdGivesIt) {
  std::vector<std::wstring> parameters = {L"run.bat"};
  for (int i = 1; i <= 11; ++i)
    parameters.push_back(L"p" + std::to_wstring(i));
  const ShownList shown{L"run.bat x",
                        {L"run.bat", {L"x"}},
                        std::nullopt,
                        text::BatchView{parameters, L"p1 \"a\tb\"", {L"cmd would run <x>"}}};
  const std::string plain = PlainListView(shown, false);
  EXPECT_NE(plain.find("\nBatch file: 11 parameters, as cmd gives them.\n%0 [run.bat]\n%1 [p1]\n"),
            std::string::npos)
      << plain;
  EXPECT_NE(plain.find("\n%9 [p9]\n%* [p1 \"a<TAB>b\"]\nWarning: cmd would run <<x>\n"),
            std::string::npos)
      << plain;
  EXPECT_EQ(plain.find("p10"), std::string::npos);
  const std::string json = JsonListView(shown);
  EXPECT_NE(json.find(",\"batch\":{\"parameters\":[\"run.bat\",\"p1\","), std::string::npos);
  EXPECT_NE(
      json.find("\"p11\"],\"rest\":\"p1 \\\"a\\tb\\\"\",\"warnings\":[\"cmd would run <x>\"]}}\n"),
      std::string::npos)
      << json;
}

} // namespace reader

#include "text/batch_view.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using List = std::vector<std::wstring>;

struct ViewCase {
  std::wstring line;
  List parameters;
  std::wstring rest;
  List warnings = {};
};

} // namespace

// What a batch file gets, %0 first, and one warning for each thing cmd would act on.
TEST(BatchView, ShowsWhatABatchFileReceives) {
  const ViewCase cases[] = {
      {LR"("C:\x\run.bat" a "b c" d,e;f=g "h&i")",
       {LR"("C:\x\run.bat")", L"a", LR"("b c")", L"d", L"e", L"f", L"g", LR"("h&i")"},
       LR"(a "b c" d,e;f=g "h&i")"},
      {L"RUN.CMD", {L"RUN.CMD"}, L""},
      {L"run.bat. \"\" x", {L"run.bat.", L"\"\"", L"x"}, L"\"\" x"},
      {L"run.bat a & calc", {L"run.bat", L"a"}, L"a ", {L"cmd would run another command: & calc"}},
      {L"run.bat a 2>err.txt b|more",
       {L"run.bat", L"a", L"b"},
       L"a  b",
       {L"cmd would take 2>err.txt as a redirection", L"cmd would run another command: | more"}},
      {L"run.bat 100%PATH:~0,3%x",
       {L"run.bat", L"100%PATH:~0", L"3%x"},
       L"100%PATH:~0,3%x",
       {L"cmd would expand %PATH:~0,3% if PATH is set"}},
      {L"run.bat 50% %%",
       {L"run.bat", L"50%", L"%%"},
       L"50% %%",
       {L"cmd would expand % % if   is set", L"Wine's cmd would drop or expand %%, which Windows' "
                                             L"cmd passes on"}},
      {L"run.bat 50%",
       {L"run.bat", L"50%"},
       L"50%",
       {L"Wine's cmd would drop or expand %, which Windows' cmd passes on"}},
      {L"run.bat !USERNAME! a^&b",
       {L"run.bat", L"!USERNAME!", L"a&b"},
       L"!USERNAME! a&b",
       {L"cmd would expand !USERNAME! if delayed expansion is on",
        L"cmd would remove the caret of ^&",
        L"where the batch file pastes %*, cmd would run another command: & b"}},
      // What cmd starts, and what it reads of %* where a batch file forwards it in a block.
      {LR"(C:\b\x;y=z,w\rec.bat a)",
       {LR"(C:\b\x)", L"y", L"z", LR"(w\rec.bat)", L"a"},
       LR"(;y=z,w\rec.bat a)",
       {LR"(cmd would start C:\b\x, not C:\b\x;y=z,w\rec.bat, which CreateProcess names)"}},
      {LR"("C:\p\rec.bat"x a)",
       {LR"("C:\p\rec.bat"x)", L"a"},
       L"a",
       {LR"(cmd would start C:\p\rec.batx, not C:\p\rec.bat, which CreateProcess names)"}},
      {LR"("C:\p\rec.bat" a)b)",
       {LR"("C:\p\rec.bat")", L"a)b"},
       L"a)b",
       {L"where the batch file pastes %*, cmd would take ) to open or close a block"}},
      {L"run.bat >x,y >(",
       {L"run.bat", L"y"},
       L",y ",
       {L"cmd would take >x as a redirection", L"cmd would take >( as a redirection"}},
      {LR"(run.bat a\"b c)",
       {L"run.bat", LR"(a\"b c)"},
       LR"(a\"b c)",
       {L"cmd's quoting stays open after %*: a batch file would pass on whatever it writes after "
        L"%* on its line"}},
      {L"run.bat a\nb",
       {L"run.bat", L"a\nb"},
       L"a\nb",
       {L"cmd would end the line, or join the next one to it, at \n"}},
      // CreateProcess tries longer paths when the shorter one names no file; cmd reads the first.
      {LR"(C:\Program Files\run.bat x)",
       {LR"(C:\Program)", LR"(Files\run.bat)", L"x"},
       LR"(Files\run.bat x)",
       {LR"(the program is not quoted and holds a blank: CreateProcess may start C:\Program )"
        LR"(Files\run.bat through cmd, which reads the program only to its first blank)"}},
  };
  for (const ViewCase &c : cases) {
    const std::optional<text::BatchView> view = text::ViewBatchLine(c.line);
    ASSERT_TRUE(view.has_value()) << testing::PrintToString(c.line);
    EXPECT_EQ(view->parameters, c.parameters) << testing::PrintToString(c.line);
    EXPECT_EQ(view->rest, c.rest) << testing::PrintToString(c.line);
    EXPECT_EQ(view->warnings, c.warnings) << testing::PrintToString(c.line);
  }
}

TEST(BatchView, IsOnlyForABatchFile) {
  const std::wstring_view lines[] = {
      L"x.exe a&b",
      LR"("C:\Program Files\run.bat x")",
      LR"(C:\Program Files\run.exe x)",
      L"run.bats a",
      L"",
      L" run.bat",
  };
  for (const std::wstring_view line : lines)
    EXPECT_FALSE(text::ViewBatchLine(line).has_value()) << testing::PrintToString(line);
}

// The batch view: cmd's reading of the line (text/cmd_reading.h), the parameters it gives the
// batch file, and one warning for each thing it would act on.
#include "text/batch_view.h"

#include "text/cmd_reading.h"
#include "text/command_line.h"

#include <algorithm>

namespace text {

namespace {

// PATH, of %PATH% or %PATH:~0,3%.
std::wstring NameOf(std::wstring_view variable) {
  variable = variable.substr(1, variable.size() - 2);
  return std::wstring(variable.substr(0, variable.find(L':')));
}

std::wstring Warning(const CmdAct &act) {
  switch (act.kind) {
  case CmdActKind::kCommand:
    return L"cmd would run another command: " + act.text;
  case CmdActKind::kRedirection:
    return L"cmd would take " + act.text + L" as a redirection";
  case CmdActKind::kVariable:
    return L"cmd would expand " + act.text + L" if " + NameOf(act.text) + L" is set";
  case CmdActKind::kPercent:
    return L"Wine's cmd would drop or expand " + act.text + L", which Windows' cmd passes on";
  case CmdActKind::kDelayedVariable:
    return L"cmd would expand " + act.text + L" if delayed expansion is on";
  case CmdActKind::kCaret:
    return L"cmd would remove the caret of " + act.text;
  case CmdActKind::kBlock:
    return L"cmd would take " + act.text + L" to open or close a block";
  case CmdActKind::kLineEnd:
    return L"cmd would end the line, or join the next one to it, at " + act.text;
  case CmdActKind::kOpenQuote:
    return L"cmd's quoting stays open after %*: a batch file would pass on whatever it writes "
           L"after %* on its line";
  }
  return {};
}

// A longer path than the program, up to a later blank or the end of an unquoted line, that names
// a batch file: CreateProcess tries each in turn when the shorter ones name no file.
std::optional<std::wstring_view> FurtherBatchFile(std::wstring_view line, std::size_t program) {
  if (line.empty() || line[0] == L'"' || IsBlank(line[0]))
    return std::nullopt;
  for (std::size_t end = program + 1; end <= line.size(); ++end) {
    if (end < line.size() && line[end] == L'"')
      return std::nullopt;
    if ((end == line.size() || IsBlank(line[end])) && !IsBlank(line[end - 1]) &&
        IsBatchFile(line.substr(0, end)))
      return line.substr(0, end);
  }
  return std::nullopt;
}

// The program cmd starts: %0 without its quotes (it ends at a delimiter, and runs on past a
// closing quote).
std::wstring CmdProgram(const BatchView &view) {
  return view.parameters.empty() ? std::wstring() : Unquoted(view.parameters[0]);
}

} // namespace

std::optional<BatchView> ViewBatchLine(std::wstring_view line) {
  const std::vector<std::wstring> elements = SplitCommandLine(line, SplitRules::kRecorder);
  if (elements.empty())
    return std::nullopt;
  const std::optional<std::wstring_view> further = FurtherBatchFile(line, elements[0].size());
  if (!IsBatchFile(elements[0]) && !further)
    return std::nullopt;
  const CmdReading read = ReadCmdLine(line, CmdLineKind::kCommandLine);
  BatchParameters split = SplitBatchParameters(read.command);
  BatchView view = {.parameters = std::move(split.parameters), .rest = std::move(split.rest)};
  for (const CmdAct &act : read.acts)
    view.warnings.push_back(Warning(act));
  // A batch file that forwards %* pastes it into a line of its own, maybe inside a block.
  for (const CmdAct &act : ReadCmdLine(view.rest, CmdLineKind::kForwarded).acts)
    if (std::none_of(read.acts.begin(), read.acts.end(), [&](const CmdAct &seen) {
          return seen.kind == act.kind && seen.text == act.text;
        }))
      view.warnings.push_back(L"where the batch file pastes %*, " + Warning(act));
  if (further) {
    view.warnings.push_back(
        L"the program is not quoted and holds a blank: CreateProcess may start " +
        std::wstring(*further) + L" through cmd, which reads the program only to its first blank");
  } else if (const std::wstring started = CmdProgram(view); started != elements[0]) {
    view.warnings.push_back(L"cmd would start " + started + L", not " + elements[0] +
                            L", which CreateProcess names");
  }
  return view;
}

} // namespace text

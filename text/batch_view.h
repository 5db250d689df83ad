// What a batch file receives from a command line that starts it, as cmd gives it, and what cmd
// would act on in that line: the batch view that --split adds for a batch file.
#ifndef TARNWHISTLE_TEXT_BATCH_VIEW_H
#define TARNWHISTLE_TEXT_BATCH_VIEW_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace text {

struct BatchView {
  std::vector<std::wstring> parameters = {}; // %0 first, then every one cmd splits off, quotes kept
  std::wstring rest = {};                    // %*
  // One line of English for each thing cmd would act on, or that could start another batch file,
  // in the order met; to be shown through text::Visible or text::JsonString, as it may hold any
  // unit of the line.
  std::vector<std::wstring> warnings = {};
};

// The view of a CreateProcess command line whose element 0 (by the recorder's splitter) is a batch
// file, or whose unquoted program CreateProcess could read as a longer path that is one; nothing
// for any other line. cmd reads it as the line of cmd /c "LINE" with the outer quotes stripped
// (Wine always strips them, and Windows does for every line that holds another quote, a special
// character, no blank, or no file of its whole name); nothing in it is expanded.
std::optional<BatchView> ViewBatchLine(std::wstring_view line);

} // namespace text

#endif

// The fuzzers' own model of what a batch file receives from a line that starts it, written apart
// from the code under test.
#ifndef TARNWHISTLE_TESTS_FUZZ_BATCH_MODEL_H
#define TARNWHISTLE_TESTS_FUZZ_BATCH_MODEL_H

#include <optional>
#include <string>
#include <string_view>

namespace fuzz {

// What a batch file gets as %* from a line that starts it, and pastes where it forwards %*: the
// text after the quoted program and a blank, when the line holds no % (which cmd may expand),
// nothing that ends it, no & | < > ^ ( ) outside cmd's quoting (which every quote toggles), and
// that quoting closed at the end, so that cmd acts on nothing in it wherever it is pasted. The
// quoted program gives the line more than two quotes, which cmd strips at the ends whichever
// rule of cmd /? it takes.
inline std::optional<std::wstring> BatchRest(const std::wstring &line,
                                             const std::wstring &program) {
  const std::wstring head = L"\"" + program + L"\"";
  if (line.compare(0, head.size(), head) != 0 ||
      (line.size() > head.size() && line[head.size()] != L' '))
    return std::nullopt;
  bool quoted = false;
  for (const wchar_t unit : line) {
    if (std::wstring_view(L"%\r\n\x1A").find(unit) != std::wstring_view::npos ||
        (!quoted && std::wstring_view(L"&|<>^()").find(unit) != std::wstring_view::npos))
      return std::nullopt;
    if (unit == L'"')
      quoted = !quoted;
  }
  if (quoted)
    return std::nullopt;
  return line.size() > head.size() ? line.substr(head.size() + 1) : std::wstring();
}

} // namespace fuzz

#endif

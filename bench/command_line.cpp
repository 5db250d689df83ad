// Times splitting a longest command line (32,767 units) by both rule sets, and that with quoting
// its list in each form and reading the line back by both rule sets, in CPU time. Prints one
// Markdown table row per kind of line: microseconds, the median of the runs.
#include "text/quote.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kLength = 32'767;

double CpuMicroseconds() {
  timespec now;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return now.tv_sec * 1e6 + now.tv_nsec / 1e3;
}

// A line of the given pieces repeated to exactly kLength units.
std::wstring LineOf(const std::wstring &piece) {
  std::wstring line = L"p";
  while (line.size() < kLength)
    line += piece;
  line.resize(kLength);
  return line;
}

template <typename Work> double Median(int rounds, Work work) {
  std::vector<double> times;
  for (int i = 0; i < rounds; ++i) {
    const double start = CpuMicroseconds();
    work();
    times.push_back(CpuMicroseconds() - start);
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

} // namespace

int main(int argc, char **argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
  const struct {
    const char *name;
    std::wstring line;
  } lines[] = {
      {"one-letter arguments", LineOf(L" a")},
      {"quotes, backslashes, blanks", LineOf(L" \"a\\\\\"\" b\\\\\\\"c & %d\"")},
      {"one argument", LineOf(L"x")},
  };
  std::size_t sink = 0;
  for (const auto &[name, line] : lines) {
    const double split = Median(rounds, [&, &line = line] {
      for (const text::SplitRules rules : {text::SplitRules::kRecorder, text::SplitRules::kRuntime})
        sink += text::SplitCommandLine(line, rules).size();
    });
    const std::vector<std::wstring> list =
        text::SplitCommandLine(line, text::SplitRules::kRecorder);
    std::printf("| %s | %zu | %.0f |", name, list.size(), split);
    // Quoting in one form, and reading the line back by both rule sets as the reader does.
    for (const text::QuoteForm form :
         {text::QuoteForm::kCreateProcess, text::QuoteForm::kCmd, text::QuoteForm::kSh}) {
      const double quote = Median(rounds, [&] {
        const text::QuotedLine quoted = text::QuoteCommandLine(list, form);
        sink += quoted.line.size() + text::LineDelivers(quoted.line, list, form);
      });
      std::printf(" %.0f |", split + quote);
    }
    std::printf("\n");
  }
  return sink == 0;
}

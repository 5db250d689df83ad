// Reading a log back.
//
// A reading cuts the text after the byte-order mark into lines at some of its CR LFs so that:
//  1. the first line is "Program = " and element 0, which may hold anything, CR LF included;
//  2. line i after it is "ARG[i] = " and a value, with i counting up from 1; a value is the
//     argument when it holds no space, and the argument between double quotes when it does;
//  3. a whole record ends with "ReturnCode = " and a number, which must be the status for the
//     count of arguments.
// The program line ends at its first CR LF. Only when no reading fits that way are longer program
// lines considered, and then every place where it could end counts. When no reading of a whole
// record gives its return code, the readings with the program line ending at its first CR LF are
// taken whatever their count, and the reading says that the count disagrees (a program line
// running to the end would otherwise make anything a record). Two or more readings fitting make
// the file ambiguous; the one shown takes at each line the nearest next line that leads to one.
//
// A record cut short (no return-code line at its end) ends where the cut left off: text after the
// last CR LF that is only the start of a line's prefix is dropped, a CR cut from its LF too, and
// the last value may have lost its closing quote.
//
// Counting: every argument line holds "] = ", so a value without quotes, which holds no space, can
// only run to the very next candidate line, while a value in quotes runs to any candidate of the
// next index that starts past the value's first space and has a quote before its CR LF. So the
// readings from a candidate are those that close the record there, plus the next candidate's when
// no space comes first, plus the quoted followers' when the value opens with a quote: one pass
// from the highest index down, with sums over each index's candidates in file order.
#include "reader/reading.h"

#include "recorder/exit_status.h"
#include "recorder/record.h"
#include "text/codec.h"

#include <algorithm>
#include <limits>
#include <numeric>

namespace {

constexpr std::size_t kNone = std::wstring_view::npos;

// From a value's closing quote to the first unit of the line after it.
constexpr std::size_t kQuoteToNextLine = 1 + kLineEnd.size();

// The most digits of a number in the record: those of the largest 32-bit status.
constexpr std::size_t kMostDigits = std::numeric_limits<std::int32_t>::digits10 + 1;

// The first half of a line break, where a cut may have left it alone.
constexpr wchar_t kCarriageReturn = kLineEnd.front();

// A place where an argument line may begin: "ARG[", an index and "] = " right after a CR LF.
struct Candidate {
  std::uint32_t index;
  std::size_t start;      // the line's first unit
  std::size_t value;      // the value's first unit
  std::size_t firstSpace; // the first space at or after the value; kNone when there is none
  std::size_t nextInFile; // the candidate that starts next in the file; kNone for the last
};

// Where the values end, and what the end demands of the last one.
struct Ending {
  std::size_t end;                        // one past the last value
  bool cut;                               // the last value may have lost its closing quote
  std::optional<std::int32_t> returnCode; // when set, the count must give this status
};

bool IsDigit(wchar_t unit) { return unit >= L'0' && unit <= L'9'; }

// A number as the record writes it: plain decimal without leading zeros, within 32 signed bits.
std::optional<std::uint32_t> Decimal(std::wstring_view digits) {
  if (digits.empty() || digits.size() > kMostDigits || (digits[0] == L'0' && digits.size() > 1) ||
      !std::all_of(digits.begin(), digits.end(), IsDigit))
    return std::nullopt;
  std::uint64_t value = 0;
  for (const wchar_t digit : digits)
    value = value * 10 + static_cast<std::uint64_t>(digit - L'0');
  if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
    return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

std::size_t DigitsFrom(std::wstring_view units, std::size_t at) {
  std::size_t end = at;
  while (end < units.size() && end - at <= kMostDigits && IsDigit(units[end]))
    ++end;
  return end;
}

// Every candidate line, sorted by index and, within an index, by where it starts.
std::vector<Candidate> FindCandidates(std::wstring_view units) {
  std::vector<Candidate> found;
  for (std::size_t at = units.find(kLineEnd); at != kNone; at = units.find(kLineEnd, at + 1)) {
    const std::size_t start = at + kLineEnd.size();
    if (units.substr(start, kArgumentLinePrefix.size()) != kArgumentLinePrefix)
      continue;
    const std::size_t digits = start + kArgumentLinePrefix.size();
    const std::size_t after = DigitsFrom(units, digits);
    const std::optional<std::uint32_t> index = Decimal(units.substr(digits, after - digits));
    if (index && *index > 0 &&
        units.substr(after, kArgumentValueSeparator.size()) == kArgumentValueSeparator)
      found.push_back({*index, start, after + kArgumentValueSeparator.size(), kNone, kNone});
  }
  // A value's first space comes before the next candidate's "] = " ends, so the searches
  // together read the text once.
  for (std::size_t i = 0; i < found.size(); ++i) {
    const std::size_t limit = i + 1 < found.size() ? found[i + 1].value : units.size();
    found[i].firstSpace = units.substr(0, limit).find(kSpace, found[i].value);
  }
  std::vector<std::size_t> order(found.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  // In file order the indexes count up, unless values forge lines.
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return found[a].index < found[b].index; });
  std::vector<std::size_t> sortedAt(found.size());
  for (std::size_t i = 0; i < order.size(); ++i)
    sortedAt[order[i]] = i;
  std::vector<Candidate> sorted(found.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    sorted[i] = found[order[i]];
    sorted[i].nextInFile = order[i] + 1 < found.size() ? sortedAt[order[i] + 1] : kNone;
  }
  return sorted;
}

// The readings of a file with one ending: how many lead from each candidate to the end.
struct Counts {
  std::wstring_view units;
  const std::vector<Candidate> &lines;
  Ending ending;
  std::vector<std::size_t> indexEnd; // one past the last candidate of the same index
  std::vector<std::uint64_t> ways;   // readings from each candidate, at most kManyReadings
  // Readings from the candidates of the same index at or after each one (in file order) that
  // have a quote before their line break: the followers of a value in quotes.
  std::vector<std::uint64_t> quotedFrom;
};

std::uint64_t Capped(std::uint64_t count) { return std::min(count, kManyReadings); }

bool QuoteBefore(const Counts &c, std::size_t line) {
  const std::size_t start = c.lines[line].start;
  return start >= kQuoteToNextLine && c.units[start - kQuoteToNextLine] == kQuote;
}

// Whether the status for this many arguments is the return code the ending demands.
bool GivesReturnCode(const Ending &ending, std::size_t arguments) {
  return !ending.returnCode ||
         ComputeExitStatus(static_cast<std::int32_t>(std::min<std::size_t>(arguments, 1 << 30)) +
                           1) == *ending.returnCode;
}

// Whether the line's value can run to the end and close the record.
bool Closes(const Counts &c, std::size_t line) {
  const Candidate &candidate = c.lines[line];
  const std::size_t end = c.ending.end;
  if (candidate.value > end || !GivesReturnCode(c.ending, candidate.index))
    return false;
  return candidate.firstSpace >= end ||
         (c.units[candidate.value] == kQuote && (c.ending.cut || c.units[end - 1] == kQuote));
}

// The next candidate in the file when a value without quotes can run to it; kNone otherwise.
std::size_t UnquotedFollower(const Counts &c, std::size_t line) {
  const Candidate &candidate = c.lines[line];
  const std::size_t next = candidate.nextInFile;
  if (next == kNone || c.lines[next].index != candidate.index + 1 ||
      candidate.firstSpace < c.lines[next].start)
    return kNone;
  return next;
}

// The candidates [first, last) of the next index that a value in quotes can run to, those with a
// quote before them among them; empty when the value does not open with a quote.
std::pair<std::size_t, std::size_t> QuotedFollowers(const Counts &c, std::size_t line) {
  const Candidate &candidate = c.lines[line];
  const std::size_t next = c.indexEnd[line];
  if (next == c.lines.size() || c.lines[next].index != candidate.index + 1 ||
      candidate.firstSpace == kNone || c.units[candidate.value] != kQuote)
    return {next, next};
  const std::size_t last = c.indexEnd[next];
  const auto first = std::lower_bound(
      c.lines.begin() + static_cast<std::ptrdiff_t>(next),
      c.lines.begin() + static_cast<std::ptrdiff_t>(last), candidate.firstSpace + kQuoteToNextLine,
      [](const Candidate &follower, std::size_t start) { return follower.start < start; });
  return {static_cast<std::size_t>(first - c.lines.begin()), last};
}

std::uint64_t QuotedFrom(const Counts &c, std::size_t line, std::size_t last) {
  return line < last ? c.quotedFrom[line] : 0;
}

Counts Count(std::wstring_view units, const std::vector<Candidate> &lines, const Ending &ending) {
  Counts c{units, lines, ending, {}, {}, {}};
  const std::size_t count = lines.size();
  c.indexEnd.resize(count);
  c.ways.assign(count, 0);
  c.quotedFrom.assign(count, 0);
  // From the last candidate back: those of the next index, which may follow, are counted first.
  for (std::size_t line = count; line-- > 0;) {
    const bool lastOfIndex = line + 1 == count || lines[line + 1].index != lines[line].index;
    c.indexEnd[line] = lastOfIndex ? line + 1 : c.indexEnd[line + 1];
    std::uint64_t ways = Closes(c, line) ? 1 : 0;
    if (const std::size_t next = UnquotedFollower(c, line); next != kNone)
      ways += c.ways[next];
    const auto [first, last] = QuotedFollowers(c, line);
    ways += QuotedFrom(c, first, last);
    c.ways[line] = Capped(ways);
    c.quotedFrom[line] =
        (QuoteBefore(c, line) ? c.ways[line] : 0) + QuotedFrom(c, line + 1, c.indexEnd[line]);
  }
  return c;
}

// The first candidate in [from, last) with a quote before it that leads to a reading; kNone when
// there is none. Found by halving: a forged file may hold many that lead nowhere.
std::size_t FirstQuotedReadable(const Counts &c, std::size_t from, std::size_t last) {
  const std::uint64_t total = QuotedFrom(c, from, last);
  if (total == 0)
    return kNone;
  // quotedFrom falls, over [from, last), exactly after each candidate that counts.
  std::size_t low = from, high = last - 1;
  while (low < high) {
    const std::size_t middle = low + (high - low + 1) / 2;
    if (c.quotedFrom[middle] == total)
      low = middle;
    else
      high = middle - 1;
  }
  return low;
}

// Where the program line may end: at candidates [first, last) of index 1 that lead to a reading,
// or with the record's end when alone is set. Follows the presumption that it ends at its first
// CR LF, unless nothing then fits.
struct ProgramEnds {
  std::size_t first, last;
  bool alone;
  std::uint64_t readings;
};

ProgramEnds WhereTheProgramEnds(const Counts &c, bool longerProgramLines) {
  const std::size_t ones = c.lines.empty() || c.lines[0].index != 1 ? 0 : c.indexEnd[0];
  const auto readingsFrom = [&](std::size_t first, std::size_t last) {
    std::uint64_t total = 0;
    for (std::size_t line = first; line < last; ++line)
      total += c.ways[line];
    return total;
  };
  const bool aloneFits = GivesReturnCode(c.ending, 0);
  const std::size_t firstBreak = c.units.find(kLineEnd, kProgramLinePrefix.size());
  if (firstBreak == kNone || firstBreak >= c.ending.end) {
    if (aloneFits)
      return {0, 0, true, 1};
  } else {
    const auto at = std::lower_bound(
        c.lines.begin(), c.lines.begin() + static_cast<std::ptrdiff_t>(ones),
        firstBreak + kLineEnd.size(),
        [](const Candidate &line, std::size_t start) { return line.start < start; });
    const auto first = static_cast<std::size_t>(at - c.lines.begin());
    const std::size_t last =
        first < ones && c.lines[first].start == firstBreak + kLineEnd.size() ? first + 1 : first;
    if (const std::uint64_t readings = readingsFrom(first, last); readings > 0)
      return {first, last, false, readings};
  }
  if (!longerProgramLines)
    return {0, 0, false, 0};
  return {0, ones, aloneFits, Capped(readingsFrom(0, ones) + (aloneFits ? 1 : 0))};
}

// Where a reading goes at one line: on to the next line without quotes, on to a quoted follower,
// or to the end. In that order of preference, each only where it leads to a reading.
enum class Step { Unquoted, Quoted, Close, None };

struct Choice {
  Step step;
  std::size_t next; // the line it goes on to
};

// The first choice at the line from (step, from) on; quoted followers are tried from `from`.
Choice ChoiceFrom(const Counts &c, std::size_t line, Step step, std::size_t from) {
  const auto [first, last] = QuotedFollowers(c, line);
  switch (step) {
  case Step::Unquoted:
    if (const std::size_t next = UnquotedFollower(c, line); next != kNone && c.ways[next] > 0)
      return {Step::Unquoted, next};
    from = first;
    [[fallthrough]];
  case Step::Quoted:
    if (const std::size_t next = FirstQuotedReadable(c, std::max(from, first), last); next != kNone)
      return {Step::Quoted, next};
    [[fallthrough]];
  case Step::Close:
    if (Closes(c, line))
      return {Step::Close, kNone};
    [[fallthrough]];
  case Step::None:
    break;
  }
  return {Step::None, kNone};
}

Choice ChoiceAfter(const Counts &c, std::size_t line, const Choice &choice) {
  switch (choice.step) {
  case Step::Unquoted:
    return ChoiceFrom(c, line, Step::Quoted, 0);
  case Step::Quoted:
    return ChoiceFrom(c, line, Step::Quoted, choice.next + 1);
  default:
    return {Step::None, kNone};
  }
}

// The argument a value stands for: one holding a space lost its quotes (a cut one maybe only the
// first).
WideString Unquoted(std::wstring_view value) {
  if (value.find(kSpace) == kNone || value.front() != kQuote)
    return WideString(value);
  value.remove_prefix(1);
  if (!value.empty() && value.back() == kQuote)
    value.remove_suffix(1);
  return WideString(value);
}

// The program and arguments of one path: the line the program goes on to (kNone when alone), then
// the choice made at each line.
ArgumentList ListOf(const Counts &c, std::size_t firstLine, const std::vector<Choice> &choices) {
  ArgumentList list;
  const std::size_t programEnd =
      firstLine == kNone ? c.ending.end : c.lines[firstLine].start - kLineEnd.size();
  list.program = c.units.substr(kProgramLinePrefix.size(), programEnd - kProgramLinePrefix.size());
  std::size_t line = firstLine;
  for (const Choice &choice : choices) {
    const std::size_t valueEnd =
        choice.step == Step::Close ? c.ending.end : c.lines[choice.next].start - kLineEnd.size();
    const std::size_t value = c.lines[line].value;
    list.arguments.push_back(Unquoted(c.units.substr(value, valueEnd - value)));
    line = choice.next;
  }
  return list;
}

// The first readings in order of preference, at most `wanted` of them: depth first, taking at each
// line the choices in order, each of which leads to at least one reading.
std::vector<ArgumentList> FirstReadings(const Counts &c, const ProgramEnds &ends,
                                        std::size_t wanted) {
  std::vector<ArgumentList> found;
  const auto firstReadable = [&](std::size_t from) {
    while (from < ends.last && c.ways[from] == 0)
      ++from;
    return from;
  };
  std::vector<Choice> path;
  for (std::size_t start = firstReadable(ends.first); found.size() < wanted;
       start = firstReadable(start + 1)) {
    if (start == ends.last) {
      if (ends.alone)
        found.push_back(ListOf(c, kNone, {}));
      break;
    }
    // Go down the first choices to the end, then take the next choice at the deepest line that
    // has one, and so on until this start has no more.
    path.assign(1, ChoiceFrom(c, start, Step::Unquoted, 0));
    while (!path.empty() && found.size() < wanted) {
      while (path.back().step != Step::Close)
        path.push_back(ChoiceFrom(c, path.back().next, Step::Unquoted, 0));
      found.push_back(ListOf(c, start, path));
      while (!path.empty()) {
        const std::size_t line = path.size() == 1 ? start : path[path.size() - 2].next;
        path.back() = ChoiceAfter(c, line, path.back());
        if (path.back().step != Step::None)
          break;
        path.pop_back();
      }
    }
  }
  return found;
}

// Reads the lines with this ending; a reading of no readings when none fits. A return code that
// the count need not give allows no longer program lines.
Reading ReadLines(std::wstring_view units, const std::vector<Candidate> &lines,
                  const Ending &ending, bool countMustAgree) {
  const Counts counts = Count(units, lines, ending);
  const ProgramEnds ends = WhereTheProgramEnds(counts, countMustAgree);
  Reading reading;
  reading.readings = ends.readings;
  reading.ambiguous = ends.readings > 1;
  if (ends.readings == 0)
    return reading;
  reading.fitting = FirstReadings(counts, ends, reading.ambiguous ? kReadingsKept : 1);
  reading.program = reading.fitting.front().program;
  reading.arguments = reading.fitting.front().arguments;
  reading.returnCode = ending.returnCode;
  return reading;
}

// The return-code line that ends the text, if it does: where it starts and its number.
std::optional<std::pair<std::size_t, std::int32_t>> ReturnCodeAtEnd(std::wstring_view units) {
  if (!units.ends_with(kLineEnd))
    return std::nullopt;
  const std::size_t before = units.rfind(kLineEnd, units.size() - kLineEnd.size() - 1);
  if (before == kNone)
    return std::nullopt;
  const std::size_t start = before + kLineEnd.size();
  const std::wstring_view line = units.substr(start, units.size() - kLineEnd.size() - start);
  if (!line.starts_with(kReturnCodeLinePrefix))
    return std::nullopt;
  const std::optional<std::uint32_t> code = Decimal(line.substr(kReturnCodeLinePrefix.size()));
  if (!code)
    return std::nullopt;
  return std::pair{start, static_cast<std::int32_t>(*code)};
}

// Whether the text after the last CR LF is only the start of the next line: a prefix, with its
// digits, or the whole return-code line cut inside its CR LF.
bool IsCutLineStart(std::wstring_view tail) {
  if (kArgumentLinePrefix.starts_with(tail) || kReturnCodeLinePrefix.starts_with(tail))
    return true;
  if (tail.starts_with(kReturnCodeLinePrefix)) {
    tail.remove_prefix(kReturnCodeLinePrefix.size());
    if (tail.ends_with(kCarriageReturn))
      tail.remove_suffix(1);
    return std::all_of(tail.begin(), tail.end(), IsDigit);
  }
  if (!tail.starts_with(kArgumentLinePrefix))
    return false;
  const std::size_t digits = DigitsFrom(tail, kArgumentLinePrefix.size());
  if (digits == kArgumentLinePrefix.size() && digits < tail.size())
    return false;
  tail.remove_prefix(digits);
  return tail.size() < kArgumentValueSeparator.size() && kArgumentValueSeparator.starts_with(tail);
}

Ending CutEnding(std::wstring_view units) {
  const std::size_t lastBreak = units.rfind(kLineEnd);
  const std::wstring_view tail =
      lastBreak == kNone ? units : units.substr(lastBreak + kLineEnd.size());
  if (lastBreak != kNone && IsCutLineStart(tail))
    return {lastBreak, false, std::nullopt};
  // A CR at the very end is most likely the first half of a line break.
  return {units.ends_with(kCarriageReturn) ? units.size() - 1 : units.size(), true, std::nullopt};
}

// UTF-16 text shows a zero in every other byte.
bool ZeroEvery2nd(std::string_view bytes, std::size_t offset) {
  const std::size_t checked = std::min<std::size_t>(bytes.size(), 512) & ~std::size_t{1};
  if (checked < 2)
    return false;
  for (std::size_t i = offset; i < checked; i += 2)
    if (bytes[i] != '\0' || bytes[i + 1 - 2 * offset] == '\0')
      return false;
  return true;
}

// Why bytes that do not open like a record are none.
std::string Unrecognised(std::string_view bytes) {
  if (bytes.empty())
    return "an empty file";
  if (bytes.size() > kLargestLog)
    return "larger than any record";
  if (bytes.starts_with("\xEF\xBB\xBF"))
    return "UTF-8 text, not a UTF-16 record";
  if (bytes.starts_with("\xFE\xFF"))
    return "big-endian UTF-16, not a record";
  const std::string_view mark(reinterpret_cast<const char *>(kByteOrderMark),
                              sizeof kByteOrderMark);
  if (mark.starts_with(bytes.substr(0, mark.size())))
    return "";
  if (ZeroEvery2nd(bytes, 1))
    return "UTF-16 text without a byte-order mark, not a record";
  if (ZeroEvery2nd(bytes, 0))
    return "big-endian UTF-16 text without a byte-order mark, not a record";
  const bool binary = bytes.substr(0, 4096).find('\0') != std::string_view::npos;
  return binary ? "binary data, not a record" : "text without a UTF-16 byte-order mark";
}

} // namespace

bool Certain(const Reading &reading) {
  return reading.complete && reading.countAgrees && !reading.ambiguous;
}

ReadOutcome ReadRecord(std::string_view bytes) {
  ReadOutcome outcome;
  outcome.problem = Unrecognised(bytes);
  if (!outcome.problem.empty())
    return outcome;
  const WideString text =
      text::UnitsOfLittleEndian(bytes.substr(std::min(bytes.size(), sizeof kByteOrderMark)));
  const std::wstring_view units = text;
  if (!units.starts_with(kProgramLinePrefix)) {
    if (!kProgramLinePrefix.starts_with(units)) {
      outcome.problem = "no program line after the byte-order mark";
      return outcome;
    }
    // Cut before the program line's prefix ends: nothing is known but that.
    outcome.reading.readings = 1;
    outcome.reading.fitting.emplace_back();
    return outcome;
  }
  const std::vector<Candidate> lines = FindCandidates(units);
  Reading reading;
  if (const auto returnCode = ReturnCodeAtEnd(units)) {
    if (bytes.size() % 2 != 0) {
      outcome.problem = "a stray byte after its return-code line";
      return outcome;
    }
    const std::size_t end = returnCode->first - kLineEnd.size();
    reading = ReadLines(units, lines, {end, false, returnCode->second}, true);
    reading.countAgrees = reading.readings > 0;
    if (!reading.countAgrees) {
      reading = ReadLines(units, lines, {end, false, std::nullopt}, false);
      reading.returnCode = returnCode->second;
    }
    reading.complete = true;
  } else {
    reading = ReadLines(units, lines, CutEnding(units), true);
  }
  if (reading.readings == 0) {
    outcome.problem = "its lines do not follow the record's format";
    return outcome;
  }
  outcome.reading = std::move(reading);
  return outcome;
}

std::string RecordBytes(std::wstring_view program, const std::vector<WideString> &arguments) {
  WideString units = ProgramLine(program);
  for (std::size_t i = 0; i < arguments.size(); ++i)
    units += ArgumentLine(i + 1, arguments[i]);
  const auto count = static_cast<std::int32_t>(std::min<std::size_t>(arguments.size(), 1 << 30));
  units += ReturnCodeLine(ComputeExitStatus(count + 1));
  return std::string(std::begin(kByteOrderMark), std::end(kByteOrderMark)) +
         text::LittleEndianBytes(units);
}

bool ShowsExactly(std::string_view bytes, const Reading &reading,
                  const std::vector<WideString> &expected) {
  return Certain(reading) && reading.arguments == expected &&
         bytes == RecordBytes(reading.program, expected);
}

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
// A whole record that no reading fits is refused at its first line off the format: lines are
// counted at every CR LF, and it is the first at whose end the text no longer reads as a record
// cut there with the program line ending at its first CR LF.
//
// Counting: every argument line holds "] = ", so a value without quotes, which holds no space, can
// only run to the very next candidate line, while a value in quotes runs to any candidate of the
// next index that starts past the value's first space and has a quote before its CR LF. So the
// readings from a candidate are those that close the record there, plus the next candidate's when
// no space comes first, plus the quoted followers' when the value opens with a quote: one pass
// from the highest index down, with sums over each index's candidates in file order.
//
// Memory: the text is read in place from the file's bytes, and everything until the readings
// kept are copied out is a place in it, in 32 bits.
#include "reader/reading.h"

#include "recorder/exit_status.h"
#include "recorder/record.h"
#include "text/codec.h"
#include "text/escape.h"
#include "text/little_endian.h"

#include <algorithm>
#include <cstdio>
#include <limits>

namespace reader {

// The record's own literals and its status rule, which reading it takes apart.
using recorder::ArgumentLine;
using recorder::ComputeExitStatus;
using recorder::kArgumentLinePrefix;
using recorder::kArgumentValueSeparator;
using recorder::kByteOrderMark;
using recorder::kLineEnd;
using recorder::kProgramLinePrefix;
using recorder::kQuote;
using recorder::kReturnCodeLinePrefix;
using recorder::kSpace;
using recorder::ProgramLine;
using recorder::ReturnCodeLine;

namespace {

using text::LittleEndianUnits;

constexpr std::size_t kNotFound = LittleEndianUnits::npos;

// No candidate, or no unit, where a place is kept in 32 bits.
constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();
static_assert(kLargestLog / 2 < kNone, "every unit of a record has a 32-bit place");

// The space that makes a value one in quotes, as text to search for.
constexpr std::wstring_view kSpaceText(&kSpace, 1);

// From a value's closing quote to the first unit of the line after it.
constexpr std::size_t kQuoteToNextLine = 1 + kLineEnd.size();

// The most digits of a number in the record: those of the largest 32-bit status.
constexpr std::size_t kMostDigits = std::numeric_limits<std::int32_t>::digits10 + 1;

// The first half of a line break, where a cut may have left it alone.
constexpr std::wstring_view kCarriageReturn = kLineEnd.substr(0, 1);

std::uint32_t Place(std::size_t at) {
  return at == kNotFound ? kNone : static_cast<std::uint32_t>(at);
}

// A place where an argument line may begin: "ARG[", an index and "] = " right after a CR LF.
struct Candidate {
  std::uint32_t index;
  std::uint32_t start;      // the line's first unit
  std::uint32_t value;      // the value's first unit
  std::uint32_t firstSpace; // the first space at or after the value; kNone when there is none
  std::uint32_t nextInFile; // the candidate that starts next in the file; kNone for the last
};

// Where the values end, and what the end demands of the last one.
struct Ending {
  std::size_t end;                        // one past the last value
  bool cut;                               // the last value may have lost its closing quote
  std::optional<std::int32_t> returnCode; // when set, the count must give this status
};

bool IsDigit(wchar_t unit) { return unit >= L'0' && unit <= L'9'; }

// A number as the record writes it: plain decimal without leading zeros, within 32 signed bits.
std::optional<std::uint32_t> Decimal(LittleEndianUnits digits) {
  if (digits.empty() || digits.size() > kMostDigits || (digits[0] == L'0' && digits.size() > 1))
    return std::nullopt;
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (!IsDigit(digits[i]))
      return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(digits[i] - L'0');
  }
  if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
    return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

std::size_t DigitsFrom(LittleEndianUnits units, std::size_t at) {
  std::size_t end = at;
  while (end < units.size() && end - at <= kMostDigits && IsDigit(units[end]))
    ++end;
  return end;
}

// The candidate line that starts after the CR LF at `at`, if there is one; nextInFile not set.
std::optional<Candidate> CandidateAfter(LittleEndianUnits units, std::size_t at) {
  const std::size_t start = at + kLineEnd.size();
  if (!units.substr(start).starts_with(kArgumentLinePrefix))
    return std::nullopt;
  const std::size_t digits = start + kArgumentLinePrefix.size();
  const std::size_t after = DigitsFrom(units, digits);
  const std::optional<std::uint32_t> index = Decimal(units.substr(digits, after - digits));
  if (!index || *index == 0 || !units.substr(after).starts_with(kArgumentValueSeparator))
    return std::nullopt;
  return Candidate{*index, Place(start), Place(after + kArgumentValueSeparator.size()), kNone,
                   kNone};
}

// Sets each candidate's first space, the candidates in file order.
void FindFirstSpaces(LittleEndianUnits units, std::vector<Candidate> &found) {
  // A value's first space comes before the next candidate's "] = " ends, so the searches
  // together read the text once.
  for (std::size_t i = 0; i < found.size(); ++i) {
    const std::size_t limit = i + 1 < found.size() ? found[i + 1].value : units.size();
    found[i].firstSpace = Place(units.substr(0, limit).find(kSpaceText, found[i].value));
  }
}

// Sorts the candidates, in file order, by index and then by start, and links each to the one
// after it in the file.
void SortByIndex(std::vector<Candidate> &found) {
  const auto before = [](const Candidate &a, const Candidate &b) {
    return a.index != b.index ? a.index < b.index : a.start < b.start;
  };
  // In file order the indexes count up, unless values forge lines.
  if (std::is_sorted(found.begin(), found.end(), before)) {
    for (std::size_t i = 0; i < found.size(); ++i)
      found[i].nextInFile = i + 1 < found.size() ? Place(i + 1) : kNone;
    return;
  }
  // Until sorted, nextInFile holds the candidate's own place in file order.
  for (std::size_t i = 0; i < found.size(); ++i)
    found[i].nextInFile = Place(i);
  std::sort(found.begin(), found.end(), before);
  std::vector<std::uint32_t> sortedAt(found.size());
  for (std::size_t i = 0; i < found.size(); ++i)
    sortedAt[found[i].nextInFile] = Place(i);
  for (Candidate &candidate : found)
    candidate.nextInFile = candidate.nextInFile + std::size_t{1} < found.size()
                               ? sortedAt[candidate.nextInFile + 1]
                               : kNone;
}

// Every candidate line, sorted by index and, within an index, by where it starts.
std::vector<Candidate> FindCandidates(LittleEndianUnits units) {
  // A line break and the argument line's prefix start each candidate. They are counted first, so
  // that the list, millions long in a forged file, is allocated once.
  const WideString start = WideString(kLineEnd) + WideString(kArgumentLinePrefix);
  std::size_t count = 0;
  for (std::size_t at = units.find(start); at != kNotFound; at = units.find(start, at + 1))
    ++count;
  std::vector<Candidate> found;
  found.reserve(count);
  for (std::size_t at = units.find(start); at != kNotFound; at = units.find(start, at + 1))
    if (const std::optional<Candidate> candidate = CandidateAfter(units, at))
      found.push_back(*candidate);
  FindFirstSpaces(units, found);
  SortByIndex(found);
  return found;
}

// The readings of a file with one ending: how many lead from each candidate to the end.
struct Counts {
  LittleEndianUnits units;
  const std::vector<Candidate> &lines;
  Ending ending;
  std::vector<std::uint32_t> indexEnd; // one past the last candidate of the same index
  std::vector<std::uint32_t> ways;     // readings from each candidate, at most kManyReadings
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
std::uint32_t UnquotedFollower(const Counts &c, std::size_t line) {
  const Candidate &candidate = c.lines[line];
  const std::uint32_t next = candidate.nextInFile;
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
      c.lines.begin() + static_cast<std::ptrdiff_t>(last),
      std::size_t{candidate.firstSpace} + kQuoteToNextLine,
      [](const Candidate &follower, std::size_t start) { return follower.start < start; });
  return {static_cast<std::size_t>(first - c.lines.begin()), last};
}

std::uint64_t QuotedFrom(const Counts &c, std::size_t line, std::size_t last) {
  return line < last ? c.quotedFrom[line] : 0;
}

Counts Count(LittleEndianUnits units, const std::vector<Candidate> &lines, const Ending &ending) {
  Counts c{units, lines, ending, {}, {}, {}};
  const std::size_t count = lines.size();
  c.indexEnd.resize(count);
  c.ways.assign(count, 0);
  c.quotedFrom.assign(count, 0);
  // From the last candidate back: those of the next index, which may follow, are counted first.
  for (std::size_t line = count; line-- > 0;) {
    const bool lastOfIndex = line + 1 == count || lines[line + 1].index != lines[line].index;
    c.indexEnd[line] = lastOfIndex ? Place(line + 1) : c.indexEnd[line + 1];
    std::uint64_t ways = Closes(c, line) ? 1 : 0;
    if (const std::uint32_t next = UnquotedFollower(c, line); next != kNone)
      ways += c.ways[next];
    const auto [first, last] = QuotedFollowers(c, line);
    ways += QuotedFrom(c, first, last);
    c.ways[line] = static_cast<std::uint32_t>(Capped(ways));
    c.quotedFrom[line] =
        (QuoteBefore(c, line) ? c.ways[line] : 0) + QuotedFrom(c, line + 1, c.indexEnd[line]);
  }
  return c;
}

// The first candidate in [from, last) with a quote before it that leads to a reading; kNone when
// there is none. Found by halving: a forged file may hold many that lead nowhere.
std::uint32_t FirstQuotedReadable(const Counts &c, std::size_t from, std::size_t last) {
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
  return Place(low);
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
  if (firstBreak == kNotFound || firstBreak >= c.ending.end) {
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
  std::uint32_t next; // the line it goes on to
};

// The first choice at the line from (step, from) on; quoted followers are tried from `from`.
Choice ChoiceFrom(const Counts &c, std::size_t line, Step step, std::size_t from) {
  const auto [first, last] = QuotedFollowers(c, line);
  switch (step) {
  case Step::Unquoted:
    if (const std::uint32_t next = UnquotedFollower(c, line); next != kNone && c.ways[next] > 0)
      return {Step::Unquoted, next};
    from = first;
    [[fallthrough]];
  case Step::Quoted:
    if (const std::uint32_t next = FirstQuotedReadable(c, std::max(from, first), last);
        next != kNone)
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
    return ChoiceFrom(c, line, Step::Quoted, choice.next + std::size_t{1});
  default:
    return {Step::None, kNone};
  }
}

// Units [first, last) of the text.
struct Span {
  std::uint32_t first, last;
};

// One reading as places in the text: element 0 and each argument.
struct Places {
  Span program;
  std::vector<Span> arguments;
};

// The argument a value stands for: one holding a space lost its quotes (a cut one maybe only the
// first).
Span Unquoted(LittleEndianUnits units, std::size_t first, std::size_t last) {
  if (units.substr(first, last - first).find(kSpaceText) == kNotFound || units[first] != kQuote)
    return {Place(first), Place(last)};
  ++first;
  if (first < last && units[last - 1] == kQuote)
    --last;
  return {Place(first), Place(last)};
}

// The program and arguments of one path: the line the program goes on to (kNone when alone), then
// the choice made at each line.
Places PlacesOf(const Counts &c, std::uint32_t firstLine, const std::vector<Choice> &choices) {
  Places places;
  const std::size_t programEnd =
      firstLine == kNone ? c.ending.end : c.lines[firstLine].start - kLineEnd.size();
  places.program = {Place(kProgramLinePrefix.size()), Place(programEnd)};
  places.arguments.reserve(choices.size());
  std::uint32_t line = firstLine;
  for (const Choice &choice : choices) {
    const std::size_t valueEnd =
        choice.step == Step::Close ? c.ending.end : c.lines[choice.next].start - kLineEnd.size();
    places.arguments.push_back(Unquoted(c.units, c.lines[line].value, valueEnd));
    line = choice.next;
  }
  return places;
}

// The first readings in order of preference, at most `wanted` of them: depth first, taking at each
// line the choices in order, each of which leads to at least one reading.
std::vector<Places> FirstReadings(const Counts &c, const ProgramEnds &ends, std::size_t wanted) {
  std::vector<Places> found;
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
        found.push_back(PlacesOf(c, kNone, {}));
      break;
    }
    // Go down the first choices to the end, then take the next choice at the deepest line that
    // has one, and so on until this start has no more.
    path.assign(1, ChoiceFrom(c, start, Step::Unquoted, 0));
    while (!path.empty() && found.size() < wanted) {
      while (path.back().step != Step::Close)
        path.push_back(ChoiceFrom(c, path.back().next, Step::Unquoted, 0));
      found.push_back(PlacesOf(c, Place(start), path));
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

// A reading as places: the facts of a Reading but its strings, and the readings kept.
struct Placed {
  Reading reading; // without program, arguments and alsoFitting
  std::vector<Places> kept;
};

// Reads the lines with this ending; a reading of no readings when none fits. A return code that
// the count need not give allows no longer program lines.
Placed ReadLines(LittleEndianUnits units, const std::vector<Candidate> &lines, const Ending &ending,
                 bool countMustAgree) {
  const Counts counts = Count(units, lines, ending);
  const ProgramEnds ends = WhereTheProgramEnds(counts, countMustAgree);
  Placed placed;
  placed.reading.readings = ends.readings;
  placed.reading.ambiguous = ends.readings > 1;
  if (ends.readings == 0)
    return placed;
  placed.kept = FirstReadings(counts, ends, placed.reading.ambiguous ? kReadingsKept : 1);
  placed.reading.returnCode = ending.returnCode;
  return placed;
}

// The return-code line that ends the text, if it does: where it starts and its number.
std::optional<std::pair<std::size_t, std::int32_t>> ReturnCodeAtEnd(LittleEndianUnits units) {
  if (!units.ends_with(kLineEnd))
    return std::nullopt;
  const std::size_t before = units.rfind(kLineEnd, units.size() - kLineEnd.size() - 1);
  if (before == kNotFound)
    return std::nullopt;
  const std::size_t start = before + kLineEnd.size();
  const LittleEndianUnits line = units.substr(start, units.size() - kLineEnd.size() - start);
  if (!line.starts_with(kReturnCodeLinePrefix))
    return std::nullopt;
  const std::optional<std::uint32_t> code = Decimal(line.substr(kReturnCodeLinePrefix.size()));
  if (!code)
    return std::nullopt;
  return std::pair{start, static_cast<std::int32_t>(*code)};
}

// Whether the units are the start of the prefix.
bool StartOf(std::wstring_view prefix, LittleEndianUnits units) {
  return units.size() <= prefix.size() && prefix.starts_with(units.str());
}

// Whether the text after the last CR LF is only the start of the next line: a prefix, with its
// digits, or the whole return-code line cut inside its CR LF.
bool IsCutLineStart(LittleEndianUnits tail) {
  if (StartOf(kArgumentLinePrefix, tail) || StartOf(kReturnCodeLinePrefix, tail))
    return true;
  if (tail.starts_with(kReturnCodeLinePrefix)) {
    tail = tail.substr(kReturnCodeLinePrefix.size());
    if (tail.ends_with(kCarriageReturn))
      tail = tail.substr(0, tail.size() - 1);
    for (std::size_t i = 0; i < tail.size(); ++i)
      if (!IsDigit(tail[i]))
        return false;
    return true;
  }
  if (!tail.starts_with(kArgumentLinePrefix))
    return false;
  const std::size_t digits = DigitsFrom(tail, kArgumentLinePrefix.size());
  if (digits == kArgumentLinePrefix.size() && digits < tail.size())
    return false;
  tail = tail.substr(digits);
  return tail.size() < kArgumentValueSeparator.size() && StartOf(kArgumentValueSeparator, tail);
}

Ending CutEnding(LittleEndianUnits units) {
  const std::size_t lastBreak = units.rfind(kLineEnd);
  const LittleEndianUnits tail =
      lastBreak == kNotFound ? units : units.substr(lastBreak + kLineEnd.size());
  if (lastBreak != kNotFound && IsCutLineStart(tail))
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

// Enough bytes for one character more than is shown and a line break after it, in UTF-8 or in
// UTF-16: at most four bytes a character either way.
constexpr std::size_t kLineStartBytes = 4 * (kShownCharacters + 1) + 2 * kLineEnd.size();

// An ellipsis, in UTF-8.
constexpr char kEllipsis[] = "\xE2\x80\xA6";

// How a line starts: at most kShownCharacters of its characters, escaped, between [ and ], and an
// ellipsis after them when the line runs on. The units begin with the line and may run past it.
std::string LineStart(std::wstring_view units, bool byteEscapes) {
  const std::wstring_view line = units.substr(0, units.find(kLineEnd));
  std::size_t end = 0;
  for (std::size_t shown = 0, length = 0; end < line.size() && shown < kShownCharacters;
       end += length, ++shown)
    text::CodePointAt(line, end, &length);
  std::string shown = text::Bracketed(line.substr(0, end), byteEscapes);
  if (end < line.size())
    shown += kEllipsis;
  return shown;
}

// How a file in another encoding starts, as that encoding reads it.
std::string FirstLine(std::wstring_view units, bool byteEscapes) {
  return "; line 1 starts " + LineStart(units, byteEscapes);
}

// Why bytes that do not open like a record are none, and how they start.
std::string Unrecognised(std::string_view bytes) {
  if (bytes.empty())
    return "an empty file";
  if (bytes.size() > kLargestLog)
    return "larger than any record";
  const std::string_view start = bytes.substr(0, kLineStartBytes);
  if (bytes.starts_with(text::kUtf8Mark))
    return "UTF-8 text, not UTF-16" +
           FirstLine(text::DecodeBytes(bytes.substr(text::kUtf8Mark.size(), kLineStartBytes)),
                     true);
  if (bytes.starts_with(text::kBigEndianMark))
    return "big-endian UTF-16" + FirstLine(text::UnitsOfBigEndian(bytes.substr(
                                               text::kBigEndianMark.size(), kLineStartBytes)),
                                           false);
  const std::string_view mark(reinterpret_cast<const char *>(kByteOrderMark),
                              sizeof kByteOrderMark);
  if (mark.starts_with(bytes.substr(0, mark.size())))
    return "";
  if (ZeroEvery2nd(bytes, 1))
    return "UTF-16 text without a byte-order mark" +
           FirstLine(text::UnitsOfLittleEndian(start), false);
  if (ZeroEvery2nd(bytes, 0))
    return "big-endian UTF-16 text without a byte-order mark" +
           FirstLine(text::UnitsOfBigEndian(start), false);
  const bool binary = bytes.substr(0, 4096).find('\0') != std::string_view::npos;
  return (binary ? "binary data" : "text without a UTF-16 byte-order mark") +
         FirstLine(text::DecodeBytes(start), true);
}

// "line N does not follow the record's format", for the line starting at `start`, its lines
// counted at each CR LF.
std::string OffTheFormat(LittleEndianUnits units, std::size_t start) {
  std::size_t number = 1;
  for (std::size_t at = units.find(kLineEnd); at != kNotFound && at < start;
       at = units.find(kLineEnd, at + kLineEnd.size()))
    ++number;
  return "line " + std::to_string(number) + " does not follow the record's format";
}

// The same, and how the line starts.
std::string OffTheFormatFrom(LittleEndianUnits units, std::size_t start) {
  return OffTheFormat(units, start) + "; it starts " +
         LineStart(units.substr(start, kLineStartBytes / 2).str(), false);
}

// Whether the text up to `end`, read as a record cut there, has a reading with its program line
// ending at its first CR LF.
bool ReadsUpTo(LittleEndianUnits units, const std::vector<Candidate> &lines, std::size_t end) {
  const Counts counts = Count(units, lines, CutEnding(units.substr(0, end)));
  return WhereTheProgramEnds(counts, false).readings > 0;
}

// Where the first line starts that no reading of a whole record follows, when none fits it all:
// found by halving over the line ends, as a text that reads up to the end of a line reads up to
// the ends of the lines before it. It reads up to its first line end, and not up to its last.
std::size_t FirstLineOffTheFormat(LittleEndianUnits units, const std::vector<Candidate> &lines) {
  std::size_t reads = units.find(kLineEnd), fails = units.rfind(kLineEnd);
  if (reads == kNotFound)
    return 0;
  while (true) {
    const std::size_t middle = reads + (fails - reads) / 2;
    std::size_t at = units.find(kLineEnd, middle);
    if (at >= fails)
      at = units.rfind(kLineEnd, middle);
    if (at <= reads)
      break;
    (ReadsUpTo(units, lines, at) ? reads : fails) = at;
  }
  return reads + kLineEnd.size();
}

// The text's reading as places, or why it has none.
struct Judged {
  Placed placed;
  std::string problem;
};

// The reading of the text, and the byte after its last whole unit if there is one.
Judged Judge(LittleEndianUnits units, std::optional<char> strayByte) {
  const std::vector<Candidate> lines = FindCandidates(units);
  Judged judged;
  Placed &placed = judged.placed;
  if (const auto returnCode = ReturnCodeAtEnd(units)) {
    if (strayByte) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned char>(*strayByte));
      judged.problem = OffTheFormat(units, units.size()) + "; it is a stray byte, " + hex +
                       ", after the return-code line";
      return judged;
    }
    const std::size_t end = returnCode->first - kLineEnd.size();
    placed = ReadLines(units, lines, {end, false, returnCode->second}, true);
    placed.reading.countAgrees = placed.reading.readings > 0;
    if (!placed.reading.countAgrees) {
      placed = ReadLines(units, lines, {end, false, std::nullopt}, false);
      placed.reading.returnCode = returnCode->second;
    }
    placed.reading.complete = true;
  } else {
    placed = ReadLines(units, lines, CutEnding(units), true);
  }
  if (placed.reading.readings == 0)
    judged.problem = OffTheFormatFrom(units, FirstLineOffTheFormat(units, lines));
  return judged;
}

WideString UnitsIn(LittleEndianUnits units, Span span) {
  return units.substr(span.first, span.last - span.first).str();
}

ArgumentList ListIn(LittleEndianUnits units, const Places &places) {
  ArgumentList list{UnitsIn(units, places.program), {}};
  list.arguments.reserve(places.arguments.size());
  for (const Span &span : places.arguments)
    list.arguments.push_back(UnitsIn(units, span));
  return list;
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
  const LittleEndianUnits units{bytes.substr(std::min(bytes.size(), sizeof kByteOrderMark))};
  if (!units.starts_with(kProgramLinePrefix)) {
    if (!StartOf(kProgramLinePrefix, units)) {
      outcome.problem = OffTheFormatFrom(units, 0);
      return outcome;
    }
    // Cut before the program line's prefix ends: nothing is known but that.
    outcome.reading.readings = 1;
    return outcome;
  }
  // The candidates are gone before the readings kept are copied out.
  Judged judged =
      Judge(units, bytes.size() % 2 != 0 ? std::optional<char>(bytes.back()) : std::nullopt);
  if (!judged.problem.empty()) {
    outcome.problem = std::move(judged.problem);
    return outcome;
  }
  Reading &reading = outcome.reading;
  reading = std::move(judged.placed.reading);
  const std::vector<Places> &kept = judged.placed.kept;
  ArgumentList first = ListIn(units, kept.front());
  reading.program = std::move(first.program);
  reading.arguments = std::move(first.arguments);
  for (std::size_t i = 1; i < kept.size(); ++i)
    reading.alsoFitting.push_back(ListIn(units, kept[i]));
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

} // namespace reader

// Reading a log back.
#include "reader/reading.h"

#include "recorder/exit_status.h"
#include "recorder/record.h"

#include <algorithm>
#include <limits>

namespace {

constexpr std::wstring_view kProgramPrefix = L"Program = ";
constexpr std::wstring_view kArgumentPrefix = L"ARG[";
constexpr std::wstring_view kArgumentInfix = L"] = ";
constexpr std::wstring_view kReturnCodePrefix = L"ReturnCode = ";
constexpr std::wstring_view kLineEnd = L"\r\n";
constexpr std::size_t kNone = std::wstring_view::npos;

// A place where an argument line may begin: "ARG[", an index and "] = " right after CR LF.
struct Line {
  std::uint32_t index;
  std::size_t start; // just after the CR LF
  std::size_t value; // just after "] = "
};

// Where the last line's value must end, and what the end allows.
struct Ending {
  std::size_t end;
  bool cut;                               // the value was cut short: it need only open its quotes
  std::optional<std::int32_t> returnCode; // when set, the count must give this status
};

WideString UnitsOf(std::string_view bytes) {
  WideString units(bytes.size() / 2, L'\0');
  for (std::size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                    static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  return units;
}

std::string LittleEndian(std::wstring_view units) {
  std::string bytes(units.size() * 2, '\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    const auto unit = static_cast<std::uint32_t>(units[i]);
    bytes[2 * i] = static_cast<char>(unit & 0xFF);
    bytes[2 * i + 1] = static_cast<char>((unit >> 8) & 0xFF);
  }
  return bytes;
}

bool IsDigit(wchar_t unit) { return unit >= L'0' && unit <= L'9'; }

// A number as the record writes it: plain decimal without leading zeros, within 32 signed bits.
std::optional<std::uint32_t> Decimal(std::wstring_view digits) {
  if (digits.empty() || digits.size() > 10 || (digits[0] == L'0' && digits.size() > 1) ||
      !std::all_of(digits.begin(), digits.end(), IsDigit))
    return std::nullopt;
  std::uint64_t value = 0;
  for (const wchar_t digit : digits)
    value = value * 10 + static_cast<std::uint64_t>(digit - L'0');
  if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
    return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

// Every place an argument line could begin, sorted by index and then by position.
std::vector<Line> CandidateLines(std::wstring_view units) {
  std::vector<Line> lines;
  for (std::size_t at = units.find(kLineEnd); at != kNone; at = units.find(kLineEnd, at + 1)) {
    const std::size_t start = at + kLineEnd.size();
    if (units.substr(start, kArgumentPrefix.size()) != kArgumentPrefix)
      continue;
    std::size_t digits = start + kArgumentPrefix.size();
    std::size_t after = digits;
    while (after < units.size() && after - digits <= 10 && IsDigit(units[after]))
      ++after;
    const std::optional<std::uint32_t> index = Decimal(units.substr(digits, after - digits));
    if (index && *index > 0 && units.substr(after, kArgumentInfix.size()) == kArgumentInfix)
      lines.push_back({*index, start, after + kArgumentInfix.size()});
  }
  const auto byIndex = [](const Line &a, const Line &b) {
    return a.index != b.index ? a.index < b.index : a.start < b.start;
  };
  // Found in the order of the file, they are in order already unless values forge lines.
  if (!std::is_sorted(lines.begin(), lines.end(), byIndex))
    std::sort(lines.begin(), lines.end(), byIndex);
  return lines;
}

// The readings of a record's argument lines: for each candidate line, in how many ways (0, 1, or
// 2 for two or more) the lines from it to the end can be read, and the sums that pick them.
struct Readings {
  std::wstring_view units;
  const std::vector<Line> &lines;
  Ending ending;
  std::vector<std::size_t> space;  // the first space at or after each line's value
  std::vector<std::uint32_t> ways; // capped at 2
  // Running sums of ways within each index's lines: of all, and of those preceded by a quote.
  std::vector<std::uint64_t> sumAll, sumQuoted;
  std::vector<std::size_t> bucketStart, bucketEnd; // the lines of the same index around each
};

bool QuoteBefore(const Readings &r, std::size_t i) {
  return r.lines[i].start >= 3 && r.units[r.lines[i].start - 3] == L'"';
}

// The sum over lines [from, to) of one index.
std::uint64_t Sum(const std::vector<std::uint64_t> &sums, const Readings &r, std::size_t from,
                  std::size_t to) {
  if (to <= from)
    return 0;
  return sums[to - 1] - (from > r.bucketStart[from] ? sums[from - 1] : 0);
}

// Whether the value from this line's start to the end can close the record.
bool Closes(const Readings &r, std::size_t i) {
  const Line &line = r.lines[i];
  const Ending &ending = r.ending;
  if (line.value > ending.end)
    return false;
  if (ending.returnCode &&
      ComputeExitStatus(static_cast<std::int32_t>(line.index) + 1) != *ending.returnCode)
    return false;
  // A value holding a space is the argument in quotes; a cut value may have lost its last one.
  return r.space[i] >= ending.end ||
         (r.units[line.value] == L'"' && (ending.cut || r.units[ending.end - 1] == L'"'));
}

// The lines of index + 1 that may follow line i: those whose value holds no space [first, split),
// and, when line i's value opens with a quote, those after a closing quote [split, last).
struct Followers {
  std::size_t first, split, last;
  bool quoted;
};

Followers FollowersOf(const Readings &r, std::size_t i) {
  const std::size_t next = r.bucketEnd[i];
  if (next == r.lines.size() || r.lines[next].index != r.lines[i].index + 1)
    return {next, next, next, false};
  const std::size_t last = r.bucketEnd[next];
  const auto startAt = [&](std::size_t position) {
    return static_cast<std::size_t>(
        std::lower_bound(r.lines.begin() + static_cast<std::ptrdiff_t>(next),
                         r.lines.begin() + static_cast<std::ptrdiff_t>(last), position,
                         [](const Line &line, std::size_t p) { return line.start < p; }) -
        r.lines.begin());
  };
  const std::size_t value = r.lines[i].value;
  const std::size_t space = r.space[i];
  const std::size_t first = startAt(value + kLineEnd.size());
  const std::size_t split = space == kNone ? last : startAt(space + kLineEnd.size() + 1);
  return {first, split, last, r.units[value] == L'"'};
}

Readings CountReadings(std::wstring_view units, const std::vector<Line> &lines,
                       const Ending &ending) {
  Readings r{units, lines, ending, {}, {}, {}, {}, {}, {}};
  const std::size_t count = lines.size();
  r.space.resize(count);
  r.ways.assign(count, 0);
  r.sumAll.assign(count, 0);
  r.sumQuoted.assign(count, 0);
  r.bucketStart.resize(count);
  r.bucketEnd.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    r.space[i] = units.find(L' ', lines[i].value);
    r.bucketStart[i] = i > 0 && lines[i - 1].index == lines[i].index ? r.bucketStart[i - 1] : i;
  }
  for (std::size_t i = count; i-- > 0;)
    r.bucketEnd[i] =
        i + 1 < count && lines[i + 1].index == lines[i].index ? r.bucketEnd[i + 1] : i + 1;
  // From the highest index down, so that the lines that may follow are counted already.
  for (std::size_t end = count; end > 0;) {
    const std::size_t begin = r.bucketStart[end - 1];
    for (std::size_t i = begin; i < end; ++i) {
      const Followers f = FollowersOf(r, i);
      std::uint64_t ways = Closes(r, i) ? 1 : 0;
      ways += Sum(r.sumAll, r, f.first, f.split);
      if (f.quoted)
        ways += Sum(r.sumQuoted, r, f.split, f.last);
      r.ways[i] = static_cast<std::uint32_t>(std::min<std::uint64_t>(ways, 2));
    }
    for (std::size_t i = begin; i < end; ++i) {
      r.sumAll[i] = (i > begin ? r.sumAll[i - 1] : 0) + r.ways[i];
      r.sumQuoted[i] = (i > begin ? r.sumQuoted[i - 1] : 0) + (QuoteBefore(r, i) ? r.ways[i] : 0);
    }
    end = begin;
  }
  return r;
}

// The first line in [from, to) of one index that leads to a reading: where its running sum first
// rises. Found by halving, since a forged file may hold many lines of one index that lead nowhere.
std::size_t FirstReadable(const std::vector<std::uint64_t> &sums, const Readings &r,
                          std::size_t from, std::size_t to) {
  if (Sum(sums, r, from, to) == 0)
    return kNone;
  const std::uint64_t before = from > r.bucketStart[from] ? sums[from - 1] : 0;
  const auto begin = sums.begin() + static_cast<std::ptrdiff_t>(from);
  const auto end = sums.begin() + static_cast<std::ptrdiff_t>(to);
  return static_cast<std::size_t>(std::upper_bound(begin, end, before) - sums.begin());
}

// The argument a value stands for: one holding a space lost its quotes.
WideString Unquoted(std::wstring_view value) {
  if (value.find(L' ') == kNone || value.front() != L'"')
    return WideString(value);
  value.remove_prefix(1);
  if (!value.empty() && value.back() == L'"')
    value.remove_suffix(1);
  return WideString(value);
}

// Follows one reading from line i to the end, preferring to go on over stopping.
std::vector<WideString> ArgumentsFrom(const Readings &r, std::size_t i) {
  std::vector<WideString> arguments;
  while (true) {
    const Followers f = FollowersOf(r, i);
    std::size_t next = FirstReadable(r.sumAll, r, f.first, f.split);
    if (next == kNone && f.quoted)
      next = FirstReadable(r.sumQuoted, r, f.split, f.last);
    const std::size_t valueEnd = next == kNone ? r.ending.end : r.lines[next].start - 2;
    arguments.push_back(Unquoted(r.units.substr(r.lines[i].value, valueEnd - r.lines[i].value)));
    if (next == kNone)
      return arguments;
    i = next;
  }
}

// Reads the lines after the program line with this ending. With the program line ending at its
// first line break, or else (for a whole record) wherever the first readable argument line lets it.
std::optional<Reading> ReadLines(std::wstring_view units, const std::vector<Line> &lines,
                                 const Ending &ending, bool programMayBreak) {
  const Readings r = CountReadings(units, lines, ending);
  const std::size_t firstBreak = units.find(kLineEnd, kProgramPrefix.size());
  const bool programAlone = (programMayBreak || firstBreak == kNone || firstBreak >= ending.end) &&
                            ending.end >= kProgramPrefix.size() &&
                            (!ending.returnCode || ComputeExitStatus(1) == *ending.returnCode);
  const std::size_t ones = lines.empty() || lines[0].index != 1 ? 0 : r.bucketEnd[0];
  std::size_t first = kNone;
  for (std::size_t i = 0; i < ones && first == kNone; ++i) {
    const bool placed = programMayBreak ? lines[i].start >= kProgramPrefix.size() + 2
                                        : lines[i].start == firstBreak + 2;
    if (placed && r.ways[i] > 0)
      first = i;
  }
  if (first == kNone && !programAlone)
    return std::nullopt;
  Reading reading;
  const std::size_t programEnd = first == kNone ? ending.end : lines[first].start - 2;
  reading.program = units.substr(kProgramPrefix.size(), programEnd - kProgramPrefix.size());
  if (first != kNone) {
    reading.arguments = ArgumentsFrom(r, first);
    reading.ambiguous = r.ways[first] > 1;
  }
  reading.returnCode = ending.returnCode;
  return reading;
}

// The value of the last line when it is "ReturnCode = " and a number, with where the line starts.
std::optional<std::pair<std::size_t, std::int32_t>> ReturnCodeLine(std::wstring_view units) {
  if (units.size() < kLineEnd.size() || units.substr(units.size() - kLineEnd.size()) != kLineEnd)
    return std::nullopt;
  const std::size_t before = units.rfind(kLineEnd, units.size() - kLineEnd.size() - 1);
  if (before == kNone || before < kProgramPrefix.size())
    return std::nullopt;
  const std::size_t start = before + kLineEnd.size();
  const std::wstring_view line = units.substr(start, units.size() - kLineEnd.size() - start);
  if (line.substr(0, kReturnCodePrefix.size()) != kReturnCodePrefix)
    return std::nullopt;
  const std::optional<std::uint32_t> code = Decimal(line.substr(kReturnCodePrefix.size()));
  if (!code)
    return std::nullopt;
  return std::pair{start, static_cast<std::int32_t>(*code)};
}

// Whether the text after the last line break is the beginning of a line's prefix and nothing more:
// the record was cut inside the prefix of its next line.
bool IsCutPrefix(std::wstring_view tail) {
  if (kArgumentPrefix.substr(0, tail.size()) == tail ||
      kReturnCodePrefix.substr(0, tail.size()) == tail)
    return true;
  if (tail.substr(0, kReturnCodePrefix.size()) == kReturnCodePrefix)
    return std::all_of(tail.begin() + kReturnCodePrefix.size(), tail.end(), IsDigit);
  if (tail.substr(0, kArgumentPrefix.size()) != kArgumentPrefix)
    return false;
  tail.remove_prefix(kArgumentPrefix.size());
  while (!tail.empty() && IsDigit(tail.front()))
    tail.remove_prefix(1);
  return tail.size() < kArgumentInfix.size() && kArgumentInfix.substr(0, tail.size()) == tail;
}

// Why bytes that do not open like a record are none.
std::string Unrecognised(std::string_view bytes) {
  if (bytes.empty())
    return "an empty file";
  if (bytes.size() > kLargestLog)
    return "larger than any record";
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
    return "UTF-8 text, not a UTF-16 record";
  if (bytes.substr(0, 2) == "\xFE\xFF")
    return "big-endian UTF-16, not a record";
  if (bytes.substr(0, 2) != "\xFF\xFE") {
    const bool binary = bytes.substr(0, 4096).find('\0') != std::string_view::npos;
    return binary ? "binary data, not a record" : "text without a UTF-16 byte-order mark";
  }
  return "";
}

} // namespace

ReadOutcome ReadRecord(std::string_view bytes) {
  ReadOutcome outcome;
  outcome.problem = Unrecognised(bytes);
  if (!outcome.problem.empty())
    return outcome;
  const WideString text = UnitsOf(bytes.substr(2));
  const std::wstring_view units = text;
  if (units.substr(0, kProgramPrefix.size()) != kProgramPrefix) {
    outcome.problem = kProgramPrefix.substr(0, units.size()) == units
                          ? "cut short before its program line"
                          : "no program line after the byte-order mark";
    return outcome;
  }
  const std::vector<Line> lines = CandidateLines(units);
  const auto returnCode = ReturnCodeLine(units);
  std::optional<Reading> reading;
  if (returnCode && bytes.size() % 2 == 0) {
    // A whole record: first the readings whose count gives the return code.
    const std::size_t end = returnCode->first - kLineEnd.size();
    const Ending agreeing{end, false, returnCode->second};
    reading = ReadLines(units, lines, agreeing, false);
    if (!reading)
      reading = ReadLines(units, lines, agreeing, true);
    if (reading) {
      reading->countAgrees = true;
    } else {
      reading = ReadLines(units, lines, {end, false, std::nullopt}, false);
      if (reading)
        reading->returnCode = returnCode->second;
    }
    if (reading)
      reading->complete = true;
  } else if (returnCode) {
    outcome.problem = "a stray byte after its return-code line";
    return outcome;
  } else {
    const std::size_t lastBreak = units.rfind(kLineEnd);
    const std::wstring_view tail =
        lastBreak == kNone ? units : units.substr(lastBreak + kLineEnd.size());
    Ending ending{units.size(), true, std::nullopt};
    if (lastBreak != kNone && IsCutPrefix(tail))
      ending = {lastBreak, false, std::nullopt};
    else if (units.back() == L'\r') // most likely the first half of a line break
      ending.end -= 1;
    reading = ReadLines(units, lines, ending, false);
  }
  if (!reading) {
    outcome.problem = "its lines do not follow the record's format";
    return outcome;
  }
  outcome.reading = std::move(*reading);
  return outcome;
}

bool RecordsExactly(std::string_view bytes, const std::vector<WideString> &arguments) {
  WideString suffix;
  for (std::size_t i = 0; i < arguments.size(); ++i)
    suffix.append(L"\r\nARG[")
        .append(std::to_wstring(i + 1))
        .append(kArgumentInfix)
        .append(QuoteIfSpaced(arguments[i]));
  const ExitStatus status = ComputeExitStatus(static_cast<std::int32_t>(arguments.size()) + 1);
  suffix.append(L"\r\n").append(kReturnCodePrefix).append(std::to_wstring(status)).append(kLineEnd);
  const std::string head = "\xFF\xFE" + LittleEndian(kProgramPrefix);
  const std::string tail = LittleEndian(suffix);
  return bytes.size() % 2 == 0 && bytes.size() >= head.size() + tail.size() &&
         bytes.substr(0, head.size()) == head && bytes.substr(bytes.size() - tail.size()) == tail;
}

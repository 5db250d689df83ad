// An independent model of the readings of a whole record: every way of cutting the text into lines
// at its CR LFs is tried, one by one, and the reading rule applied to those that fit. Exponential,
// so only for files with few line breaks; it shares nothing with the reader's own code, which it
// is used to check.
#ifndef TARNWHISTLE_TESTS_READING_MODEL_H
#define TARNWHISTLE_TESTS_READING_MODEL_H

#include "reader/reading.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace reader::model {

struct Reading {
  std::u16string program;
  std::vector<std::u16string> arguments;
  bool operator==(const Reading &) const = default;
};

struct Readings {
  std::vector<Reading> fitting; // every reading the rule allows
  bool countAgrees = false;
};

inline std::optional<std::int64_t> Number(std::u16string_view digits) {
  if (digits.empty() || digits.size() > 10 || (digits.size() > 1 && digits[0] == u'0'))
    return std::nullopt;
  std::int64_t value = 0;
  for (const char16_t digit : digits) {
    if (digit < u'0' || digit > u'9')
      return std::nullopt;
    value = value * 10 + (digit - u'0');
  }
  if (value > 0x7FFFFFFF)
    return std::nullopt;
  return value;
}

// The argument an argument line of this index stands for, if the line is one.
inline std::optional<std::u16string> ArgumentOfLine(std::u16string_view line, std::size_t index) {
  std::u16string head = u"ARG[";
  for (const char c : std::to_string(index))
    head += static_cast<char16_t>(c);
  head += u"] = ";
  if (line.substr(0, head.size()) != head)
    return std::nullopt;
  const std::u16string_view value = line.substr(head.size());
  if (value.find(u' ') == std::u16string_view::npos)
    return std::u16string(value);
  if (value.size() >= 2 && value.front() == u'"' && value.back() == u'"')
    return std::u16string(value.substr(1, value.size() - 2));
  return std::nullopt;
}

// The readings of units (the text after the byte-order mark) as a whole record; nothing when it
// does not end with a return-code line or has more than maxBreaks line breaks before it.
inline std::optional<Readings> WholeRecordReadings(std::u16string_view units,
                                                   std::size_t maxBreaks) {
  const std::u16string_view programHead = u"Program = ", codeHead = u"ReturnCode = ";
  if (units.size() < 2 || units.substr(units.size() - 2) != u"\r\n" ||
      units.substr(0, programHead.size()) != programHead)
    return std::nullopt;
  std::vector<std::size_t> breaks;
  for (std::size_t at = units.find(u"\r\n");
       at != std::u16string_view::npos && at + 2 < units.size(); at = units.find(u"\r\n", at + 1))
    breaks.push_back(at);
  if (breaks.empty())
    return std::nullopt;
  const std::size_t end = breaks.back(); // the line break before the last line
  breaks.pop_back();
  const std::u16string_view last = units.substr(end + 2, units.size() - 2 - (end + 2));
  if (last.substr(0, codeHead.size()) != codeHead || breaks.size() > maxBreaks)
    return std::nullopt;
  const std::optional<std::int64_t> code = Number(last.substr(codeHead.size()));
  if (!code)
    return std::nullopt;

  struct Candidate {
    Reading reading;
    bool agrees, firstBreak;
  };
  std::vector<Candidate> candidates;
  for (std::uint32_t mask = 0; mask < (1u << breaks.size()); ++mask) {
    std::vector<std::size_t> cuts;
    for (std::size_t i = 0; i < breaks.size(); ++i)
      if (mask & (1u << i))
        cuts.push_back(breaks[i]);
    cuts.push_back(end);
    Reading reading;
    reading.program =
        std::u16string(units.substr(programHead.size(), cuts[0] - programHead.size()));
    bool fits = true;
    for (std::size_t i = 1; i < cuts.size() && fits; ++i) {
      const std::optional<std::u16string> argument =
          ArgumentOfLine(units.substr(cuts[i - 1] + 2, cuts[i] - cuts[i - 1] - 2), i);
      fits = argument.has_value();
      if (fits)
        reading.arguments.push_back(*argument);
    }
    if (!fits)
      continue;
    const std::size_t count = reading.arguments.size();
    const std::int64_t status =
        count == 0 ? 10 : static_cast<std::int64_t>(std::min<std::size_t>(count, 255));
    const bool firstBreak = cuts[0] == (breaks.empty() ? end : breaks[0]);
    candidates.push_back({reading, status == *code, firstBreak});
  }
  // The program line ends at its first line break unless nothing fits so; a count that
  // disagrees with the return code only when nothing agrees, and then with that presumption.
  Readings readings;
  for (const auto &[agrees, anyBreak] :
       {std::pair{true, false}, std::pair{true, true}, std::pair{false, false}}) {
    for (const Candidate &candidate : candidates)
      if (candidate.agrees == agrees && (anyBreak || candidate.firstBreak))
        readings.fitting.push_back(candidate.reading);
    if (!readings.fitting.empty()) {
      readings.countAgrees = agrees;
      break;
    }
  }
  return readings;
}

// How the reader's reading of a whole record differs from the model's readings; empty when it
// agrees: the same count (up to the reader's cap), the same verdict on the count, readings the
// model allows, and --expect passing only for the one reading of an unambiguous record.
inline std::string Disagreement(std::string_view bytes, const ReadOutcome &outcome,
                                const Readings &readings) {
  const auto units = [](const std::u16string &text) {
    return std::wstring(text.begin(), text.end());
  };
  const auto ours = [&](const ArgumentList &list) {
    Reading reading;
    reading.program.assign(list.program.begin(), list.program.end());
    for (const std::wstring &argument : list.arguments)
      reading.arguments.emplace_back(argument.begin(), argument.end());
    return reading;
  };
  const std::size_t count = readings.fitting.size();
  if (count == 0)
    return outcome.problem.empty() ? "read a file that no reading fits" : "";
  if (!outcome.problem.empty())
    return "refused a file that " + std::to_string(count) + " readings fit: " + outcome.problem;
  const reader::Reading &reading = outcome.reading;
  if (reading.readings != std::min<std::uint64_t>(count, kManyReadings))
    return "counted " + std::to_string(reading.readings) + " readings, not " +
           std::to_string(count);
  if (reading.ambiguous != (count > 1) || reading.countAgrees != readings.countAgrees)
    return "wrong verdict on ambiguity or on the count";
  // The reading shown, then the others kept.
  std::vector<ArgumentList> kept = {{reading.program, reading.arguments}};
  kept.insert(kept.end(), reading.alsoFitting.begin(), reading.alsoFitting.end());
  for (std::size_t i = 0; i < kept.size(); ++i) {
    if (std::find(readings.fitting.begin(), readings.fitting.end(), ours(kept[i])) ==
        readings.fitting.end())
      return "a reading that the rule does not allow";
    for (std::size_t j = 0; j < i; ++j)
      if (kept[j] == kept[i])
        return "the same reading twice";
  }
  if (kept.size() != std::min<std::size_t>(count, kReadingsKept))
    return "kept the wrong number of readings";
  for (const Reading &candidate : readings.fitting) {
    std::vector<std::wstring> expected;
    for (const std::u16string &argument : candidate.arguments)
      expected.push_back(units(argument));
    const bool passes = ShowsExactly(bytes, reading, expected);
    if (passes != (count == 1 && readings.countAgrees))
      return passes ? "--expect passed on an uncertain reading" : "--expect refused the reading";
  }
  return "";
}

} // namespace reader::model

#endif

// Looking a code point up in the ranges scripts/unicode-ranges writes from the Unicode data.
#include "text/unicode.h"

#include <algorithm>
#include <span>

namespace text {

namespace {

struct Range {
  std::uint32_t first, last;
};

#include "text/unicode_ranges.inc"

bool InRanges(std::span<const Range> ranges, std::uint32_t point) {
  // The first range that ends at or after the point holds it, if any does.
  const auto range = std::lower_bound(ranges.begin(), ranges.end(), point,
                                      [](const Range &r, std::uint32_t p) { return r.last < p; });
  return range != ranges.end() && range->first <= point;
}

} // namespace

bool IsInvisible(std::uint32_t point) { return InRanges(kEscaped, point); }

bool IsCombiningMark(std::uint32_t point) { return InRanges(kCombining, point); }

} // namespace text

// What a code point looks like on a screen, as far as the reader must know: whether it would show
// at all, and whether it draws on the character before it.
#ifndef TARNWHISTLE_TEXT_UNICODE_H
#define TARNWHISTLE_TEXT_UNICODE_H

#include <cstdint>

namespace text {

// A character that shows as nothing or as a blank, or that changes the text around it: the
// controls, formats, surrogates, private-use and unassigned code points, the spaces and line and
// paragraph separators other than U+0020, the default-ignorable code points, and the letters that
// show as a blank (U+115F, U+1160, U+2800, U+3164, U+FFA0).
bool IsInvisible(std::uint32_t point);

// A combining mark (Mn, Mc, Me) that IsInvisible leaves alone: shown by itself, it draws on
// whatever comes before it.
bool IsCombiningMark(std::uint32_t point);

} // namespace text

#endif

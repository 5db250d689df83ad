// Text made safe to show or to embed: escapes for a person reading a terminal, JSON strings, and
// the labels messages give the elements of an argument list.
#ifndef TARNWHISTLE_TEXT_ESCAPE_H
#define TARNWHISTLE_TEXT_ESCAPE_H

#include <cstddef>
#include <string>
#include <string_view>

namespace text {

// The text with every character a reader could not see or tell apart written as an escape:
// <TAB>, <CR>, <LF>, <U+XXXX> (what text::IsInvisible names, and a combining mark at the start or
// right after an escape, where it would draw on the view's punctuation) and, where arguments carry
// bytes as U+DC80 to U+DCFF, <0xXX>. A "<" is written "<<".
std::string Visible(std::wstring_view units, bool byteEscapes);

// The same appended to out, where a big view is built: each copy of it would add to its peak.
void AppendVisible(std::string &out, std::wstring_view units, bool byteEscapes);

// The units, escaped as Visible does, between [ and ]: how the views show a text.
void AppendBracketed(std::string &out, std::wstring_view units, bool byteEscapes);
std::string Bracketed(std::wstring_view units, bool byteEscapes);

// The text as a JSON string, quotes included: the controls, U+2028, U+2029 and lone surrogates
// escaped, everything else as UTF-8.
std::string JsonString(std::wstring_view units);

// The same appended to out, and the bytes it takes: a caller building a big document reserves
// its room first, since every doubling of a string's room copies it.
void AppendJsonString(std::string &out, std::wstring_view units);
std::size_t JsonStringSize(std::wstring_view units);

// The label messages give an argument: "ARG[n]", n counting from 1 as the record does.
std::string ArgumentLabel(std::size_t index);

// "the program" for element 0 of a list, else its argument's label.
std::string ElementName(std::size_t element);

} // namespace text

#endif

// Escaping text for a person and for JSON.
#include "text/escape.h"

#include "text/codec.h"
#include "text/unicode.h"

#include <cstdint>
#include <cstdio>

namespace text {

namespace {

std::string Hex(std::uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, static_cast<unsigned>(value));
  return text;
}

// Whether JSON writes the code point as the one byte it is.
bool AsItselfInJson(std::uint32_t point) {
  return point >= 0x20 && point < 0x80 && point != '"' && point != '\\';
}

// How JSON writes any other code point: as an escape, or in UTF-8.
std::string JsonOf(std::uint32_t point) {
  if (point == '"' || point == '\\')
    return {'\\', static_cast<char>(point)};
  if (point == '\n')
    return "\\n";
  if (point == '\r')
    return "\\r";
  if (point == '\t')
    return "\\t";
  if (point < 0x20 || point == 0x2028 || point == 0x2029 || IsSurrogate(point))
    return "\\u" + Hex(point, 4);
  std::string utf8;
  AppendUtf8(utf8, point);
  return utf8;
}

} // namespace

std::string Visible(std::wstring_view units, bool byteEscapes) {
  std::string out;
  out.reserve(units.size());
  AppendVisible(out, units, byteEscapes);
  return out;
}

void AppendVisible(std::string &out, std::wstring_view units, bool byteEscapes) {
  // A combining mark would draw on the view's own punctuation where the text starts (after a "["
  // or a ": ") or right after an escape, so there it is escaped too. Every escape, "<<" included,
  // starts with a "<" and nothing else does.
  bool afterPunctuation = true;
  for (std::size_t i = 0, length = 0; i < units.size(); i += length) {
    const std::uint32_t point = CodePointAt(units, i, &length);
    const std::size_t before = out.size();
    if (point == '<')
      out += "<<";
    else if (point == '\t')
      out += "<TAB>";
    else if (point == '\r')
      out += "<CR>";
    else if (point == '\n')
      out += "<LF>";
    else if (byteEscapes && IsEscapedByte(point))
      out += "<0x" + Hex(point - kEscapedByteBase, 2) + ">";
    else if (IsInvisible(point) || (afterPunctuation && IsCombiningMark(point)))
      out += "<U+" + Hex(point, 4) + ">";
    else
      AppendUtf8(out, point);
    afterPunctuation = out[before] == '<';
  }
}

std::size_t JsonStringSize(std::wstring_view units) {
  std::size_t size = 2;
  for (std::size_t i = 0, length = 0; i < units.size(); i += length) {
    const std::uint32_t point = CodePointAt(units, i, &length);
    size += AsItselfInJson(point) ? 1 : JsonOf(point).size();
  }
  return size;
}

void AppendJsonString(std::string &out, std::wstring_view units) {
  out.push_back('"');
  for (std::size_t i = 0, length = 0; i < units.size(); i += length) {
    const std::uint32_t point = CodePointAt(units, i, &length);
    if (AsItselfInJson(point))
      out.push_back(static_cast<char>(point));
    else
      out += JsonOf(point);
  }
  out.push_back('"');
}

std::string JsonString(std::wstring_view units) {
  std::string out;
  out.reserve(JsonStringSize(units));
  AppendJsonString(out, units);
  return out;
}

void AppendBracketed(std::string &out, std::wstring_view units, bool byteEscapes) {
  out.push_back('[');
  AppendVisible(out, units, byteEscapes);
  out.push_back(']');
}

std::string Bracketed(std::wstring_view units, bool byteEscapes) {
  std::string text;
  AppendBracketed(text, units, byteEscapes);
  return text;
}

std::string ArgumentLabel(std::size_t index) { return "ARG[" + std::to_string(index) + "]"; }

std::string ElementName(std::size_t element) {
  return element == 0 ? "the program" : ArgumentLabel(element);
}

} // namespace text

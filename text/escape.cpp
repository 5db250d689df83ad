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

} // namespace

std::string Visible(std::wstring_view units, bool byteEscapes) {
  std::string out;
  out.reserve(units.size());
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
  return out;
}

std::string JsonString(std::wstring_view units) {
  std::string out = "\"";
  for (std::size_t i = 0, length = 0; i < units.size(); i += length) {
    const std::uint32_t point = CodePointAt(units, i, &length);
    if (point == '"' || point == '\\') {
      out.push_back('\\');
      out.push_back(static_cast<char>(point));
    } else if (point == '\n') {
      out += "\\n";
    } else if (point == '\r') {
      out += "\\r";
    } else if (point == '\t') {
      out += "\\t";
    } else if (point < 0x20 || point == 0x2028 || point == 0x2029 || IsSurrogate(point)) {
      out += "\\u" + Hex(point, 4);
    } else {
      AppendUtf8(out, point);
    }
  }
  return out + "\"";
}

std::string ArgumentLabel(std::size_t index) { return "ARG[" + std::to_string(index) + "]"; }

std::string ElementName(std::size_t element) {
  return element == 0 ? "the program" : ArgumentLabel(element);
}

} // namespace text

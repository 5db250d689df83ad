// Showing a log.
#include "reader/show.h"

#include <cstdint>
#include <cstdio>

namespace {

bool IsHigh(std::uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLow(std::uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The code point at units[i] and how many units it takes; a lone surrogate stands for itself.
std::uint32_t CodePointAt(std::wstring_view units, std::size_t i, std::size_t *length) {
  const auto unit = static_cast<std::uint32_t>(units[i]);
  *length = 1;
  if (IsHigh(unit) && i + 1 < units.size() && IsLow(static_cast<std::uint32_t>(units[i + 1]))) {
    *length = 2;
    return 0x10000 + ((unit - 0xD800) << 10) + (static_cast<std::uint32_t>(units[i + 1]) - 0xDC00);
  }
  return unit;
}

// UTF-8, or for a lone surrogate the same three-byte form.
void AppendUtf8(std::string &out, std::uint32_t point) {
  if (point < 0x80) {
    out.push_back(static_cast<char>(point));
  } else if (point < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (point >> 6)));
    out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
  } else if (point < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (point >> 12)));
    out.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (point >> 18)));
    out.push_back(static_cast<char>(0x80 | ((point >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
  }
}

std::string Hex(std::uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, static_cast<unsigned>(value));
  return text;
}

// Characters that show as nothing or as a plain space, or that reorder the text around them.
bool IsInvisible(std::uint32_t point) {
  return point < 0x20 || (point >= 0x7F && point <= 0xA0) || point == 0xAD || point == 0x34F ||
         point == 0x61C || point == 0x115F || point == 0x1160 || point == 0x1680 ||
         point == 0x17B4 || point == 0x17B5 || (point >= 0x180B && point <= 0x180F) ||
         (point >= 0x2000 && point <= 0x200F) || (point >= 0x2028 && point <= 0x202F) ||
         (point >= 0x205F && point <= 0x206F) || point == 0x3000 || point == 0x3164 ||
         (point >= 0xFE00 && point <= 0xFE0F) || point == 0xFEFF || point == 0xFFA0 ||
         (point >= 0xFFF0 && point <= 0xFFFB) || point == 0xFFFE || point == 0xFFFF ||
         (point >= 0x1D173 && point <= 0x1D17A) || (point >= 0xE0000 && point <= 0xE0FFF) ||
         (point >= 0xD800 && point <= 0xDFFF);
}

std::string Bracketed(std::wstring_view units, bool byteEscapes) {
  std::string text = "[";
  text += Visible(units, byteEscapes);
  return text += "]";
}

std::string Json(std::wstring_view units) {
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
    } else if (point < 0x20 || point == 0x2028 || point == 0x2029 ||
               (point >= 0xD800 && point <= 0xDFFF)) {
      out += "\\u" + Hex(point, 4);
    } else {
      AppendUtf8(out, point);
    }
  }
  return out + "\"";
}

std::string Arguments(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " argument" : " arguments");
}

} // namespace

std::string Visible(std::wstring_view units, bool byteEscapes) {
  std::string out;
  out.reserve(units.size());
  for (std::size_t i = 0, length = 0; i < units.size(); i += length) {
    const std::uint32_t point = CodePointAt(units, i, &length);
    if (point == '<')
      out += "<<";
    else if (point == '\t')
      out += "<TAB>";
    else if (point == '\r')
      out += "<CR>";
    else if (point == '\n')
      out += "<LF>";
    else if (byteEscapes && point >= 0xDC80 && point <= 0xDCFF)
      out += "<0x" + Hex(point - 0xDC00, 2) + ">";
    else if (IsInvisible(point))
      out += "<U+" + Hex(point, 4) + ">";
    else
      AppendUtf8(out, point);
  }
  return out;
}

std::string PlainView(const ShownLog &log, bool byteEscapes) {
  const Reading &reading = log.reading;
  std::string text = "File: " + Visible(log.file, byteEscapes) + "\n";
  if (log.time)
    text += "Time: " + *log.time + "\n";
  text += "Program: " + Bracketed(reading.program, byteEscapes) + "\n";
  for (std::size_t i = 0; i < reading.arguments.size(); ++i)
    text +=
        "ARG[" + std::to_string(i + 1) + "] " + Bracketed(reading.arguments[i], byteEscapes) + "\n";
  const std::string count = Arguments(reading.arguments.size());
  if (!reading.complete) {
    text += count + " so far: the record is cut short (the last line may be incomplete, and no "
                    "ReturnCode line follows).\n";
  } else {
    text +=
        count + "; ReturnCode = " + std::to_string(reading.returnCode.value_or(0)) +
        (reading.countAgrees ? ", which agrees.\n" : ", which does not agree with that count.\n");
  }
  if (reading.ambiguous)
    text += "Ambiguous: an argument holds text that looks like further lines, and the file can "
            "be read in more than one way; this is one of them.\n";
  if (text.find('<') != std::string::npos)
    text += "Escapes: <TAB>, <CR>, <LF> and <U+XXXX> stand for characters that would not show or "
            "could be mistaken" +
            std::string(byteEscapes ? ", <0xXX> for a byte that is not UTF-8" : "") +
            "; << is a <.\n";
  return text;
}

std::string JsonView(const ShownLog &log) {
  const Reading &reading = log.reading;
  std::string json = "{\"file\":";
  json += Json(log.file);
  json += ",\"time\":";
  if (log.time) {
    std::string stamp = *log.time;
    stamp[stamp.find(' ')] = 'T';
    json += "\"" + stamp + "\"";
  } else {
    json += "null";
  }
  json += ",\"program\":";
  json += Json(reading.program);
  json += ",\"arguments\":[";
  for (std::size_t i = 0; i < reading.arguments.size(); ++i) {
    if (i > 0)
      json += ',';
    json += Json(reading.arguments[i]);
  }
  json += "],\"return_code\":";
  json += reading.returnCode ? std::to_string(*reading.returnCode) : "null";
  json += ",\"complete\":";
  json += reading.complete ? "true" : "false";
  json += ",\"ambiguous\":";
  json += reading.ambiguous ? "true" : "false";
  return json += "}\n";
}

std::string ReceivedBytes(std::wstring_view units, bool byteEscapes) {
  std::string out;
  out.reserve(units.size());
  for (std::size_t i = 0, length = 0; i < units.size(); i += length) {
    const std::uint32_t point = CodePointAt(units, i, &length);
    if (byteEscapes && point >= 0xDC80 && point <= 0xDCFF)
      out.push_back(static_cast<char>(point - 0xDC00));
    else
      AppendUtf8(out, point);
  }
  return out;
}

std::string NullSeparated(const Reading &reading, bool byteEscapes) {
  std::string out;
  for (const WideString &argument : reading.arguments)
    out += ReceivedBytes(argument, byteEscapes) + '\0';
  return out;
}

std::string FirstDifference(const Reading &reading, const std::vector<WideString> &expected,
                            bool byteEscapes) {
  const std::vector<WideString> &found = reading.arguments;
  if (!reading.complete)
    return "the record is cut short after " + Arguments(found.size()) +
           ", so it cannot show that exactly these arrived";
  for (std::size_t i = 0; i < found.size() && i < expected.size(); ++i)
    if (found[i] != expected[i])
      return "ARG[" + std::to_string(i + 1) + "] differs: expected " +
             Bracketed(expected[i], byteEscapes) + ", found " + Bracketed(found[i], byteEscapes);
  const std::string counts = " (the log has " + Arguments(found.size()) + ", expected " +
                             std::to_string(expected.size()) + ")";
  if (found.size() < expected.size())
    return "ARG[" + std::to_string(found.size() + 1) + "] " +
           Bracketed(expected[found.size()], byteEscapes) + " is missing" + counts;
  if (found.size() > expected.size())
    return "ARG[" + std::to_string(expected.size() + 1) + "] " +
           Bracketed(found[expected.size()], byteEscapes) + " was not expected" + counts;
  if (!reading.countAgrees)
    return "the arguments are as expected, but ReturnCode = " +
           std::to_string(reading.returnCode.value_or(0)) + " does not fit their count";
  return "the arguments are as expected, but the file is not exactly their record";
}

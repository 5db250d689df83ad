// Showing a log.
#include "reader/show.h"

#include "text/codec.h"
#include "text/escape.h"
#include "text/unicode.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace reader {

namespace {

// "2 readings fit", or at the cap "1000 or more readings fit".
std::string ReadingsFit(const Reading &reading) {
  return std::to_string(reading.readings) +
         (reading.readings >= kManyReadings ? " or more readings fit" : " readings fit");
}

// One reading on one line: its arguments, after its program when the readings differ in that.
std::string OneReading(const Reading &reading, const WideString &program,
                       const std::vector<WideString> &arguments, bool byteEscapes) {
  const bool programsDiffer =
      reading.program != program ||
      std::any_of(reading.alsoFitting.begin(), reading.alsoFitting.end(),
                  [&](const ArgumentList &other) { return other.program != program; });
  std::string text;
  if (programsDiffer)
    text.append("program ").append(text::Bracketed(program, byteEscapes)).append(", ");
  text += ArgumentCount(arguments.size());
  for (const WideString &argument : arguments)
    text.append(1, ' ').append(text::Bracketed(argument, byteEscapes));
  return text;
}

// Appends the program and each argument on a line of its own.
void AppendListLines(std::string &text, const WideString &program,
                     const std::vector<WideString> &arguments, bool byteEscapes) {
  text.append("Program: ");
  text::AppendBracketed(text, program, byteEscapes);
  text.push_back('\n');
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    text.append(text::ArgumentLabel(i + 1)).push_back(' ');
    text::AppendBracketed(text, arguments[i], byteEscapes);
    text.push_back('\n');
  }
}

// The text, and a line saying what its escapes stand for when it holds any.
std::string WithEscapesNote(std::string text, bool byteEscapes) {
  if (text.find('<') != std::string::npos)
    text += "Escapes: <TAB>, <CR>, <LF> and <U+XXXX> stand for characters that would not show or "
            "could be mistaken" +
            std::string(byteEscapes ? ", <0xXX> for a byte that is not UTF-8" : "") +
            "; << is a <.\n";
  return text;
}

// Appends "program":...,"arguments":[...], in room reserved for all of it first: a big log's list
// would otherwise be copied as the text doubles, and its last copy would be its peak.
void AppendJsonList(std::string &json, const WideString &program,
                    const std::vector<WideString> &arguments) {
  // 128 bytes hold the list's punctuation and the fields a view writes after it.
  std::size_t size = json.size() + 128 + text::JsonStringSize(program);
  for (const WideString &argument : arguments)
    size += text::JsonStringSize(argument) + 1;
  json.reserve(size);
  json += "\"program\":";
  text::AppendJsonString(json, program);
  json += ",\"arguments\":[";
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (i > 0)
      json += ',';
    text::AppendJsonString(json, arguments[i]);
  }
  json += "]";
}

// The parameters cmd gives a batch file that it names as %0 to %9: more can be reached by shift.
constexpr std::size_t kNamedParameters = 10;

// A batch file's %0 to %9 as cmd gives them, how many there are after %0, %*, and the warnings.
std::string BatchLines(const text::BatchView &batch, bool byteEscapes) {
  const std::size_t count = batch.parameters.empty() ? 0 : batch.parameters.size() - 1;
  std::string text = "Batch file: ";
  text.append(std::to_string(count))
      .append(count == 1 ? " parameter" : " parameters")
      .append(", as cmd gives them.\n");
  for (std::size_t i = 0; i < batch.parameters.size() && i < kNamedParameters; ++i)
    text.append("%")
        .append(std::to_string(i))
        .append(" ")
        .append(text::Bracketed(batch.parameters[i], byteEscapes))
        .append("\n");
  text.append("%* ").append(text::Bracketed(batch.rest, byteEscapes)).append("\n");
  for (const std::wstring &warning : batch.warnings)
    text.append("Warning: ").append(text::Visible(warning, byteEscapes)).append("\n");
  return text;
}

// ,"batch":{"parameters":[...],"rest":...,"warnings":[...]}
std::string JsonBatch(const text::BatchView &batch) {
  const auto array = [](const std::vector<std::wstring> &strings) {
    std::string json = "[";
    for (std::size_t i = 0; i < strings.size(); ++i)
      json.append(i == 0 ? "" : ",").append(text::JsonString(strings[i]));
    return json + "]";
  };
  return ",\"batch\":{\"parameters\":" + array(batch.parameters) +
         ",\"rest\":" + text::JsonString(batch.rest) + ",\"warnings\":" + array(batch.warnings) +
         "}";
}

} // namespace

std::string ArgumentCount(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " argument" : " arguments");
}

std::string ShownTime(const platform::SYSTEMTIME &time, char separator) {
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d%c%02d:%02d:%02d", time.wYear, time.wMonth,
                time.wDay, separator, time.wHour, time.wMinute, time.wSecond);
  return text;
}

std::string PlainView(const ShownLog &log, bool byteEscapes) {
  const Reading &reading = log.reading;
  std::string text = "File: " + text::Visible(log.file, byteEscapes) + "\n";
  if (log.time)
    text += "Time: " + ShownTime(*log.time) + "\n";
  if (log.owner)
    text += "Owner: " + text::Visible(*log.owner, byteEscapes) + "\n";
  AppendListLines(text, reading.program, reading.arguments, byteEscapes);
  const std::string count = ArgumentCount(reading.arguments.size());
  if (!reading.complete) {
    text += count + " so far: the record is cut short (the last line may be incomplete, and no "
                    "ReturnCode line follows).\n";
  } else {
    text +=
        count + "; ReturnCode = " + std::to_string(reading.returnCode.value_or(0)) +
        (reading.countAgrees ? ", which agrees.\n" : ", which does not agree with that count.\n");
  }
  if (reading.ambiguous) {
    text += "Ambiguous: an argument holds text that looks like further lines, and " +
            ReadingsFit(reading) +
            "; this is the first. Nothing in the file tells which one the "
            "recorder wrote.\n";
    for (const ArgumentList &other : reading.alsoFitting)
      text +=
          "Also fits: " + OneReading(reading, other.program, other.arguments, byteEscapes) + "\n";
  }
  return WithEscapesNote(std::move(text), byteEscapes);
}

std::string PlainListView(const ShownList &shown, bool byteEscapes) {
  std::string text;
  if (shown.line)
    text += "Line: " + text::Bracketed(*shown.line, byteEscapes) + "\n";
  AppendListLines(text, shown.list.program, shown.list.arguments, byteEscapes);
  text += ArgumentCount(shown.list.arguments.size()) +
          (shown.line ? ", as the recorder's splitter reads the line.\n" : ", as given.\n");
  if (shown.runtime)
    text += RuntimeDiffers(*shown.runtime, byteEscapes) + ".\n";
  if (shown.batch)
    text += BatchLines(*shown.batch, byteEscapes);
  return WithEscapesNote(std::move(text), byteEscapes);
}

std::string RuntimeDiffers(const ArgumentList &runtime, bool byteEscapes) {
  std::string text = "A program built with Microsoft's C runtime receives another list: program " +
                     text::Bracketed(runtime.program, byteEscapes) + ", " +
                     ArgumentCount(runtime.arguments.size());
  for (const WideString &argument : runtime.arguments)
    text.append(1, ' ').append(text::Bracketed(argument, byteEscapes));
  return text;
}

std::string JsonView(const ShownLog &log) {
  const Reading &reading = log.reading;
  std::string json = "{\"file\":";
  json += text::JsonString(log.file);
  json += ",\"time\":";
  if (log.time)
    json.append("\"").append(ShownTime(*log.time, 'T')).append("\"");
  else
    json += "null";
  json += ",\"owner\":";
  json += log.owner ? text::JsonString(*log.owner) : "null";
  json += ",";
  AppendJsonList(json, reading.program, reading.arguments);
  json += ",\"return_code\":";
  json += reading.returnCode ? std::to_string(*reading.returnCode) : "null";
  json += ",\"complete\":";
  json += reading.complete ? "true" : "false";
  json += ",\"ambiguous\":";
  json += reading.ambiguous ? "true" : "false";
  json += "}\n";
  return json;
}

std::string JsonListView(const ShownList &shown) {
  std::string json = "{\"line\":";
  json += shown.line ? text::JsonString(*shown.line) : "null";
  json += ',';
  AppendJsonList(json, shown.list.program, shown.list.arguments);
  if (shown.runtime) {
    json += ",\"c_runtime\":{";
    AppendJsonList(json, shown.runtime->program, shown.runtime->arguments);
    json += '}';
  }
  if (shown.batch)
    json += JsonBatch(*shown.batch);
  return json += "}\n";
}

std::string NullSeparated(const std::vector<WideString> &arguments, bool byteEscapes) {
  std::string out;
  for (const WideString &argument : arguments)
    out += text::ReceivedBytes(argument, byteEscapes) + '\0';
  return out;
}

std::optional<std::size_t> FirstNotAsBytes(const std::vector<WideString> &arguments,
                                           bool byteEscapes) {
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::wstring_view units = arguments[i];
    for (std::size_t at = 0, length = 0; at < units.size(); at += length) {
      const std::uint32_t point = text::CodePointAt(units, at, &length);
      if (point == 0 || (text::IsSurrogate(point) && !(byteEscapes && text::IsEscapedByte(point))))
        return i;
    }
  }
  return std::nullopt;
}

std::string FirstDifference(const Reading &reading, const std::vector<WideString> &expected,
                            bool byteEscapes) {
  const std::vector<WideString> &found = reading.arguments;
  if (!reading.complete)
    return "the record is cut short after " + ArgumentCount(found.size()) +
           ", so it cannot show that exactly these arrived";
  if (reading.ambiguous) {
    std::string text = "the log is ambiguous: " + ReadingsFit(reading) +
                       ", so it cannot show that "
                       "exactly these arrived";
    const auto add = [&](std::size_t number, const WideString &program,
                         const std::vector<WideString> &arguments) {
      text.append("; reading ").append(std::to_string(number)).append(": ");
      text += OneReading(reading, program, arguments, byteEscapes);
      if (arguments == expected)
        text += " (the ones expected)";
    };
    add(1, reading.program, found);
    for (std::size_t i = 0; i < reading.alsoFitting.size(); ++i)
      add(i + 2, reading.alsoFitting[i].program, reading.alsoFitting[i].arguments);
    return text;
  }
  if (found != expected)
    return ListDifference(found, expected, "the log", byteEscapes);
  if (!reading.countAgrees)
    return "the arguments are as expected, but ReturnCode = " +
           std::to_string(reading.returnCode.value_or(0)) + " does not fit their count";
  return "the arguments are as expected, but the file is not exactly their record";
}

std::string ListDifference(const std::vector<WideString> &found,
                           const std::vector<WideString> &expected, const std::string &where,
                           bool byteEscapes) {
  for (std::size_t i = 0; i < found.size() && i < expected.size(); ++i)
    if (found[i] != expected[i])
      return text::ArgumentLabel(i + 1) + " differs: expected " +
             text::Bracketed(expected[i], byteEscapes) + ", found " +
             text::Bracketed(found[i], byteEscapes);
  const std::string counts = " (" + where + " has " + ArgumentCount(found.size()) + ", expected " +
                             std::to_string(expected.size()) + ")";
  if (found.size() < expected.size())
    return text::ArgumentLabel(found.size() + 1) + " " +
           text::Bracketed(expected[found.size()], byteEscapes) + " is missing" + counts;
  if (found.size() > expected.size())
    return text::ArgumentLabel(expected.size() + 1) + " " +
           text::Bracketed(found[expected.size()], byteEscapes) + " was not expected" + counts;
  return "";
}

} // namespace reader

// The fake console: linked into the unit tests in place of a real one.
#include "tests/fake_console.h"

#include "text/command_line.h"

namespace fake {

Console &TheConsole() {
  static Console console;
  return console;
}

void ResetConsole(const Console &console) { TheConsole() = console; }

} // namespace fake

namespace platform {

namespace {

// Files are stamped on the file system's clock, counted here from the wall clock's epoch as the
// real platforms count; the fake's time is that clock moved on by the program's sleeps.
std::int64_t FileClockNanoseconds(std::filesystem::file_time_type time) {
  using std::chrono::nanoseconds;
  static const nanoseconds epoch =
      std::chrono::duration_cast<nanoseconds>(std::chrono::system_clock::now().time_since_epoch()) -
      std::chrono::duration_cast<nanoseconds>(
          std::filesystem::file_time_type::clock::now().time_since_epoch());
  return (std::chrono::duration_cast<nanoseconds>(time.time_since_epoch()) + epoch).count();
}

} // namespace

bool WriteText(Stream stream, std::string_view utf8) { return WriteBytes(stream, utf8); }

bool WriteBytes(Stream stream, std::string_view bytes) {
  fake::Console &console = fake::TheConsole();
  if (stream == Stream::Output && console.outputFails)
    return false;
  (stream == Stream::Output ? console.output : console.error).append(bytes);
  return true;
}

std::optional<std::string> ReadInput() { return fake::TheConsole().input; }

std::vector<WideString> SplitAsTheRecorder(std::wstring_view line) {
  return text::SplitCommandLine(line, text::SplitRules::kRecorder);
}

text::QuoteForm DefaultQuoteForm() { return fake::TheConsole().defaultForm; }

std::filesystem::path PathOf(std::wstring_view units) {
  return std::filesystem::path(std::u16string(units.begin(), units.end()));
}

WideString UnitsOf(const std::filesystem::path &path) {
  const std::u16string units = path.u16string();
  return WideString(units.begin(), units.end());
}

bool ArgumentsEscapeBytes() { return fake::TheConsole().byteEscapes; }

std::optional<Owner> OwnerOf(const std::filesystem::path &path) {
  std::error_code error;
  if (!std::filesystem::exists(std::filesystem::symlink_status(path, error)))
    return std::nullopt;
  const auto &owners = fake::TheConsole().owners;
  const auto found = owners.find(UnitsOf(path.filename()));
  return found != owners.end() ? found->second : Owner{L"1000", true, false};
}

std::optional<WideString> AccountName(const WideString &id) {
  const auto &accounts = fake::TheConsole().accounts;
  const auto found = accounts.find(id);
  return found != accounts.end() ? std::optional(found->second) : std::nullopt;
}

std::optional<WideString> AccountId(const WideString &account) {
  for (const auto &[id, name] : fake::TheConsole().accounts)
    if (account == id || account == name)
      return id;
  return std::nullopt;
}

std::int64_t ModifiedTime(const std::filesystem::path &path) {
  const auto &modified = fake::TheConsole().modified;
  if (const auto found = modified.find(UnitsOf(path.filename())); found != modified.end())
    return found->second;
  std::error_code error;
  const auto time = std::filesystem::last_write_time(path, error);
  return error ? 0 : FileClockNanoseconds(time);
}

std::int64_t Now() {
  const fake::Console &console = fake::TheConsole();
  return console.now.value_or(FileClockNanoseconds(std::filesystem::file_time_type::clock::now())) +
         std::chrono::duration_cast<std::chrono::nanoseconds>(console.slept).count();
}

std::int64_t StartTime() { return fake::TheConsole().startTime; }

std::int64_t StartWindow() { return fake::TheConsole().startWindow; }

std::chrono::steady_clock::time_point SteadyNow() {
  return std::chrono::steady_clock::time_point(fake::TheConsole().slept);
}

void Sleep(std::chrono::milliseconds duration) { fake::TheConsole().slept += duration; }

} // namespace platform

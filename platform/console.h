// What the companion reader, a console program, needs of the system beyond the recorder's
// operations: its standard streams, paths as the recorder's code units, who owns a file, and the
// clock files are stamped with.
#ifndef TARNWHISTLE_PLATFORM_CONSOLE_H
#define TARNWHISTLE_PLATFORM_CONSOLE_H

#include "platform/platform.h"
#include "text/quote.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class Stream { Output, Error };

// Writes valid UTF-8 text: to a Windows console through the wide console API, so that every
// character shows as itself; anywhere else as the UTF-8 bytes. False when not all of it was
// written (a full disk, a closed pipe).
bool WriteText(Stream stream, std::string_view utf8);

// Writes bytes unchanged; false when not all of them were written.
bool WriteBytes(Stream stream, std::string_view bytes);

// All of standard input; nothing when it cannot be read. A Windows console gives its text as
// UTF-8.
std::optional<std::string> ReadInput();

// A command line split as the recorder's process has its own split: by CommandLineToArgvW on
// Windows, elsewhere by the portable splitter of the same rules. The line holds no NUL and is not
// empty (the Windows function would answer with the caller's own path).
std::vector<WideString> SplitAsTheRecorder(std::wstring_view line);

// The form a list is quoted in when none is named: createprocess on Windows, sh elsewhere.
text::QuoteForm DefaultQuoteForm();

// A path from code units as the platform's splitter and temporary directory give them, and back.
std::filesystem::path PathOf(std::wstring_view units);
WideString UnitsOf(const std::filesystem::path &path);

// Whether arguments carry bytes that are not UTF-8 as the code units U+DC80 to U+DCFF.
bool ArgumentsEscapeBytes();

// Who owns a file: the owner's id as text (a uid in decimal, a SID as S-1-...), and whether it is
// this process's user (on Windows also the owner its token gives new files) or one of the system's
// own accounts (root and the accounts below the first ordinary uid; LocalSystem, LocalService,
// NetworkService, Administrators and the NT SERVICE accounts).
struct Owner {
  WideString id;
  bool own = false;
  bool system = false;
};

// The owner of the file itself, not of what a link at the path points to; nothing when the system
// cannot tell.
std::optional<Owner> OwnerOf(const std::filesystem::path &path);

// The name of the account with this id ("alice", "NT AUTHORITY\SYSTEM"); nothing when none has
// a name.
std::optional<WideString> AccountName(const WideString &id);

// The id of the account given by its name or by its id; nothing when there is no such account. An
// id that no account is named for is still an id, since files can belong to it.
std::optional<WideString> AccountId(const WideString &account);

// Times on the clock files are stamped with, in its units (100 ns on Windows, 1 ns on Linux); 0
// when unknown.
std::int64_t ModifiedTime(const std::filesystem::path &path);
std::int64_t Now();

// The earliest write time a file written after this process was created can have: the creation
// as the system keeps it, lowered by the rounding of that record and by how far the clock that
// stamps files lags behind (on Linux without /proc, the time of the call instead). A file written
// up to StartWindow() before the creation may also be at or after it.
std::int64_t StartTime();
std::int64_t StartWindow();

// A clock that never goes back, for deadlines, and a pause of the given length.
std::chrono::steady_clock::time_point SteadyNow();
void Sleep(std::chrono::milliseconds duration);

} // namespace platform

#endif

// Accounts as text, for the platform layers and their tests: the POSIX account files, read without
// the name service (a static program cannot load its modules), and the Windows SIDs that stand for
// the system's own accounts.
#ifndef TARNWHISTLE_PLATFORM_ACCOUNTS_H
#define TARNWHISTLE_PLATFORM_ACCOUNTS_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace accounts {

// The uid written as a plain decimal number; nothing for anything else, or for 2^32 - 1, which
// stands for no user.
std::optional<std::uint32_t> UidOfText(std::string_view text);

// From /etc/passwd text: the name of the first entry with this uid, and the uid of the first entry
// with this name. Lines that are not entries (blank, NIS "+" and "-" lines, a uid that is not a
// number) are passed over.
std::optional<std::string> NameOfUid(std::string_view passwd, std::uint32_t uid);
std::optional<std::uint32_t> UidOfName(std::string_view passwd, std::string_view name);

// The first ordinary user id, as the UID_MIN line of /etc/login.defs text sets it (decimal, octal
// or hexadecimal, the last such line winning, as the shadow tools read it); 1000 when it is absent
// or not a number.
std::uint32_t FirstUserId(std::string_view loginDefs);

// Whether the uid is root's or a system account's: below the first ordinary user id.
bool IsSystemUid(std::uint32_t uid, std::uint32_t firstUserId);

// Whether the SID, as ConvertSidToStringSidW writes it, is one of the system's own accounts:
// LocalSystem, LocalService, NetworkService, the Administrators group, or a service's own account
// (NT SERVICE\..., S-1-5-80-...).
bool IsSystemSid(std::wstring_view sid);

} // namespace accounts

#endif

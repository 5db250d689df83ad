// Accounts as text.
//
// /etc/passwd holds one entry a line, "name:password:uid:gid:gecos:home:shell"; the first entry
// with a uid or a name is the one the system uses. /etc/login.defs holds "NAME VALUE" lines and
// comments after '#'; a value may stand in double quotes, and the last line of a name sets it.
#include "platform/accounts.h"

#include <algorithm>
#include <array>

namespace accounts {

namespace {

constexpr std::uint32_t kDefaultFirstUserId = 1000;
constexpr std::uint32_t kNoUser = 0xFFFFFFFF;

// The number in the digits of this base, every character one of them; nothing when it does not
// fit in 32 bits.
std::optional<std::uint32_t> NumberOf(std::string_view digits, unsigned base) {
  if (digits.empty())
    return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : digits) {
    const unsigned digit = c >= '0' && c <= '9'   ? static_cast<unsigned>(c - '0')
                           : c >= 'a' && c <= 'f' ? static_cast<unsigned>(c - 'a' + 10)
                           : c >= 'A' && c <= 'F' ? static_cast<unsigned>(c - 'A' + 10)
                                                  : base;
    if (digit >= base)
      return std::nullopt;
    value = value * base + digit;
    if (value > 0xFFFFFFFF)
      return std::nullopt;
  }
  return static_cast<std::uint32_t>(value);
}

// The name and uid fields of each entry of /etc/passwd text, in order, until the visitor says stop.
template <typename Visit> void ForEachEntry(std::string_view passwd, Visit visit) {
  while (!passwd.empty()) {
    const std::size_t end = passwd.find('\n');
    std::string_view line = passwd.substr(0, end);
    passwd.remove_prefix(end == std::string_view::npos ? passwd.size() : end + 1);
    if (line.empty() || line[0] == '+' || line[0] == '-')
      continue;
    std::array<std::string_view, 3> fields;
    std::size_t count = 0;
    for (; count < fields.size(); ++count) {
      const std::size_t colon = line.find(':');
      fields[count] = line.substr(0, colon);
      if (colon == std::string_view::npos) {
        ++count;
        break;
      }
      line.remove_prefix(colon + 1);
    }
    const std::optional<std::uint32_t> uid =
        count == fields.size() ? UidOfText(fields[2]) : std::nullopt;
    if (!fields[0].empty() && uid && visit(fields[0], *uid))
      return;
  }
}

} // namespace

std::optional<std::uint32_t> UidOfText(std::string_view text) {
  const std::optional<std::uint32_t> uid = NumberOf(text, 10);
  return uid && *uid != kNoUser ? uid : std::nullopt;
}

std::optional<std::string> NameOfUid(std::string_view passwd, std::uint32_t uid) {
  std::optional<std::string> found;
  ForEachEntry(passwd, [&](std::string_view name, std::uint32_t entryUid) {
    if (entryUid == uid)
      found = std::string(name);
    return found.has_value();
  });
  return found;
}

std::optional<std::uint32_t> UidOfName(std::string_view passwd, std::string_view name) {
  std::optional<std::uint32_t> found;
  ForEachEntry(passwd, [&](std::string_view entryName, std::uint32_t uid) {
    if (entryName == name)
      found = uid;
    return found.has_value();
  });
  return found;
}

std::uint32_t FirstUserId(std::string_view loginDefs) {
  constexpr std::string_view kName = "UID_MIN";
  constexpr std::string_view kBlank = " \t\r";
  std::optional<std::string_view> value;
  while (!loginDefs.empty()) {
    const std::size_t end = loginDefs.find('\n');
    std::string_view line = loginDefs.substr(0, end);
    loginDefs.remove_prefix(end == std::string_view::npos ? loginDefs.size() : end + 1);
    line.remove_prefix(std::min(line.find_first_not_of(kBlank), line.size()));
    const std::size_t nameEnd = std::min(line.find_first_of(kBlank), line.size());
    if (line.substr(0, nameEnd) != kName)
      continue;
    line.remove_prefix(nameEnd);
    line.remove_prefix(std::min(line.find_first_not_of(" \t\r\""), line.size()));
    line = line.substr(0, line.find('"'));
    line = line.substr(0, line.find_last_not_of(kBlank) + 1);
    value = line;
  }
  if (!value)
    return kDefaultFirstUserId;
  std::optional<std::uint32_t> number;
  if (value->size() > 2 && (value->starts_with("0x") || value->starts_with("0X")))
    number = NumberOf(value->substr(2), 16);
  else if (value->size() > 1 && value->starts_with("0"))
    number = NumberOf(value->substr(1), 8);
  else
    number = NumberOf(*value, 10);
  return number.value_or(kDefaultFirstUserId);
}

bool IsSystemUid(std::uint32_t uid, std::uint32_t firstUserId) {
  return uid == 0 || uid < firstUserId;
}

bool IsSystemSid(std::wstring_view sid) {
  return sid == L"S-1-5-18" || sid == L"S-1-5-19" || sid == L"S-1-5-20" || sid == L"S-1-5-32-544" ||
         (sid.starts_with(L"S-1-5-80-") && sid.size() > 9);
}

} // namespace accounts

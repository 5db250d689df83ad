// Whose logs a search of a folder takes.
#include "reader/trust.h"

#include "text/escape.h"

#include <algorithm>

namespace reader {

namespace {

// An error line stays one line: the rest are counted.
constexpr std::size_t kOwnersNamed = 4;

} // namespace

bool Trusts(const Trust &trust, const platform::Owner &owner) {
  return owner.own || (trust.systemAccounts && owner.system) ||
         std::find(trust.accounts.begin(), trust.accounts.end(), owner.id) != trust.accounts.end();
}

std::string PassedOver(const std::vector<WideString> &owners, bool byteEscapes) {
  std::string text;
  for (std::size_t i = 0; i < owners.size() && i < kOwnersNamed; ++i)
    text += (i > 0 ? ", " : "") + text::Visible(owners[i], byteEscapes);
  if (owners.size() > kOwnersNamed)
    text += " and " + std::to_string(owners.size() - kOwnersNamed) + " more";
  return text;
}

} // namespace reader

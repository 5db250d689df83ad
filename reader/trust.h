// Whose logs a search of a folder takes. Anyone may plant a file with a log's name in a shared
// temporary folder, so a search takes only the logs of accounts the reader can trust.
#ifndef TARNWHISTLE_READER_TRUST_H
#define TARNWHISTLE_READER_TRUST_H

#include "platform/console.h"

#include <string>
#include <vector>

namespace reader {

using platform::WideString;

// Always the reader's own user; with --dir also the system's own accounts, whose services the
// README sends people to; and any account named with --owner.
struct Trust {
  bool systemAccounts = false;
  std::vector<WideString> accounts; // ids, as platform::AccountId gives them
};

bool Trusts(const Trust &trust, const platform::Owner &owner);

// The owners whose logs a search passed over, by name where they have one, for an error line:
// "nobody, 4242", the first few in order and then how many more.
std::string PassedOver(const std::vector<WideString> &owners, bool byteEscapes);

} // namespace reader

#endif

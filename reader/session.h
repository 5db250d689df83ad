// One run of the reader: what it was asked, whose logs a search takes, and whether what it said
// reached its streams.
#ifndef TARNWHISTLE_READER_SESSION_H
#define TARNWHISTLE_READER_SESSION_H

#include "reader/options.h"
#include "reader/run.h"
#include "reader/trust.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace reader {

struct Session {
  const Options &options;
  bool byteEscapes;
  Trust trust = {};
  bool outputFailed = false;
  std::int64_t newestRead = 0; // the newest write time of the logs read
};

// Writes the text to standard output.
void Say(Session &session, const std::string &text);

// Writes one line to standard error, after the program's name; returns the status it goes with.
int Complain(Session &session, const std::string &text, int status = kReaderFailed);

// A path as the views show it.
std::string Shown(const Session &session, const std::filesystem::path &path);

} // namespace reader

#endif

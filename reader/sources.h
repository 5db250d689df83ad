// Where the list to show comes from: the logs a run names or finds, each read into a subject, or
// a command line split, or the reader's own arguments.
#ifndef TARNWHISTLE_READER_SOURCES_H
#define TARNWHISTLE_READER_SOURCES_H

#include "reader/session.h"
#include "reader/show.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace reader {

// What a view shows: a log, read (or why it is no record), or a list from a command line or the
// reader's own arguments.
struct Subject {
  std::optional<ShownLog> log;
  std::string bytes;   // the log's, as read, where they are kept
  std::string problem; // why the file is no record, or cannot be read
  std::optional<ShownList> list;
};

// The program and the arguments the subject shows, where they are held: a big log's are not
// copied.
const WideString &ProgramOf(const Subject &subject);
const std::vector<WideString> &ArgumentsOf(const Subject &subject);

// The status showing the subject gives: failed for a file that is no record, uncertain for a
// reading that is not certain or a batch file's line on which cmd would act, else done.
int StatusOf(const Subject &subject);

// Why the subject's list is not certain, for a view that cannot say so beside what it prints.
std::string WhyUncertain(const Subject &subject, bool byteEscapes);

// The log at the path, read; its bytes kept only when asked (--expect compares them).
Subject LogSubject(const std::filesystem::path &path, bool keepBytes);

// The list --split or --args gives, or why there is none.
std::optional<Subject> ListSubject(const Options &options, std::string &problem);

// The logs to read, in order: the ones named, or from a search of the folder (every one the
// trust takes for --list, else the newest, or a new one with --wait). Nothing, once the reason
// has been said on standard error, when there is none.
std::optional<std::vector<std::filesystem::path>> LogsToRead(Session &session,
                                                             std::int64_t started);

} // namespace reader

#endif

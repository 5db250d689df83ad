// What every part of a run writes through.
#include "reader/session.h"

#include "platform/console.h"
#include "text/escape.h"

namespace reader {

void Say(Session &session, const std::string &text) {
  if (!platform::WriteText(platform::Stream::Output, text))
    session.outputFailed = true;
}

int Complain(Session &session, const std::string &text, int status) {
  if (!platform::WriteText(platform::Stream::Error, "tarnwhistle-read: " + text + "\n"))
    session.outputFailed = true;
  return status;
}

std::string Shown(const Session &session, const std::filesystem::path &path) {
  return text::Visible(platform::UnitsOf(path), session.byteEscapes);
}

} // namespace reader

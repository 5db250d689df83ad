// What the POSIX platform needs beyond the common operations: the process's argv, and the lossless
// conversion between bytes and UTF-16 code units that it applies to arguments and paths.
#ifndef TARNWHISTLE_PLATFORM_POSIX_H
#define TARNWHISTLE_PLATFORM_POSIX_H

#include "platform/platform.h"

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Takes the argv that main received, which stands in for the command line on POSIX. Called once,
// before anything asks for the command line.
void SetProcessArguments(int argc, char **argv);

// Decodes UTF-8 into UTF-16 code units. A byte that is not part of a valid sequence becomes the
// lone surrogate U+DC00 + byte, so every byte string decodes, and encodes back, unchanged.
WideString DecodeBytes(std::string_view bytes);

// The bytes that decode to these code units; nothing when no byte string does (a lone surrogate
// other than an escaped byte).
std::optional<std::string> EncodeUnits(std::wstring_view units);

} // namespace platform

#endif

// The stack protector's canary and failure path for the MinGW-w64 builds, in place of GCC's libssp.
//
// libssp seeds the canary through the CryptoAPI, whose provider DLLs (rsaenh, crypt32, bcrypt)
// cost a run more than all its own work: 3.5 ms of 34 under Wine. RtlGenRandom gives the same
// randomness without them. Later MinGW-w64 runtimes define these two symbols themselves; Debian
// 12's (10.0) does not.
//
// Rules: every protected function stores the canary as it starts and compares it as it returns,
// so it is set once, by a constructor, which runs before main and the program's own code; the
// constructor itself must not be protected, since the value changes under it. The lowest byte is
// zero, so that no string copy can read past the canary or write it back.
#include "platform/windows_api.h"

#include <ntsecapi.h>

#include <cstdint>

extern "C" {

// A terminator canary (zero, line feed, 0xFF) until the constructor replaces it.
std::uintptr_t __stack_chk_guard = 0xFF0A000000000000u;

// Called by a protected function whose canary was overwritten: ends the process at once, as
// __fastfail does, reported as a stack buffer overrun and with none of its handlers run.
[[noreturn]] void __stack_chk_fail() {
  asm volatile("int $0x29" : : "c"(FAST_FAIL_STACK_COOKIE_CHECK_FAILURE));
  __builtin_unreachable();
}

} // extern "C"

namespace {

__attribute__((constructor, no_stack_protector)) void SeedStackGuard() {
  std::uintptr_t seed = 0;
  if (RtlGenRandom(&seed, sizeof seed) && (seed & ~std::uintptr_t{0xFF}) != 0)
    __stack_chk_guard = seed & ~std::uintptr_t{0xFF};
}

} // namespace

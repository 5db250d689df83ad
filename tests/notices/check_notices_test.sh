#!/usr/bin/env bash
# scripts/check-notices against link maps made for the purpose: a GNU ld map of a Linux program
# and an lld (MSVC-style) map of a Windows program are read whole and pass; a library that no
# "Linked as" line names, or one named only for the other system, fails the check by its name.
# Usage: check_notices_test.sh SOURCE_DIR
set -euo pipefail
source_dir=$1
here=$(dirname "$0")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# build NAME SYSTEM MAP: a build folder of that system whose one program has that link map.
build() {
  mkdir -p "$work/$1/CMakeFiles/3.25.1" "$work/$1/link-maps"
  echo "set(CMAKE_SYSTEM_NAME \"$2\")" >"$work/$1/CMakeFiles/3.25.1/CMakeSystem.cmake"
  cp "$3" "$work/$1/link-maps/program.map"
}

# expect STATUS TEXT NAME: check-notices exits with STATUS on that build and prints TEXT.
expect() {
  local status=0 output
  output=$("$source_dir/scripts/check-notices" "$work/$3" 2>&1) || status=$?
  if [ "$status" -ne "$1" ] || ! grep -qF -- "$2" <<<"$output"; then
    echo "FAILED: $3: expected status $1 and \"$2\"; got status $status: $output"
    failures=$((failures + 1))
  fi
}

build linux Linux "$here/linux-ld.map"
expect 0 "links crtbeginS.o crtendS.o crti.o crtn.o libc.a libgcc_eh.a libstdc++.a rcrt1.o, all named" linux

build windows Windows "$here/windows-lld.map"
expect 0 "links crt2.o libkernel32.a libmingwex.a libpthread.a libstdc++.a, all named" windows

build unknown Linux "$here/linux-ld.map"
printf '%s\n' 'Archive member included to satisfy reference by file (symbol)' '' \
  '/opt/lib/libfoo.a(foo.o)    librecorder.a(run.cpp.o) (Foo())' \
  >"$work/unknown/link-maps/program.map"
cat "$here/linux-ld.map" >>"$work/unknown/link-maps/program.map"
expect 1 "links libfoo.a, which THIRD-PARTY-NOTICES does not name" unknown

# libresolv.a is glibc's: named for Linux, so a Windows program linking one is not covered.
build crossed Windows "$here/windows-lld.map"
echo ' 0001:00009000       res_init                   000000014000a000     libresolv:res_init.o' \
  >>"$work/crossed/link-maps/program.map"
expect 1 "links libresolv.a, which THIRD-PARTY-NOTICES does not name" crossed

build empty Linux /dev/null
expect 1 "names no linked file" empty

echo "$((5 - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]

// A helper for the tests: writes the arguments its C runtime split from its command line to
// standard output, each as UTF-16LE code units followed by a zero unit, element 0 first.
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cwchar>
#include <vector>

int wmain(int argc, wchar_t **argv) {
  std::vector<wchar_t> units;
  for (int i = 0; i < argc; ++i)
    units.insert(units.end(), argv[i], argv[i] + std::wcslen(argv[i]) + 1);
  DWORD written = 0;
  const DWORD size = static_cast<DWORD>(units.size() * sizeof(wchar_t));
  return WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), units.data(), size, &written, nullptr) &&
                 written == size
             ? 0
             : 1;
}

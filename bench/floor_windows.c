/* Baseline: the platform's own work in a run with these arguments, and nothing else. Splits the
 * command line with the platform's splitter (which loads shell32.dll), creates a file in the
 * temporary-files folder, makes the same number of writes of the same sizes as the record, and
 * closes it. */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <shellapi.h>

static char zeros[1 << 17];

static DWORD Digits(long value) {
  DWORD digits = 1;
  while (value >= 10)
    value /= 10, ++digits;
  return digits;
}

static DWORD Quotes(const wchar_t *argument) {
  for (; *argument; ++argument)
    if (*argument == L' ')
      return 2;
  return 0;
}

static void Write(HANDLE file, DWORD units) {
  DWORD written = 0;
  WriteFile(file, zeros, 2 * units, &written, NULL);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  (void)instance, (void)previous, (void)commandLine, (void)show;
  int count = 0;
  wchar_t **arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == NULL)
    return 1;
  wchar_t path[MAX_PATH + 32];
  const DWORD length = GetTempPathW(MAX_PATH, path);
  if (length == 0 || length > MAX_PATH)
    return 20;
  lstrcpyW(path + length, L"Tarnwhistle_floor.log");
  const HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE)
    return 21;
  const int status = count <= 1 ? 10 : count - 1 > 255 ? 255 : count - 1;
  DWORD written = 0;
  WriteFile(file, zeros, 2, &written, NULL);
  Write(file, 10 + (DWORD)lstrlenW(arguments[0]) + 2);
  for (int i = 1; i < count; ++i)
    Write(file, 4 + Digits(i) + 4 + (DWORD)lstrlenW(arguments[i]) + Quotes(arguments[i]) + 2);
  Write(file, 13 + Digits(status) + 2);
  CloseHandle(file);
  LocalFree(arguments);
  return status;
}

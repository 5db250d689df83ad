// Times programs from start to exit, interleaved round by round so that each is measured in the
// same run as the others.
//
// usage: timer_windows ROUNDS ARGUMENTS FOLDER PROGRAM...
// Each program gets ARGUMENTS one-letter arguments and TMP=FOLDER. Prints, per program, the
// median, minimum and maximum time in microseconds.
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int wmain(int argc, wchar_t **argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: timer_windows ROUNDS ARGUMENTS FOLDER PROGRAM...\n");
    return 2;
  }
  const int rounds = _wtoi(argv[1]);
  const int arguments = _wtoi(argv[2]);
  std::vector<wchar_t> environment;
  const std::wstring tmp = std::wstring(L"TMP=") + argv[3];
  environment.assign(tmp.begin(), tmp.end());
  environment.insert(environment.end(), {L'\0', L'\0'});
  std::wstring letters;
  for (int i = 0; i < arguments; ++i)
    letters += std::wstring(L" ") + static_cast<wchar_t>(L'a' + i % 26);

  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  const int programs = argc - 4;
  std::vector<std::vector<double>> times(programs);
  for (int round = 0; round < rounds; ++round) {
    for (int p = 0; p < programs; ++p) {
      std::wstring line = L"\"" + std::wstring(argv[4 + p]) + L"\"" + letters;
      STARTUPINFOW startup = {};
      startup.cb = sizeof startup;
      PROCESS_INFORMATION info;
      LARGE_INTEGER start, end;
      // Under load Wine now and then fails a start of the longest command line with error 1359
      // (an internal error): a failed start is tried again, untimed, rather than end the run.
      bool started = false;
      for (int attempt = 0; attempt < 3 && !started; ++attempt) {
        if (attempt > 0)
          Sleep(200);
        QueryPerformanceCounter(&start);
        started = CreateProcessW(argv[4 + p], line.data(), nullptr, nullptr, FALSE,
                                 CREATE_UNICODE_ENVIRONMENT, environment.data(), nullptr, &startup,
                                 &info) != FALSE;
        if (!started)
          std::fprintf(stderr, "cannot start program %d: error %lu\n", p, GetLastError());
      }
      if (!started)
        return 1;
      WaitForSingleObject(info.hProcess, INFINITE);
      QueryPerformanceCounter(&end);
      CloseHandle(info.hThread);
      CloseHandle(info.hProcess);
      times[p].push_back(static_cast<double>(end.QuadPart - start.QuadPart) * 1e6 /
                         static_cast<double>(frequency.QuadPart));
      // Wine tears a process down after its exit is signalled; without a pause that work lands
      // in the next run's time and the figures split into two modes.
      Sleep(30);
    }
  }
  for (int p = 0; p < programs; ++p) {
    std::vector<double> &t = times[p];
    std::sort(t.begin(), t.end());
    std::printf("%ls %.1f %.1f %.1f\n", argv[4 + p], t[t.size() / 2], t.front(), t.back());
  }
  return 0;
}

/* Baseline: a GUI-subsystem process that starts and returns at once. */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  (void)instance, (void)previous, (void)commandLine, (void)show;
  return 0;
}

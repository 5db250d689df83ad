// The Windows process entry: a GUI-subsystem program with no window.
//
// It includes <windows.h> itself, for the declaration that gives WinMain the C linkage the runtime
// calls it by: platform/windows_api.h is the platform layer's own, and brings its helpers too.
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "recorder/run.h"

// The recorder reads the wide command line itself; the narrow one here would lose characters.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return recorder::RunRecorder(); }

// The runtime probe: a test DLL built from hwGateK.dll's runtime and entry
// point, with the same no-C-library link, exporting the runtime's printf and
// clock so that the host can drive them directly.
#include "hwgatek/port_access.h"
#include "win_runtime.h"

extern "C" {
__declspec(dllexport) long probe_clock() { return clock(); }
__declspec(dllexport) int probe_printf_int(const char* format, int value) {
  return printf(format, value);
}
__declspec(dllexport) int probe_printf_text(const char* format, const char* text) {
  return printf(format, text);
}
}

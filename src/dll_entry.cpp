// hwGateK.dll's entry point, which the loader calls on every attach and
// detach: it starts the DLL's runtime before anything else (clock counts
// from here) and writes out the runtime's standard output last, at detach.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "win_runtime.h"

namespace {
bool m_started = false;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

// Named by the link (-e _DllMainCRTStartup@12). When the runtime cannot
// start, the load fails without DllMain; the loader's detach call that
// follows a refused attach then finds nothing to end.
extern "C" BOOL WINAPI DllMainCRTStartup(HINSTANCE module, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    if (!hwgatek::runtime::start()) return FALSE;
    m_started = true;
  } else if (!m_started) {
    return TRUE;
  }
  const BOOL result = DllMain(module, reason, reserved);
  if (reason == DLL_PROCESS_DETACH) {
    hwgatek::runtime::stop();
    m_started = false;
  }
  return result;
}

// The fail-closed check that every test runs before its first transfer: the
// simulator's shim must be what each port-device call of this process binds
// to. Header-only, so that a program can check without linking the shim.
#pragma once

#include <dlfcn.h>

#include <cstring>

namespace hwgatek::sim {

// The C library functions through which a transfer could reach the kernel.
inline constexpr const char* kInterposed[] = {
    "open",  "open64",    "openat",          "openat64",     "close", "lseek",
    "lseek64", "read",    "write",           "usleep",       "nanosleep",
    "clock_nanosleep", "clock_gettime"};

// True when every one of them resolves, in the global lookup scope that every
// library binds through, into libhwgatek_sim.
inline bool simulator_in_place() {
  for (const char* name : kInterposed) {
    void* symbol = dlsym(RTLD_DEFAULT, name);
    Dl_info where{};
    if (!symbol || !dladdr(symbol, &where) || !where.dli_fname) return false;
    const char* base = std::strrchr(where.dli_fname, '/');
    base = base ? base + 1 : where.dli_fname;
    if (std::strncmp(base, "libhwgatek_sim", 14) != 0) return false;
  }
  return true;
}

}  // namespace hwgatek::sim

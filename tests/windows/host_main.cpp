// The Wine test host: host.exe GROUP DLL PROBE_DLL. Exits 0 when every case
// of the group passed.
//
// Fails closed: it runs only under Wine, where a process never gets I/O
// permission, so every port instruction the DLL executes traps into the
// host's emulator (or, with the emulator off, is refused) and no real port
// is ever reached.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "check.h"
#include "groups.h"

namespace {

bool under_wine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

struct Group {
  const char* name;
  void (*run)(const hwgatek::wintest::Paths&);
};

constexpr Group kGroups[] = {
    {"exports", hwgatek::wintest::exports_group}, {"ports", hwgatek::wintest::ports_group},
    {"q7460", hwgatek::wintest::q7460_group},     {"timeout", hwgatek::wintest::timeout_group},
    {"refused", hwgatek::wintest::refused_group}, {"runtime", hwgatek::wintest::runtime_group},
};

}  // namespace

int main(int argc, char** argv) {
  if (!under_wine()) {
    std::fprintf(stderr, "refusing to run: this host needs Wine, where no real I/O port is reachable\n");
    return 2;
  }
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s GROUP DLL PROBE_DLL\n", argv[0]);
    return 2;
  }
  for (const Group& group : kGroups) {
    if (std::strcmp(group.name, argv[1]) != 0) continue;
    group.run({argv[2], argv[3]});
    const int failures = hwgatek::wintest::failure_count();
    std::fprintf(stderr, "%s: %d failure(s)\n", group.name, failures);
    return failures == 0 ? 0 : 1;
  }
  std::fprintf(stderr, "no group %s\n", argv[1]);
  return 2;
}

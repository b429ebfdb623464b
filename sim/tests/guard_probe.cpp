// Exits 0 when the simulator's shim is in place, 1 when it is not: the check
// every test program runs before its first transfer.
#include <cstdio>

#include "hwgatek/sim/guard.h"

int main() {
  if (!hwgatek::sim::simulator_in_place()) {
    std::fprintf(stderr, "simulator not in place\n");
    return 1;
  }
  std::printf("simulator in place\n");
  return 0;
}

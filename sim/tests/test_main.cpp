// main() of every test program that goes through the simulator's shim: it
// refuses to run a single test unless the shim is in place, so that no test
// can reach a real port device.
#include <gtest/gtest.h>

#include <cstdio>

#include "hwgatek/sim/guard.h"

int main(int argc, char** argv) {
  if (!hwgatek::sim::simulator_in_place()) {
    std::fprintf(stderr,
                 "simulator not in place: refusing to run (preload libhwgatek_sim.so)\n");
    return 1;
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

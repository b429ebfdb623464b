// A process without I/O permission, as on Windows without a port driver:
// the system refuses each port instruction. The DLL's own exception frame
// turns the refusal into -3 for the transfer (and -1 for a Q7460 read, which
// ends at its first refused instruction) instead of ending the process.
#include <climits>
#include <string>
#include <vector>

#include "check.h"
#include "groups.h"
#include "hwgatek/sim/q7460_board.h"
#include "loaded_dll.h"
#include "port_emulator.h"

namespace hwgatek::wintest {
namespace {
using Lines = std::vector<std::string>;
}

void refused_group(const Paths& paths) {
  PortEmulator& emulator = PortEmulator::instance();
  sim::Q7460Board board(0x300, emulator.clock());
  board.set_conversion(0, 0);
  emulator.ports().attach(board);
  StdoutToFile out;
  HwGateK dll(paths.dll);
  if (!dll.loaded()) return;

  run_case("with no handler of the host's, every transfer returns -3", [&] {
    emulator.set_mode(EmulatorMode::off);
    for (jint port : {0x80, 0x0000, 0xFFFF, 0x10000, -1, INT_MIN}) {
      const std::string at = "port " + std::to_string(port);
      CHECK_EQ_AT(dll.ioReadPort(port), -3, at);
      CHECK_EQ_AT(dll.ioReadPort(port, jlong{-1}), -3, at);
      CHECK_EQ_AT(dll.ioWritePort(port, jbyte{0x5A}), -3, at);
      CHECK_EQ_AT(dll.ioWritePort(port, jbyte{-1}, INT64_MIN), -3, at);
    }
    CHECK_EQ(dll.ioOpen(), 0);
    CHECK_EQ(dll.ioReadQ7460(0x300, 3), -1);
    CHECK_EQ(dll.ioClose(), 0);
  });

  run_case("each refused transfer is one instruction; a Q7460 read stops at the first", [&] {
    emulator.set_mode(EmulatorMode::observe);
    CHECK_EQ(dll.ioReadPort(0x1234), -3);
    CHECK_EQ(emulator.take_log(), Lines{"refused in 0x1234"});
    CHECK_EQ(dll.ioWritePort(0x10080, static_cast<jbyte>(0xC3)), -3);
    CHECK_EQ(emulator.take_log(), Lines{"refused out 0x0080 0xC3"});
    CHECK_EQ(dll.ioReadQ7460(0x300, 17), -1);
    CHECK_EQ(emulator.take_log(), Lines{"refused out 0x0301 0x01"});
  });

  run_case("once the instructions are allowed again, transfers work as before", [&] {
    emulator.set_mode(EmulatorMode::emulate);
    CHECK_EQ(dll.ioWritePort(0x80, jbyte{0x11}), 0);
    CHECK_EQ(dll.ioReadPort(0x80), 0x11);
    board.set_millivolts(2, 2500);
    CHECK_EQ(dll.ioReadQ7460(0x300, 2), 2500);
    emulator.take_log();
  });

  dll.unload();
  CHECK_EQ(out.text(), "");  // a refused transfer prints nothing
  emulator.ports().detach_all();
}

}  // namespace hwgatek::wintest

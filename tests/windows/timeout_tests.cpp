// A Q7460 board that stays busy: the read gives up after a quarter second
// of real time with -1 and one time-out line, which the DLL's runtime holds
// in its buffered standard output and writes out, with "\r\n", at the
// latest when the DLL is unloaded.
#include <cstdint>
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

// Generous: only a read that never ends should fail it.
constexpr double kHangMs = 30000;

}  // namespace

void timeout_group(const Paths& paths) {
  PortEmulator& emulator = PortEmulator::instance();
  emulator.set_mode(EmulatorMode::emulate);
  sim::Q7460Board board(0x300, emulator.clock());
  sim::Q7460Board high_board(0xFFF0, emulator.clock());
  emulator.ports().attach(board);
  emulator.ports().attach(high_board);

  run_case("a stuck board times out after a quarter second, one line each", [&] {
    board.set_stuck_busy(true);
    high_board.set_stuck_busy(true);
    StdoutToFile out;
    HwGateK dll(paths.dll);
    if (!dll.loaded()) return;
    struct Case {
      jint base, channel;
      const char* status_read;
      const char* line;
    };
    const Case cases[] = {
        {0x300, 5, "in 0x0300 = 0x40", "Q7460 read channel:5 addr=0300 TIMEOUT\r\n"},
        {0x300, 21, "in 0x0300 = 0x40", "Q7460 read channel:21 addr=0300 TIMEOUT\r\n"},
        {0x300, -1, "in 0x0300 = 0x40", "Q7460 read channel:-1 addr=0300 TIMEOUT\r\n"},
        {-16, 2, "in 0xFFF0 = 0x40", "Q7460 read channel:2 addr=FFFFFFF0 TIMEOUT\r\n"},
    };
    std::string expected;
    for (const Case& c : cases) {
      const std::string at = c.line;
      const double start = host_ms();
      CHECK_EQ_AT(dll.ioReadQ7460(c.base, c.channel), -1, at);
      const double elapsed = host_ms() - start;
      // The DLL counts whole milliseconds: 250 of them may be a fraction
      // less than 250 ms.
      CHECK_EQ_AT(elapsed >= 249.0, true, at + " elapsed " + std::to_string(elapsed));
      CHECK_EQ_AT(elapsed < kHangMs, true, at);
      // Three control writes, then only busy status reads: no data byte is
      // selected or read after the time-out.
      const Lines log = emulator.take_log();
      CHECK_EQ_AT(log.size() > 3, true, at);
      for (std::size_t i = 3; i < log.size(); ++i)
        if (!CHECK_EQ_AT(log[i], c.status_read, at)) break;
      expected += c.line;
    }
    CHECK_EQ(out.text(), "");  // still buffered: a file is not a console
    dll.unload();
    CHECK_EQ(out.text(), expected);
  });

  run_case("a conversion that ends within the limit is read, without a line", [&] {
    board.set_stuck_busy(false);
    board.set_conversion(0, 100'000);  // 100 ms of real time
    board.set_millivolts(7, 4321);
    StdoutToFile out;
    HwGateK dll(paths.dll);
    if (!dll.loaded()) return;
    CHECK_EQ(dll.ioReadQ7460(0x300, 7), 4321);
    CHECK(emulator.take_log().size() > 8);
    dll.unload();
    CHECK_EQ(out.text(), "");
  });

  run_case("without a standard output the line is lost and the read still returns", [&] {
    board.set_stuck_busy(true);
    StdoutToFile none(StdoutToFile::none);
    HwGateK dll(paths.dll);
    if (!dll.loaded()) return;
    CHECK_EQ(dll.ioReadQ7460(0x300, 1), -1);
    emulator.take_log();
    dll.unload();
  });

  emulator.ports().detach_all();
}

}  // namespace hwgatek::wintest

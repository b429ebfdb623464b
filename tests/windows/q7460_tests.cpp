// ioReadQ7460 through hwGateK.dll against the simulated Q7460 board: the
// port instructions of one read, in order and with nothing between them,
// and the conversion to millivolts.
#include <climits>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "check.h"
#include "groups.h"
#include "hwgatek/sim/q7460_board.h"
#include "hwgatek/sim/q7460_readings.h"
#include "loaded_dll.h"
#include "port_emulator.h"

namespace hwgatek::wintest {
namespace {

using Lines = std::vector<std::string>;
constexpr jint kBase = 0x300;

int status_reads(const Lines& log, const char* status_port) {
  int reads = 0;
  for (const std::string& line : log) reads += line.rfind(std::string("in ") + status_port, 0) == 0;
  return reads;
}

}  // namespace

void q7460_group(const Paths& paths) {
  PortEmulator& emulator = PortEmulator::instance();
  emulator.set_mode(EmulatorMode::emulate);
  sim::Q7460Board board(kBase, emulator.clock());
  emulator.ports().attach(board);
  StdoutToFile out;
  HwGateK dll(paths.dll);
  if (!dll.loaded()) return;

  // Before any ioOpen. No settle pause anywhere: the DLL imports nothing
  // that could pause (the build check lists its imports).
  run_case("one read is exactly these port instructions, without ioOpen", [&] {
    board.set_data(3, 0x34, 0x82);
    board.set_conversion(1, 0);  // busy for one status read
    CHECK_EQ(dll.ioReadQ7460(kBase, 3), 0x234 * 5000 / 4096);
    CHECK_EQ(emulator.take_log(), (Lines{
                                      "out 0x0301 0x03",    // select the channel
                                      "out 0x0301 0x43",    // start bit
                                      "out 0x0301 0x03",    // pulse ends
                                      "in 0x0300 = 0x40",   // busy
                                      "in 0x0300 = 0x00",   // idle
                                      "out 0x0301 0x23",    // low byte select
                                      "in 0x0301 = 0x34",
                                      "out 0x0301 0x13",    // high byte select
                                      "in 0x0301 = 0x82",
                                  }));
  });

  board.set_conversion(0, 0);  // idle at once from here on

  run_case("an idle board costs one status read", [&] {
    board.set_data(0, 0x10, 0x80);
    CHECK_EQ(dll.ioReadQ7460(kBase, 0), 0x10 * 5000 / 4096);
    const Lines log = emulator.take_log();
    CHECK_EQ(log.size(), 8u);
    CHECK_EQ(status_reads(log, "0x0300"), 1);
  });

  run_case("sign and magnitude convert to millivolts", [&] {
    for (const auto& c : hwgatek::sim::kQ7460Readings) {
      board.set_data(9, c.low, c.high);
      char at[32];
      std::snprintf(at, sizeof at, "low 0x%02X high 0x%02X", c.low, c.high);
      CHECK_EQ_AT(dll.ioReadQ7460(kBase, 9), c.millivolts, at);
    }
    emulator.take_log();
  });

  run_case("only the channel's low four bits reach the board", [&] {
    for (int channel = 0; channel < 16; ++channel) board.set_millivolts(channel, 100 * channel);
    const std::pair<jint, unsigned> cases[] = {{0, 0}, {15, 15}, {16, 0}, {17, 1}, {-1, 15}, {INT_MIN, 0}};
    for (const auto& [channel, input] : cases) {
      const std::string at = "channel " + std::to_string(channel);
      CHECK_EQ_AT(dll.ioReadQ7460(kBase, channel), static_cast<jint>(100 * input), at);
      CHECK_EQ_AT(board.last_converted_channel(), static_cast<int>(input), at);
      const Lines log = emulator.take_log();
      char select[32], start[32];
      std::snprintf(select, sizeof select, "out 0x0301 0x%02X", input);
      std::snprintf(start, sizeof start, "out 0x0301 0x%02X", input | 0x40);
      CHECK_EQ_AT(Lines(log.begin(), log.begin() + 3), (Lines{select, start, select}), at);
    }
  });

  run_case("only the busy bit of the status counts", [&] {
    board.set_data(0, 0x10, 0x80);
    board.set_status_bits(0xBF);  // every other bit set: idle
    CHECK_EQ(dll.ioReadQ7460(kBase, 0), 0x10 * 5000 / 4096);
    CHECK_EQ(status_reads(emulator.take_log(), "0x0300"), 1);
    board.set_status_bits(0x00);
    board.set_conversion(3, 0);  // 0x40 alone, for three status reads
    CHECK_EQ(dll.ioReadQ7460(kBase, 0), 0x10 * 5000 / 4096);
    CHECK_EQ(status_reads(emulator.take_log(), "0x0300"), 4);
    board.set_conversion(0, 0);
  });

  // The control register is base + 1 as a 32-bit sum; the port instruction
  // then takes its low 16 bits. A base of 0xFFFF puts the control register at
  // 0x10000, which is port 0 (a plain latch here: it reads back what was
  // written, so the data bytes are the select bytes 0x22 and 0x12).
  run_case("base addresses beyond the port space reach their low 16 bits", [&] {
    sim::Q7460Board high_board(0xFFF0, emulator.clock());
    emulator.ports().attach(high_board);
    high_board.set_conversion(0, 0);
    high_board.set_data(4, 0x00, 0x81);
    CHECK_EQ(dll.ioReadQ7460(-16, 4), 312);
    CHECK_EQ(emulator.take_log().front(), "out 0xFFF1 0x04");

    emulator.ports().detach_all();
    emulator.ports().set(0xFFFF, 0x00);  // status: idle
    CHECK_EQ(dll.ioReadQ7460(0xFFFF, 2), -(0x222 * 5000 / 4096));
    CHECK_EQ(emulator.take_log(), (Lines{
                                      "out 0x0000 0x02", "out 0x0000 0x42", "out 0x0000 0x02",
                                      "in 0xFFFF = 0x00",
                                      "out 0x0000 0x22", "in 0x0000 = 0x22",
                                      "out 0x0000 0x12", "in 0x0000 = 0x12",
                                  }));
    emulator.ports().attach(board);
  });

  run_case("reads work alike after ioOpen and after ioClose", [&] {
    board.set_millivolts(6, -1234);
    CHECK_EQ(dll.ioOpen(), 0);
    CHECK_EQ(dll.ioReadQ7460(kBase, 6), -1234);
    CHECK_EQ(dll.ioClose(), 0);
    CHECK_EQ(dll.ioReadQ7460(kBase, 6), -1234);
    emulator.take_log();
  });

  dll.unload();
  CHECK_EQ(out.text(), "");  // a completed read prints nothing
}

}  // namespace hwgatek::wintest

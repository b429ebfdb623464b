// ioReadPort and ioWritePort: each is exactly one byte-wide port instruction
// with the port in DX, at the low 16 bits of the address; ioOpen and
// ioClose do nothing and return 0.
#include <climits>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "check.h"
#include "groups.h"
#include "loaded_dll.h"
#include "port_emulator.h"

namespace hwgatek::wintest {
namespace {

using Lines = std::vector<std::string>;

std::string out_line(unsigned port, unsigned value) {
  char line[32];
  std::snprintf(line, sizeof line, "out 0x%04X 0x%02X", port, value);
  return line;
}
std::string in_line(unsigned port, unsigned value) {
  char line[32];
  std::snprintf(line, sizeof line, "in 0x%04X = 0x%02X", port, value);
  return line;
}

}  // namespace

void ports_group(const Paths& paths) {
  PortEmulator& emulator = PortEmulator::instance();
  emulator.set_mode(EmulatorMode::emulate);
  StdoutToFile out;
  HwGateK dll(paths.dll);
  if (!dll.loaded()) return;

  // First, before any ioOpen.
  run_case("transfers work alike before ioOpen, while open and after ioClose", [&] {
    auto round_trip = [&](const char* when) {
      emulator.take_log();
      CHECK_EQ_AT(dll.ioWritePort(0x378, jbyte{0x55}), 0, when);
      CHECK_EQ_AT(dll.ioReadPort(0x378), 0x55, when);
      CHECK_EQ_AT(emulator.take_log(), (Lines{out_line(0x378, 0x55), in_line(0x378, 0x55)}), when);
    };
    round_trip("before ioOpen");
    CHECK_EQ(dll.ioOpen(), 0);
    round_trip("while open");
    CHECK_EQ(dll.ioClose(), 0);
    round_trip("after ioClose");
  });

  run_case("ioOpen and ioClose return 0 in any order and touch no port", [&] {
    for (int i = 0; i < 2; ++i) CHECK_EQ(dll.ioClose(), 0);
    for (int i = 0; i < 2; ++i) CHECK_EQ(dll.ioOpen(), 0);
    for (int i = 0; i < 2; ++i) CHECK_EQ(dll.ioClose(), 0);
    CHECK_EQ(emulator.take_log(), Lines{});
  });

  // All four entry points, every byte value: the Java byte's bit pattern
  // goes out unchanged (-1 as 0xFF, -128 as 0x80) and comes back as 0..255.
  // The long argument has no effect, whatever it is.
  run_case("every byte value goes out unchanged and reads back as 0..255", [&] {
    const jlong ignored[] = {0, -1, INT64_MAX, INT64_MIN};
    for (unsigned value = 0; value < 256; ++value) {
      const auto byte = static_cast<jbyte>(value);
      const std::string at = "byte " + std::to_string(value);
      if (value % 2 == 0) {
        CHECK_EQ_AT(dll.ioWritePort(0x80, byte), 0, at);
        CHECK_EQ_AT(dll.ioReadPort(0x80), static_cast<jint>(value), at);
      } else {
        CHECK_EQ_AT(dll.ioWritePort(0x80, byte, ignored[value / 2 % 4]), 0, at);
        CHECK_EQ_AT(dll.ioReadPort(0x80, ignored[(value / 2 + 1) % 4]), static_cast<jint>(value), at);
      }
      CHECK_EQ_AT(emulator.take_log(), (Lines{out_line(0x80, value), in_line(0x80, value)}), at);
    }
  });

  run_case("the port is the low 16 bits of the address, for every address", [&] {
    struct Case {
      jint address;
      unsigned port;
    };
    const Case cases[] = {
        {0x0000, 0x0000}, {0x00FF, 0x00FF}, {0x0100, 0x0100}, {0xFFFF, 0xFFFF},
        {0x10000, 0x0000}, {0x12345, 0x2345}, {-1, 0xFFFF},     {-2, 0xFFFE},
        {INT_MIN, 0x0000}, {INT_MAX, 0xFFFF},
    };
    unsigned value = 0x10;
    for (const Case& c : cases) {
      const std::string at = "address " + std::to_string(c.address);
      ++value;
      CHECK_EQ_AT(dll.ioWritePort(c.address, static_cast<jbyte>(value)), 0, at);
      CHECK_EQ_AT(unsigned{emulator.ports().latch(static_cast<std::uint16_t>(c.port))}, value, at);
      CHECK_EQ_AT(dll.ioReadPort(c.address), static_cast<jint>(value), at);
      CHECK_EQ_AT(emulator.take_log(), (Lines{out_line(c.port, value), in_line(c.port, value)}), at);
    }
  });

  run_case("the environment pointer and the receiver are never read", [&] {
    dll.set_receiver(reinterpret_cast<JNIEnv*>(0x10), reinterpret_cast<jclass>(0x20));
    CHECK_EQ(dll.ioOpen(), 0);
    CHECK_EQ(dll.ioWritePort(0x81, jbyte{-128}), 0);
    CHECK_EQ(dll.ioReadPort(0x81, jlong{7}), 0x80);
    CHECK_EQ(dll.ioClose(), 0);
    dll.set_receiver(nullptr, nullptr);
    CHECK_EQ(emulator.take_log(), (Lines{out_line(0x81, 0x80), in_line(0x81, 0x80)}));
  });

  dll.unload();
  CHECK_EQ(out.text(), "");  // no transfer prints anything
}

}  // namespace hwgatek::wintest

// Stands in for the hardware under the DLL: a vectored exception handler
// that catches the port instructions the system refuses (Wine never gives a
// process I/O permission) and carries them out against the simulator's port
// space and Q7460 board model. Vectored handlers run before the DLL's own
// exception frame, so with the emulator on the DLL sees ordinary transfers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hwgatek/sim/clock.h"
#include "hwgatek/sim/port_space.h"

struct _EXCEPTION_POINTERS;

namespace hwgatek::wintest {

enum class EmulatorMode {
  off,      // no handler: the DLL's frame meets the refusal
  observe,  // log each refused instruction, then leave it to the DLL's frame
  emulate,  // carry out IN and OUT against the port space
};

class PortEmulator {
 public:
  static PortEmulator& instance();

  void set_mode(EmulatorMode mode);
  EmulatorMode mode() const { return mode_; }

  sim::PortSpace& ports() { return ports_; }
  sim::Clock& clock() { return clock_; }

  // One line per port instruction met, in order: "out 0x0301 0x43",
  // "in 0x0300 = 0x40"; " (imm8)" marks the immediate-port form, and in
  // observe mode "refused " leads each line.
  std::vector<std::string> take_log();

 private:
  PortEmulator() = default;
  static long __stdcall handler(::_EXCEPTION_POINTERS* exception);

  EmulatorMode mode_ = EmulatorMode::off;
  void* handle_ = nullptr;
  sim::PortSpace ports_;
  sim::Clock clock_;
  std::vector<std::string> log_;
};

}  // namespace hwgatek::wintest

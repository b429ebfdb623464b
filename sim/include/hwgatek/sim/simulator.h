// The process-wide simulator behind the preload shim (libhwgatek_sim.so):
// a port device with its port space, an optional Q7460 board, faults, a
// transfer log and a clock. The shim serves "/dev/port" from it to every
// caller in the process; tests reach it through this API.
//
// Every member takes the simulator's lock, so tests may configure it while
// other threads go through the shim.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "hwgatek/sim/clock.h"
#include "hwgatek/sim/faults.h"
#include "hwgatek/sim/port_device.h"
#include "hwgatek/sim/port_space.h"
#include "hwgatek/sim/q7460_board.h"
#include "hwgatek/sim/transfer_log.h"

namespace hwgatek::sim {

class Simulator {
 public:
  static Simulator& instance();

  // True when the shim's open, close, lseek, read, write and pause functions
  // are the ones every library in this process binds to: only then can no
  // transfer reach a real port device. Tests refuse to run otherwise.
  static bool in_place();

  // Back to the defaults: device present, privileged, real time, every
  // latch 0xFF, no board, no faults, empty log.
  void reset();
  // reset(), then the HWGATEK_SIM_* environment variables (see README). The
  // log then keeps no events in memory; HWGATEK_SIM_LOG sends it to a file.
  // Returns false with a reason if one of them cannot be understood.
  bool configure_from_environment(std::string* error = nullptr);

  void set_privileged(bool privileged);
  void set_device_present(bool present);
  void set_virtual_time(bool on);
  void advance_time(std::uint64_t us);
  std::uint64_t now_us() const;

  // Attaches the one board at `base`, replacing any earlier one; the board
  // stays configurable through the returned reference until the next reset.
  Q7460Board& attach_q7460(std::uint16_t base);
  void detach_q7460();

  void set_port(std::uint16_t port, std::uint8_t value);
  std::uint8_t port(std::uint16_t port) const;

  void arm(Fault fault, unsigned nth = 1, bool and_after = false);
  void clear_faults();

  std::vector<std::string> log_lines() const;
  std::vector<Event> log_events() const;
  void clear_log();
  void set_log_limit(std::size_t limit);

  // Open descriptors onto the simulated device.
  int open_descriptors() const;
  // Readings of the clock by libhwGateK; counted under virtual time only,
  // where the shim looks at who reads the clock.
  std::uint64_t library_clock_reads() const;

  // Direct access for the shim; hold lock() while using them.
  std::unique_lock<std::recursive_mutex> lock() const;
  PortDevice& device() { return device_; }
  Clock& clock() { return clock_; }

  void note_open(int delta) { open_descriptors_ += delta; }
  void note_clock_read() { ++clock_reads_; }

 private:
  Simulator();

  mutable std::recursive_mutex mutex_;
  Clock clock_;
  PortSpace ports_;
  Faults faults_;
  TransferLog log_;
  PortDevice device_{ports_, faults_, log_};
  Q7460Board board_{0x300, clock_};
  bool board_attached_ = false;
  int log_fd_ = -1;  // HWGATEK_SIM_LOG: every logged line is appended there
  int open_descriptors_ = 0;
  std::uint64_t clock_reads_ = 0;
};

}  // namespace hwgatek::sim

// The simulator's time: real (the monotonic clock) or virtual, where time
// stands still until a pause advances it, so that a quarter-second time-out
// costs no real quarter second.
#pragma once

#include <atomic>
#include <cstdint>

namespace hwgatek::sim {

class Clock {
 public:
  // Microseconds: monotonic real time, or the virtual count.
  std::uint64_t now_us() const;

  bool is_virtual() const { return virtual_.load(std::memory_order_relaxed); }
  // Switches modes; virtual time starts again from 0.
  void set_virtual(bool on);
  // Moves virtual time on; no effect in real time.
  void advance(std::uint64_t us);

 private:
  std::atomic<bool> virtual_{false};  // read by the shim without the lock
  std::uint64_t virtual_us_ = 0;
};

}  // namespace hwgatek::sim

#include "hwgatek/sim/clock.h"

#include <chrono>

namespace hwgatek::sim {

std::uint64_t Clock::now_us() const {
  if (virtual_) return virtual_us_;
  const auto since_epoch = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(since_epoch).count());
}

void Clock::set_virtual(bool on) {
  virtual_ = on;
  virtual_us_ = 0;
}

void Clock::advance(std::uint64_t us) {
  if (virtual_) virtual_us_ += us;
}

}  // namespace hwgatek::sim

#include "hwgatek/sim/q7460_board.h"

#include <cstdlib>

#include "hwgatek/sim/clock.h"

namespace hwgatek::sim {
namespace {

constexpr std::uint8_t kStart = 0x40;
constexpr std::uint8_t kLowSelect = 0x20;
constexpr std::uint8_t kHighSelect = 0x10;
constexpr std::uint8_t kFloating = 0xFF;

// The reading the library makes of a signed count: count * 5000 / 4096,
// truncated toward zero.
int reading_of(int count) { return count * 5000 / 4096; }

}  // namespace

Q7460Board::Q7460Board(std::uint16_t base, const Clock& clock) : base_(base), clock_(&clock) {}

Q7460Board::Data Q7460Board::encode(int millivolts) {
  // The nearest count, then the neighbour whose truncated reading hits the
  // value exactly, where there is one (5000/4096 mV a count: most values
  // have one, a few fall between two counts).
  int count = static_cast<int>(
      (static_cast<long long>(millivolts) * 4096 + (millivolts < 0 ? -2500 : 2500)) / 5000);
  for (int candidate : {count, count + 1, count - 1}) {
    if (reading_of(candidate) == millivolts) {
      count = candidate;
      break;
    }
  }
  if (count > 4095) count = 4095;
  if (count < -4095) count = -4095;
  const int magnitude = std::abs(count);
  return Data{static_cast<std::uint8_t>(magnitude & 0xFF),
              static_cast<std::uint8_t>((magnitude >> 8) | (count >= 0 ? 0x80 : 0x00))};
}

void Q7460Board::set_millivolts(int channel, int millivolts) {
  inputs_[channel & 0x0F] = encode(millivolts);
}

void Q7460Board::set_data(int channel, std::uint8_t low, std::uint8_t high) {
  inputs_[channel & 0x0F] = Data{low, high};
}

void Q7460Board::set_conversion(unsigned reads, std::uint64_t microseconds) {
  conversion_reads_ = reads;
  conversion_us_ = microseconds;
}

bool Q7460Board::busy() {
  if (stuck_) return true;
  if (busy_reads_left_ > 0) {
    --busy_reads_left_;
    return true;
  }
  return clock_->now_us() < busy_until_us_;
}

std::uint8_t Q7460Board::read(std::uint32_t port) {
  if (port == base_) return static_cast<std::uint8_t>(status_bits_ | (busy() ? kBusy : 0));
  if (control_ & kLowSelect) return result_.low;
  if (control_ & kHighSelect) return result_.high;
  return kFloating;
}

void Q7460Board::write(std::uint32_t port, std::uint8_t value) {
  if (port == base_) return;  // the status register takes no writes
  const bool pulse_ended = (control_ & kStart) && !(value & kStart);
  control_ = value;
  if (!pulse_ended) return;
  converted_channel_ = value & 0x0F;
  result_ = inputs_[converted_channel_];
  busy_reads_left_ = conversion_reads_;
  busy_until_us_ = clock_->now_us() + conversion_us_;
  ++conversions_;
}

}  // namespace hwgatek::sim

// A Q7460 analog-input board behind two I/O ports, as its register protocol
// describes it:
//   base      status register, read: bit 0x40 set while a conversion runs
//   base + 1  control register, write: channel number in bits 0-3; a pulse
//             on 0x40 (one byte with it set, the next with it clear) starts
//             a conversion of the selected channel; 0x20 selects the low and
//             0x10 the high data byte for the next read of this register
// A conversion latches the selected channel's input when it starts; the data
// bytes give that latched result (sign in bit 7 of the high byte, set for a
// positive reading; 12-bit magnitude).
#pragma once

#include <array>
#include <cstdint>

namespace hwgatek::sim {

class Clock;

class Q7460Board {
 public:
  static constexpr int kChannels = 16;

  struct Data {
    std::uint8_t low = 0x00;
    std::uint8_t high = 0x80;  // +0 mV
  };

  Q7460Board(std::uint16_t base, const Clock& clock);

  std::uint16_t base() const { return base_; }
  bool owns(std::uint32_t port) const { return port == base_ || port == base_ + 1u; }
  std::uint8_t read(std::uint32_t port);
  void write(std::uint32_t port, std::uint8_t value);

  // Inputs. Millivolts are stored as the data bytes whose reading, scaled as
  // count * 5000 / 4096 truncated, comes nearest to them (clamped to +-4998).
  void set_millivolts(int channel, int millivolts);
  void set_data(int channel, std::uint8_t low, std::uint8_t high);
  Data data(int channel) const { return inputs_[channel & 0x0F]; }
  static Data encode(int millivolts);

  // Conversion time: the board shows busy for `reads` status reads after a
  // start, and for `microseconds` of the simulator's clock; 0 and 0 is a
  // board that is never busy. A stuck board is busy for ever.
  void set_conversion(unsigned reads, std::uint64_t microseconds);
  void set_stuck_busy(bool stuck) { stuck_ = stuck; }
  // Bits other than busy that the status register shows (0x40 is ignored).
  void set_status_bits(std::uint8_t bits) { status_bits_ = bits & ~kBusy; }

  // Observation for tests.
  unsigned conversions_started() const { return conversions_; }
  int last_converted_channel() const { return converted_channel_; }
  std::uint8_t control() const { return control_; }

 private:
  static constexpr std::uint8_t kBusy = 0x40;
  bool busy();

  std::uint16_t base_;
  const Clock* clock_;
  std::array<Data, kChannels> inputs_{};
  unsigned conversion_reads_ = 1;
  std::uint64_t conversion_us_ = 0;
  bool stuck_ = false;
  std::uint8_t status_bits_ = 0;

  std::uint8_t control_ = 0;
  Data result_{};
  unsigned busy_reads_left_ = 0;
  std::uint64_t busy_until_us_ = 0;
  unsigned conversions_ = 0;
  int converted_channel_ = -1;
};

}  // namespace hwgatek::sim

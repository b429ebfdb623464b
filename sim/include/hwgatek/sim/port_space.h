// The x86 I/O port space, 0x0000 to 0xFFFF, as the simulator sees it. A port
// with no board behind it is a plain latch: it reads back the last byte
// written to it, 0xFF (a floating bus) until then. Boards answer for their
// own ports.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace hwgatek::sim {

class Q7460Board;

class PortSpace {
 public:
  static constexpr std::uint32_t kPorts = 0x10000;

  PortSpace() { clear(); }

  std::uint8_t in(std::uint16_t port);
  void out(std::uint16_t port, std::uint8_t value);

  // Latch contents, bypassing any board: for presetting and inspecting.
  void set(std::uint16_t port, std::uint8_t value) { latch_[port] = value; }
  std::uint8_t latch(std::uint16_t port) const { return latch_[port]; }

  // A board is not owned: the caller keeps it alive while it is attached.
  void attach(Q7460Board& board);
  void detach_all() { boards_.clear(); }

  // Every latch back to 0xFF, boards detached.
  void clear();

 private:
  Q7460Board* board_at(std::uint16_t port) const;

  std::array<std::uint8_t, kPorts> latch_{};
  std::vector<Q7460Board*> boards_;
};

}  // namespace hwgatek::sim

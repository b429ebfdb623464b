#include "hwgatek/sim/port_space.h"

#include <algorithm>

#include "hwgatek/sim/q7460_board.h"

namespace hwgatek::sim {

Q7460Board* PortSpace::board_at(std::uint16_t port) const {
  for (Q7460Board* board : boards_)
    if (board->owns(port)) return board;
  return nullptr;
}

std::uint8_t PortSpace::in(std::uint16_t port) {
  if (Q7460Board* board = board_at(port)) return board->read(port);
  return latch_[port];
}

void PortSpace::out(std::uint16_t port, std::uint8_t value) {
  if (Q7460Board* board = board_at(port)) return board->write(port, value);
  latch_[port] = value;
}

void PortSpace::attach(Q7460Board& board) {
  if (std::find(boards_.begin(), boards_.end(), &board) == boards_.end())
    boards_.push_back(&board);
}

void PortSpace::clear() {
  latch_.fill(0xFF);
  boards_.clear();
}

}  // namespace hwgatek::sim

// The Q7460 board model: register protocol, conversion time, data encoding.
#include <gtest/gtest.h>

#include <cstdint>

#include "hwgatek/sim/clock.h"
#include "hwgatek/sim/port_space.h"
#include "hwgatek/sim/q7460_board.h"

namespace hwgatek::sim {
namespace {

constexpr std::uint16_t kBase = 0x300;
constexpr std::uint16_t kControl = kBase + 1;

class Board : public testing::Test {
 protected:
  void SetUp() override {
    clock.set_virtual(true);
    ports.attach(board);
  }
  void start(int channel) {
    ports.out(kControl, static_cast<std::uint8_t>(channel));
    ports.out(kControl, static_cast<std::uint8_t>(channel | 0x40));
    ports.out(kControl, static_cast<std::uint8_t>(channel));
  }
  bool busy() { return ports.in(kBase) & 0x40; }
  std::uint8_t data(int select) {
    ports.out(kControl, static_cast<std::uint8_t>((board.control() & 0x0F) | select));
    return ports.in(kControl);
  }

  Clock clock;
  Q7460Board board{kBase, clock};
  PortSpace ports;
};

TEST_F(Board, AStartPulseConvertsTheSelectedChannel) {
  board.set_data(5, 0x34, 0x82);
  board.set_conversion(2, 0);
  start(5);
  EXPECT_EQ(board.conversions_started(), 1u);
  EXPECT_EQ(board.last_converted_channel(), 5);
  EXPECT_TRUE(busy());
  EXPECT_TRUE(busy());
  EXPECT_FALSE(busy());
  EXPECT_EQ(data(0x20), 0x34);
  EXPECT_EQ(data(0x10), 0x82);
}

TEST_F(Board, OnlyAFallingStartBitStartsAConversion) {
  ports.out(kControl, 0x43);
  EXPECT_EQ(board.conversions_started(), 0u);
  ports.out(kControl, 0x43);  // still high
  EXPECT_EQ(board.conversions_started(), 0u);
  ports.out(kControl, 0x03);
  EXPECT_EQ(board.conversions_started(), 1u);
  ports.out(kControl, 0x03);  // no new pulse
  EXPECT_EQ(board.conversions_started(), 1u);
}

TEST_F(Board, TheConversionLatchesItsChannelsInput) {
  board.set_data(1, 0x11, 0x80);
  board.set_data(2, 0x22, 0x80);
  start(1);
  ports.out(kControl, 0x02);  // another channel selected afterwards
  EXPECT_EQ(data(0x20), 0x11);
}

TEST_F(Board, ConversionTimeRunsOnTheClock) {
  board.set_conversion(0, 500);
  start(0);
  EXPECT_TRUE(busy());
  clock.advance(499);
  EXPECT_TRUE(busy());
  clock.advance(1);
  EXPECT_FALSE(busy());
}

TEST_F(Board, StuckBoardsStayBusyAndIdleBoardsNeverAre) {
  board.set_conversion(0, 0);
  start(0);
  EXPECT_FALSE(busy());
  board.set_stuck_busy(true);
  clock.advance(10'000'000);
  EXPECT_TRUE(busy());
}

TEST_F(Board, StatusShowsOnlyTheConfiguredBitsBesideBusy) {
  board.set_conversion(1, 0);
  board.set_status_bits(0xFF);
  start(0);
  EXPECT_EQ(ports.in(kBase), 0xFF);
  EXPECT_EQ(ports.in(kBase), 0xBF);
}

TEST_F(Board, TheStatusRegisterTakesNoWritesAndNeighboursAreLatches) {
  ports.out(kBase, 0x40);
  EXPECT_EQ(ports.in(kBase), 0x00);
  EXPECT_EQ(ports.latch(kBase), 0xFF);
  ports.out(kBase + 2, 0x12);
  EXPECT_EQ(ports.in(kBase + 2), 0x12);
}

TEST(Q7460Encoding, MillivoltsBecomeTheBytesThatReadBackAsThem) {
  struct Case {
    int millivolts;
    std::uint8_t low, high;
  };
  const Case cases[] = {
      {0, 0x00, 0x80},     {1, 0x01, 0x80},     {-1, 0x01, 0x00},    {6, 0x05, 0x80},
      {-6, 0x05, 0x00},    {312, 0x00, 0x81},   {-312, 0x00, 0x01},  {2500, 0x00, 0x88},
      {-2500, 0x00, 0x08}, {4998, 0xFF, 0x8F},  {-4998, 0xFF, 0x0F}, {9999, 0xFF, 0x8F},
      {-9999, 0xFF, 0x0F},
  };
  for (const Case& c : cases) {
    const auto data = Q7460Board::encode(c.millivolts);
    EXPECT_EQ(data.low, c.low) << c.millivolts;
    EXPECT_EQ(data.high, c.high) << c.millivolts;
  }
  // Every reading the board can give survives the round trip.
  for (int count = -4095; count <= 4095; ++count) {
    const int mv = count * 5000 / 4096;
    const auto data = Q7460Board::encode(mv);
    const int magnitude = data.low + (data.high & 0x0F) * 256;
    ASSERT_EQ(((data.high & 0x80) ? magnitude : -magnitude) * 5000 / 4096, mv) << mv;
  }
}

}  // namespace
}  // namespace hwgatek::sim

// ioReadQ7460 through libhwGateK and a simulated Q7460 board.
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdint>
#include <thread>
#include <vector>

#include "hwgatek/sim/q7460_readings.h"
#include "library_fixture.h"

namespace hwgatek::test {
namespace {

using sim::Fault;
using sim::Q7460Board;

constexpr jint kBase = 0x300;

class Q7460 : public Library {
 protected:
  void SetUp() override {
    Library::SetUp();
    board = &sim().attach_q7460(kBase);
    board->set_conversion(0, 0);
    open_device();
  }
  Q7460Board* board = nullptr;
};

// The transfers of one read, in order: three control writes, one settle
// pause, the status polls, then the two data bytes, each transfer with its
// positioning and its pause.
TEST_F(Q7460, OneReadIsThisExactSequenceOfTransfers) {
  sim().set_virtual_time(true);
  board->set_data(3, 0x34, 0x82);
  board->set_conversion(1, 0);
  EXPECT_EQ(ioReadQ7460(kBase, 3), 0x234 * 5000 / 4096);
  EXPECT_EQ(log(), (Lines{
                       "seek 0x0301", "pause 100us", "write 0x0301 0x03",  // select
                       "seek 0x0301", "pause 100us", "write 0x0301 0x43",  // start bit
                       "seek 0x0301", "pause 100us", "write 0x0301 0x03",  // pulse ends
                       "pause 100us",                                      // settle
                       "seek 0x0300", "pause 100us", "read 0x0300 = 0x40",  // busy
                       "seek 0x0300", "pause 100us", "read 0x0300 = 0x00",  // idle
                       "seek 0x0301", "pause 100us", "write 0x0301 0x23",  // low select
                       "seek 0x0301", "pause 100us", "read 0x0301 = 0x34",
                       "seek 0x0301", "pause 100us", "write 0x0301 0x13",  // high select
                       "seek 0x0301", "pause 100us", "read 0x0301 = 0x82",
                   }));
  // The clock is read once at the start and once after the busy status.
  EXPECT_EQ(sim().library_clock_reads(), 2u);
  EXPECT_EQ(printed(), "");
}

TEST_F(Q7460, AnIdleBoardCostsOneStatusReadAndOneClockReading) {
  sim().set_virtual_time(true);
  ioReadQ7460(kBase, 0);
  int status_reads = 0;
  for (const auto& line : log()) status_reads += line.rfind("read 0x0300", 0) == 0;
  EXPECT_EQ(status_reads, 1);
  EXPECT_EQ(sim().library_clock_reads(), 1u);
}

TEST_F(Q7460, ConvertsSignAndMagnitudeToMillivolts) {
  for (const auto& c : sim::kQ7460Readings) {
    board->set_data(9, c.low, c.high);
    EXPECT_EQ(ioReadQ7460(kBase, 9), c.millivolts) << std::hex << int{c.low} << " " << int{c.high};
  }
  EXPECT_EQ(printed(), "");
}

TEST_F(Q7460, OnlyTheChannelsLowFourBitsReachTheBoard) {
  for (int channel = 0; channel < 16; ++channel) board->set_millivolts(channel, 100 * channel);
  const std::pair<jint, int> cases[] = {{0, 0}, {15, 15}, {16, 0}, {17, 1}, {-1, 15}, {INT_MIN, 0}};
  for (const auto& [channel, input] : cases) {
    sim().clear_log();
    EXPECT_EQ(ioReadQ7460(kBase, channel), 100 * input) << channel;
    EXPECT_EQ(board->last_converted_channel(), input) << channel;
    const Lines transfers = log();
    char select[32];
    std::snprintf(select, sizeof select, "write 0x0301 0x%02X", input);
    EXPECT_EQ(transfers.at(2), select);
  }
}

TEST_F(Q7460, OnlyTheBusyBitOfTheStatusCounts) {
  board->set_data(0, 0x10, 0x80);
  board->set_status_bits(0xBF);  // every other bit set: idle
  EXPECT_EQ(ioReadQ7460(kBase, 0), 0x10 * 5000 / 4096);
  board->set_status_bits(0x00);
  board->set_conversion(3, 0);  // 0x40 alone: busy for three polls
  sim().clear_log();
  EXPECT_EQ(ioReadQ7460(kBase, 0), 0x10 * 5000 / 4096);
  int polls = 0;
  for (const auto& line : log()) polls += line.rfind("read 0x0300", 0) == 0;
  EXPECT_EQ(polls, 4);
}

// A board stuck busy, in virtual time: after a quarter second of the
// library's clock, one time-out line with the channel as it was given, -1,
// and nothing more sent to the board.
TEST_F(Q7460, AStuckBoardTimesOutWithOneLineAndNothingAfter) {
  sim().set_virtual_time(true);
  board->set_stuck_busy(true);
  for (const auto& [channel, line] : {std::pair<jint, const char*>{5, "Q7460 read channel:5 addr=0300 TIMEOUT\n"},
                                      {21, "Q7460 read channel:21 addr=0300 TIMEOUT\n"},
                                      {-1, "Q7460 read channel:-1 addr=0300 TIMEOUT\n"}}) {
    sim().clear_log();
    const std::uint64_t start = sim().now_us();
    EXPECT_EQ(ioReadQ7460(kBase, channel), -1);
    EXPECT_EQ(printed(), line);
    EXPECT_GE(sim().now_us() - start, 250'000u);
    EXPECT_LT(sim().now_us() - start, 260'000u);
    const Lines transfers = log();
    ASSERT_FALSE(transfers.empty());
    EXPECT_EQ(transfers.back(), "read 0x0300 = 0x40") << "ends on a busy status read";
    int writes = 0;
    for (const auto& entry : transfers) writes += entry.rfind("write", 0) == 0;
    EXPECT_EQ(writes, 3) << "no data byte is selected after a time-out";
  }
}

// A negative base never reaches the board: its control register cannot be
// positioned, and the first write's message shows it in eight digits.
TEST_F(Q7460, NegativeBaseAddressesEndAtTheFirstWrite) {
  EXPECT_EQ(ioReadQ7460(-16, 0), -1);
  EXPECT_EQ(printed(), "writePort seek error addr=0xFFFFFFF1 byte=00\n");
}

// The limit is a quarter second of real time: a stuck board ends the read
// after 250 ms of wall-clock time, not after 250 ms of processor time, which
// the pauses would stretch to seconds.
TEST_F(Q7460, AStuckBoardTimesOutAfterAQuarterSecondOfRealTime) {
  board->set_stuck_busy(true);
  sim().set_log_limit(0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ioReadQ7460(kBase, 2), -1);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(printed(), "Q7460 read channel:2 addr=0300 TIMEOUT\n");
  EXPECT_GE(elapsed, std::chrono::milliseconds(250));
  EXPECT_LT(elapsed, std::chrono::milliseconds(2500)) << "generous for a loaded machine";
}

// Other threads burning processor time must not cut the wait short: a
// conversion that takes 150 ms of real time completes, although the process
// uses far more than a quarter second of processor time meanwhile.
TEST_F(Q7460, BusyThreadsElsewhereDoNotCauseEarlyTimeOuts) {
  board->set_data(4, 0x00, 0x88);
  board->set_conversion(0, 150'000);
  sim().set_log_limit(0);
  std::atomic<bool> stop{false};
  std::vector<std::thread> burners;
  for (int i = 0; i < 3; ++i)
    burners.emplace_back([&] {
      volatile std::uint64_t spin = 0;
      while (!stop.load(std::memory_order_relaxed)) spin = spin + 1;
    });
  const jint reading = ioReadQ7460(kBase, 4);
  stop = true;
  for (auto& burner : burners) burner.join();
  EXPECT_EQ(reading, 2500);
  EXPECT_EQ(printed(), "");
}

// A failing transfer ends the read at once with -1: its own message is the
// only line, and nothing further is sent to the board.
TEST_F(Q7460, TheFirstFailingTransferEndsTheRead) {
  struct Case {
    Fault fault;
    unsigned nth;
    const char* message;
    const char* last_transfer;
  };
  const Case cases[] = {
      {Fault::WriteNone, 1, "writePort write error addr=0x0301 byte=07\n", "write 0x0301 0x07 moved 0"},
      {Fault::WriteError, 2, "writePort write error addr=0x0301 byte=47\n", "write 0x0301 0x47 -> EIO"},
      {Fault::WriteNone, 3, "writePort write error addr=0x0301 byte=07\n", "write 0x0301 0x07 moved 0"},
      {Fault::ReadError, 1, "_read error addr=0x0300\n", "read 0x0300 -> EIO"},  // status
      {Fault::SeekElsewhere, 4, "_read seek error addr=0x0300\n", "seek 0x0300 -> 0x0301"},
      {Fault::WriteNone, 4, "writePort write error addr=0x0301 byte=27\n", "write 0x0301 0x27 moved 0"},
      {Fault::ReadNone, 2, "_read error addr=0x0301\n", "read 0x0301 moved 0"},  // low byte
      {Fault::WriteError, 5, "writePort write error addr=0x0301 byte=17\n", "write 0x0301 0x17 -> EIO"},
      {Fault::ReadError, 3, "_read error addr=0x0301\n", "read 0x0301 -> EIO"},  // high byte
  };
  board->set_data(7, 0x02, 0x00);  // a reading of -2 must not pass for a result
  for (const Case& c : cases) {
    sim().clear_log();
    sim().arm(c.fault, c.nth);
    EXPECT_EQ(ioReadQ7460(kBase, 7), -1) << name_of(c.fault) << "@" << c.nth;
    EXPECT_EQ(printed(), c.message) << name_of(c.fault) << "@" << c.nth;
    EXPECT_EQ(log().back(), c.last_transfer) << name_of(c.fault) << "@" << c.nth;
    sim().clear_faults();
  }
}

TEST_F(Q7460, WithTheDeviceClosedOneLineAndNoTransfer) {
  ioClose();
  sim().clear_log();
  EXPECT_EQ(ioReadQ7460(kBase, 3), -1);
  EXPECT_EQ(printed(), "writePort seek error addr=0x0301 byte=03\n");
  EXPECT_EQ(log(), Lines{});
}

// The control register is base + 1 in 32-bit arithmetic, with no reduction
// to the port space: 0xFFFF puts it at 0x10000, where no byte moves, and the
// largest address wraps to the most negative one, which cannot be positioned.
TEST_F(Q7460, TheControlRegisterAddressIsNotReducedToThePortSpace) {
  EXPECT_EQ(ioReadQ7460(0xFFFF, 1), -1);
  EXPECT_EQ(printed(), "writePort write error addr=0x10000 byte=01\n");
  EXPECT_EQ(ioReadQ7460(INT_MAX, 1), -1);
  EXPECT_EQ(printed(), "writePort seek error addr=0x80000000 byte=01\n");
}

TEST_F(Q7460, ReadsRelyOnNothingAnEarlierReadLeft) {
  board->set_millivolts(1, 1000);
  board->set_millivolts(2, -2000);
  board->set_stuck_busy(true);
  sim().set_virtual_time(true);
  EXPECT_EQ(ioReadQ7460(kBase, 1), -1);
  board->set_stuck_busy(false);
  EXPECT_EQ(ioReadQ7460(kBase, 2), -2000);
  EXPECT_EQ(ioReadQ7460(kBase, 1), 1000);
  EXPECT_EQ(board->control(), 0x11) << "a completed read leaves the high select";
  printed();
}

}  // namespace
}  // namespace hwgatek::test

// The preload shim: "/dev/port" served from the simulator through the C
// library's own calls, every other file untouched, and the configuration
// that the environment gives to programs such as the JVM.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <string>
#include <utility>

#include "hwgatek/sim/simulator.h"

namespace hwgatek::sim {
namespace {

using Lines = std::vector<std::string>;

class Shim : public testing::Test {
 protected:
  void SetUp() override { sim().reset(); }
  void TearDown() override {
    for (const char* name : kVariables) unsetenv(name);
    sim().reset();
  }
  static Simulator& sim() { return Simulator::instance(); }

  static constexpr const char* kVariables[] = {
      "HWGATEK_SIM_PRIVILEGED", "HWGATEK_SIM_DEVICE",   "HWGATEK_SIM_TIME",
      "HWGATEK_SIM_PORTS",      "HWGATEK_SIM_Q7460",    "HWGATEK_SIM_Q7460_MV",
      "HWGATEK_SIM_Q7460_DATA", "HWGATEK_SIM_Q7460_CONVERSION", "HWGATEK_SIM_FAULTS",
      "HWGATEK_SIM_LOG"};
};

TEST_F(Shim, IsInPlace) { EXPECT_TRUE(Simulator::in_place()); }

TEST_F(Shim, ServesThePortDeviceThroughTheCLibrarysCalls) {
  sim().set_port(0x61, 0x20);
  const int fd = ::open("/dev/port", O_RDWR | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(sim().open_descriptors(), 1);
  EXPECT_TRUE(::fcntl(fd, F_GETFD) & FD_CLOEXEC);

  unsigned char byte = 0;
  EXPECT_EQ(::lseek(fd, 0x61, SEEK_SET), 0x61);
  EXPECT_EQ(::read(fd, &byte, 1), 1);
  EXPECT_EQ(byte, 0x20);
  byte = 0x21;
  EXPECT_EQ(::lseek(fd, 0x61, SEEK_SET), 0x61);
  EXPECT_EQ(::write(fd, &byte, 1), 1);
  EXPECT_EQ(sim().port(0x61), 0x21);

  errno = 0;
  EXPECT_EQ(::lseek(fd, -1, SEEK_SET), -1);
  EXPECT_EQ(errno, EOVERFLOW);
  EXPECT_EQ(::lseek(fd, -5000, SEEK_SET), -5000);
  EXPECT_EQ(::read(fd, &byte, 1), 0);

  EXPECT_EQ(::close(fd), 0);
  EXPECT_EQ(sim().open_descriptors(), 0);
  EXPECT_EQ(sim().log_lines(), (Lines{"open O_RDWR|O_CLOEXEC", "seek 0x0061", "read 0x0061 = 0x20",
                                      "seek 0x0061", "write 0x0061 0x21",
                                      "seek -0x0001 -> EOVERFLOW", "seek -0x1388",
                                      "read -0x1388 moved 0", "close"}));
}

TEST_F(Shim, RefusesOpensAsTheKernelWould) {
  const std::pair<void (*)(), int> cases[] = {
      {[] { sim().set_privileged(false); }, EPERM},
      {[] { sim().set_device_present(false); }, ENXIO},
      {[] { sim().arm(Fault::OpenEACCES); }, EACCES},
  };
  for (const auto& [refuse, error] : cases) {
    sim().reset();
    refuse();
    errno = 0;
    EXPECT_EQ(::open("/dev/port", O_RDWR), -1);
    EXPECT_EQ(errno, error);
    EXPECT_EQ(sim().open_descriptors(), 0);
  }
}

TEST_F(Shim, PassesEveryOtherFileThroughUntouched) {
  char path[] = "/tmp/hwgatek-shim-XXXXXX";
  const int fd = ::mkstemp(path);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(::write(fd, "abc", 3), 3);
  EXPECT_EQ(::lseek(fd, 1, SEEK_SET), 1);
  char text[2] = {};
  EXPECT_EQ(::read(fd, text, 2), 2);
  EXPECT_EQ(std::string(text, 2), "bc");
  EXPECT_EQ(::close(fd), 0);
  const int again = ::open(path, O_RDONLY);
  EXPECT_GE(again, 0);
  ::close(again);
  ::unlink(path);
  EXPECT_EQ(sim().log_lines(), Lines{});
}

// Pauses and clock readings are the simulator's only when libhwGateK makes
// them; this test program's own sleep and clock stay real under virtual time.
TEST_F(Shim, OtherCallersKeepRealPausesAndARealClock) {
  sim().set_virtual_time(true);
  timespec before{}, after{};
  ::clock_gettime(CLOCK_MONOTONIC, &before);
  ::usleep(2000);
  ::clock_gettime(CLOCK_MONOTONIC, &after);
  const auto elapsed_us = (after.tv_sec - before.tv_sec) * 1000000 + (after.tv_nsec - before.tv_nsec) / 1000;
  EXPECT_GE(elapsed_us, 2000);
  EXPECT_EQ(sim().now_us(), 0u);
  EXPECT_EQ(sim().log_lines(), Lines{});
}

TEST_F(Shim, TheEnvironmentConfiguresTheSimulator) {
  setenv("HWGATEK_SIM_TIME", "virtual", 1);
  setenv("HWGATEK_SIM_PORTS", "0x80=0x12,129=255", 1);
  setenv("HWGATEK_SIM_Q7460", "0x2A0", 1);
  setenv("HWGATEK_SIM_Q7460_MV", "100,-200,5=2500", 1);
  setenv("HWGATEK_SIM_Q7460_DATA", "15=0xFF:0x7F", 1);
  setenv("HWGATEK_SIM_Q7460_CONVERSION", "reads:1", 1);
  setenv("HWGATEK_SIM_FAULTS", "read-none@2", 1);
  std::string error;
  ASSERT_TRUE(sim().configure_from_environment(&error)) << error;
  EXPECT_TRUE(sim().clock().is_virtual());
  EXPECT_EQ(sim().port(0x80), 0x12);
  EXPECT_EQ(sim().port(0x81), 0xFF);

  const int fd = ::open("/dev/port", O_RDWR);
  ASSERT_GE(fd, 0);
  auto transfer = [fd](std::uint16_t port, int out = -1) {
    unsigned char byte = static_cast<unsigned char>(out);
    ::lseek(fd, port, SEEK_SET);
    const auto moved = out < 0 ? ::read(fd, &byte, 1) : ::write(fd, &byte, 1);
    return moved == 1 ? int{byte} : -1;
  };
  auto convert = [&](int channel) {
    transfer(0x2A1, channel | 0x40);
    transfer(0x2A1, channel);
  };
  convert(1);
  EXPECT_EQ(transfer(0x2A0), 0x40);
  EXPECT_EQ(transfer(0x2A0), -1) << "the second read moves nothing";
  EXPECT_EQ(transfer(0x2A0), 0x00);
  transfer(0x2A1, 0x21);
  const int low = transfer(0x2A1);
  transfer(0x2A1, 0x11);
  const int high = transfer(0x2A1);
  const Q7460Board::Data expected = Q7460Board::encode(-200);
  EXPECT_EQ(low, expected.low);
  EXPECT_EQ(high, expected.high);
  ::close(fd);
}

TEST_F(Shim, WithoutSettingsABoardSitsAt0x300) {
  ASSERT_TRUE(sim().configure_from_environment());
  const int fd = ::open("/dev/port", O_RDWR);
  ASSERT_GE(fd, 0);
  auto transfer = [fd](std::uint16_t port, int out = -1) {
    unsigned char byte = static_cast<unsigned char>(out);
    ::lseek(fd, port, SEEK_SET);
    if (out < 0) ::read(fd, &byte, 1); else ::write(fd, &byte, 1);
    return int{byte};
  };
  transfer(0x301, 0x42);
  transfer(0x301, 0x02);
  EXPECT_EQ(transfer(0x300), 0x40) << "busy for one status read";
  EXPECT_EQ(transfer(0x300), 0x00);
  transfer(0x301, 0x22);
  EXPECT_EQ(transfer(0x301), Q7460Board::encode(2500).low);
  transfer(0x301, 0x12);
  EXPECT_EQ(transfer(0x301), Q7460Board::encode(2500).high);
  ::close(fd);
}

TEST_F(Shim, UnreadableSettingsAreRefusedByName) {
  const std::pair<const char*, const char*> cases[] = {
      {"HWGATEK_SIM_PRIVILEGED", "yes"},   {"HWGATEK_SIM_DEVICE", "2"},
      {"HWGATEK_SIM_TIME", "fast"},        {"HWGATEK_SIM_PORTS", "0x10000=1"},
      {"HWGATEK_SIM_PORTS", "0x80"},       {"HWGATEK_SIM_Q7460", "0x1FFFF"},
      {"HWGATEK_SIM_Q7460_MV", "16=100"},  {"HWGATEK_SIM_Q7460_DATA", "1=0x100:0"},
      {"HWGATEK_SIM_Q7460_CONVERSION", "soon"}, {"HWGATEK_SIM_FAULTS", "read-none@0"},
  };
  for (const auto& [name, value] : cases) {
    setenv(name, value, 1);
    std::string error;
    EXPECT_FALSE(sim().configure_from_environment(&error)) << name;
    EXPECT_EQ(error, std::string(name) + ": cannot understand '" + value + "'");
    unsetenv(name);
  }
}

TEST_F(Shim, TheLogFileReceivesEveryLine) {
  char path[] = "/tmp/hwgatek-log-XXXXXX";
  ::close(::mkstemp(path));
  setenv("HWGATEK_SIM_LOG", path, 1);
  ASSERT_TRUE(sim().configure_from_environment());
  const int fd = ::open("/dev/port", O_RDWR | O_CLOEXEC);
  ::lseek(fd, 0x80, SEEK_SET);
  ::close(fd);
  std::ifstream file(path);
  Lines lines;
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  EXPECT_EQ(lines, (Lines{"open O_RDWR|O_CLOEXEC", "seek 0x0080", "close"}));
  ::unlink(path);
}

}  // namespace
}  // namespace hwgatek::sim

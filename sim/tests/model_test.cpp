// The kernel port device model, its faults and its log, without the shim.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>

#include "hwgatek/sim/faults.h"
#include "hwgatek/sim/port_device.h"
#include "hwgatek/sim/port_space.h"
#include "hwgatek/sim/transfer_log.h"

namespace hwgatek::sim {
namespace {

class PortDeviceModel : public testing::Test {
 protected:
  PortSpace ports;
  Faults faults;
  TransferLog log;
  PortDevice device{ports, faults, log};
  OpenFile file;
};

TEST_F(PortDeviceModel, OpenNeedsPrivilegeAndADevice) {
  EXPECT_EQ(device.open(O_RDWR | O_CLOEXEC), 0);
  device.set_privileged(false);
  EXPECT_EQ(device.open(O_RDWR), -EPERM);
  device.set_present(false);
  EXPECT_EQ(device.open(O_RDWR), -ENXIO);  // no device outranks no privilege
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"open O_RDWR|O_CLOEXEC", "open O_RDWR -> EPERM",
                                                   "open O_RDWR -> ENXIO"}));
}

TEST_F(PortDeviceModel, LseekAnswersAsTheKernelDoes) {
  struct Case {
    std::int64_t offset;
    std::int64_t answer;
  };
  const Case cases[] = {
      {0, 0},
      {0x300, 0x300},
      {0xFFFF, 0xFFFF},
      {0x10000, 0x10000},         // beyond the port space: accepted
      {INT32_MAX, INT32_MAX},
      {-1, -EOVERFLOW},           // -1 .. -4095 would read as error numbers
      {-4095, -EOVERFLOW},
      {-4096, -4096},             // more negative: becomes the position
      {INT32_MIN, INT32_MIN},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(device.lseek(file, c.offset, SEEK_SET), c.answer) << c.offset;
  }
  EXPECT_EQ(device.lseek(file, 0, SEEK_END), -EINVAL);
}

TEST_F(PortDeviceModel, TransfersMoveBytesOnlyInsideThePortSpace) {
  ports.set(0xFFFF, 0x5A);
  std::uint8_t byte = 0;
  ASSERT_EQ(device.lseek(file, 0xFFFF, SEEK_SET), 0xFFFF);
  EXPECT_EQ(device.read(file, &byte, 1), 1);
  EXPECT_EQ(byte, 0x5A);
  EXPECT_EQ(file.position, 0x10000);  // a transfer moves the position on
  EXPECT_EQ(device.read(file, &byte, 1), 0);
  EXPECT_EQ(device.write(file, &byte, 1), 0);
  ASSERT_EQ(device.lseek(file, -4096, SEEK_SET), -4096);
  EXPECT_EQ(device.read(file, &byte, 1), 0);
  EXPECT_EQ(log.lines(), (std::vector<std::string>{
                             "seek 0xFFFF", "read 0xFFFF = 0x5A", "read 0x10000 moved 0",
                             "write 0x10000 0x5A moved 0", "seek -0x1000", "read -0x1000 moved 0"}));
}

TEST_F(PortDeviceModel, UnboardedPortsAreLatchesThatFloatHigh) {
  std::uint8_t byte = 0;
  device.lseek(file, 0x80, SEEK_SET);
  ASSERT_EQ(device.read(file, &byte, 1), 1);
  EXPECT_EQ(byte, 0xFF);
  const std::uint8_t out = 0x00;
  device.lseek(file, 0x80, SEEK_SET);
  ASSERT_EQ(device.write(file, &out, 1), 1);
  device.lseek(file, 0x80, SEEK_SET);
  ASSERT_EQ(device.read(file, &byte, 1), 1);
  EXPECT_EQ(byte, 0x00);
}

TEST_F(PortDeviceModel, EachFaultGivesItsAnswerOnItsOperation) {
  struct Case {
    Fault fault;
    std::int64_t answer;
  };
  const Case cases[] = {
      {Fault::OpenEPERM, -EPERM},       {Fault::OpenENXIO, -ENXIO},
      {Fault::OpenEACCES, -EACCES},     {Fault::SeekError, -EINVAL},
      {Fault::SeekNegative, -0x10000},  {Fault::SeekElsewhere, 0x301},
      {Fault::ReadNone, 0},             {Fault::ReadError, -EIO},
      {Fault::WriteNone, 0},            {Fault::WriteError, -EIO},
  };
  for (const Case& c : cases) {
    faults.arm(c.fault);
    std::uint8_t byte = 0x12;
    std::int64_t got = 0;
    switch (operation_of(c.fault)) {
      case Operation::Open: got = device.open(O_RDWR); break;
      case Operation::Seek: got = device.lseek(file, 0x300, SEEK_SET); break;
      case Operation::Read: got = device.read(file, &byte, 1); break;
      case Operation::Write: got = device.write(file, &byte, 1); break;
    }
    EXPECT_EQ(got, c.answer) << name_of(c.fault);
    EXPECT_TRUE(faults.empty()) << name_of(c.fault) << " fires once";
  }
}

TEST(Faults, FireOnTheNthOperationOfTheirKindAndOptionallyAfter) {
  Faults faults;
  faults.arm(Fault::ReadNone, 3);
  faults.arm(Fault::WriteError, 2, true);
  std::vector<bool> reads, writes;
  for (int i = 0; i < 5; ++i) {
    reads.push_back(faults.on(Operation::Read).has_value());
    writes.push_back(faults.on(Operation::Write).has_value());
  }
  EXPECT_EQ(reads, (std::vector<bool>{false, false, true, false, false}));
  EXPECT_EQ(writes, (std::vector<bool>{false, true, true, true, true}));
  EXPECT_FALSE(faults.on(Operation::Seek));
}

TEST(Faults, ListsParseOrArmNothing) {
  Faults faults;
  EXPECT_TRUE(faults.arm_from_list("read-none@3,seek-elsewhere@2+,open-eperm"));
  EXPECT_EQ(faults.on(Operation::Open), Fault::OpenEPERM);
  EXPECT_FALSE(faults.on(Operation::Seek));
  EXPECT_EQ(faults.on(Operation::Seek), Fault::SeekElsewhere);
  EXPECT_EQ(faults.on(Operation::Seek), Fault::SeekElsewhere);

  EXPECT_TRUE(faults.arm_from_list("write-none%3"));
  std::vector<bool> writes;
  for (int i = 0; i < 7; ++i) writes.push_back(faults.on(Operation::Write).has_value());
  EXPECT_EQ(writes, (std::vector<bool>{false, false, true, false, false, true, false}));

  for (const char* bad : {"read-nothing", "read-none@", "read-none@0", "read-none@x", "open-eperm,bogus",
                          "read-none%0", "read-none%", "read-none@2%3", "read-none+%3"}) {
    Faults fresh;
    EXPECT_FALSE(fresh.arm_from_list(bad)) << bad;
    EXPECT_TRUE(fresh.empty()) << bad;
  }
}

TEST(TransferLog, DescribesEveryEventKind) {
  using K = Event::Kind;
  const std::pair<Event, const char*> cases[] = {
      {{K::Open, 0, 0, O_RDWR | O_CLOEXEC}, "open O_RDWR|O_CLOEXEC"},
      {{K::Open, 0, -EACCES, O_RDONLY}, "open O_RDONLY -> EACCES"},
      {{K::Close}, "close"},
      {{K::Seek, 0x301, 0x301}, "seek 0x0301"},
      {{K::Seek, 0x301, 0x302}, "seek 0x0301 -> 0x0302"},
      {{K::Seek, -1, -EOVERFLOW}, "seek -0x0001 -> EOVERFLOW"},
      {{K::Pause, 0, 0, 100}, "pause 100us"},
      {{K::Read, 0x300, 1, 0x40}, "read 0x0300 = 0x40"},
      {{K::Read, 0x300, -EIO}, "read 0x0300 -> EIO"},
      {{K::Write, 0x301, 1, 0x45}, "write 0x0301 0x45"},
      {{K::Write, 0x301, 0, 0x45}, "write 0x0301 0x45 moved 0"},
  };
  for (const auto& [event, text] : cases) EXPECT_EQ(describe(event), text);
}

TEST(TransferLog, KeepsAtMostItsLimitAndCountsTheRest) {
  TransferLog log;
  log.set_limit(2);
  for (int i = 0; i < 5; ++i) log.record(Event{Event::Kind::Close});
  EXPECT_EQ(log.events().size(), 2u);
  EXPECT_EQ(log.dropped(), 3u);
}

}  // namespace
}  // namespace hwgatek::sim

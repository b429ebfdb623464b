// ioOpen, ioClose, ioReadPort and ioWritePort through libhwGateK and the
// simulated port device.
#include <sys/prctl.h>

#include <climits>
#include <cstdint>

#include "library_fixture.h"

namespace hwgatek::test {
namespace {

using sim::Fault;

constexpr jlong kExtras[] = {0, -1, LLONG_MAX, LLONG_MIN};

TEST_F(Library, ReadsGiveTheByteUnsignedThroughBothOverloads) {
  open_device();
  for (int value : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
    sim().set_port(0x80, static_cast<std::uint8_t>(value));
    EXPECT_EQ(ioReadPort(0x80), value);
    for (jlong extra : kExtras) EXPECT_EQ(ioReadPort(0x80, extra), value) << extra;
  }
  EXPECT_EQ(printed(), "");
}

TEST_F(Library, WritesMoveTheJavaBytesBitPatternThroughBothOverloads) {
  open_device();
  const std::pair<jbyte, int> cases[] = {{0, 0x00}, {1, 0x01}, {127, 0x7F}, {-128, 0x80}, {-1, 0xFF}};
  for (const auto& [byte, expected] : cases) {
    EXPECT_EQ(ioWritePort(0x378, byte), 0);
    EXPECT_EQ(sim().port(0x378), expected) << int{byte};
    for (jlong extra : kExtras) {
      sim().set_port(0x378, 0x5A);
      EXPECT_EQ(ioWritePort(0x378, byte, extra), 0);
      EXPECT_EQ(sim().port(0x378), expected) << int{byte} << " " << extra;
    }
  }
  EXPECT_EQ(printed(), "");
}

TEST_F(Library, EachTransferPositionsPausesAndMovesOneByte) {
  open_device();
  sim().set_port(0x80, 0x12);
  ioReadPort(0x80);
  ioReadPort(0x80);
  ioWritePort(0x81, -1);
  EXPECT_EQ(log(), (Lines{"seek 0x0080", "pause 100us", "read 0x0080 = 0x12",  //
                          "seek 0x0080", "pause 100us", "read 0x0080 = 0x12",  //
                          "seek 0x0081", "pause 100us", "write 0x0081 0xFF"}));
}

TEST_F(Library, OpenIsCloseOnExecAndDoesNotNest) {
  EXPECT_EQ(ioOpen(), 0);
  EXPECT_EQ(ioOpen(), 0);
  EXPECT_EQ(sim().open_descriptors(), 1);
  EXPECT_EQ(ioClose(), 0);
  EXPECT_EQ(sim().open_descriptors(), 0);
  EXPECT_EQ(ioReadPort(0x80), -2);  // one close ended both opens
  EXPECT_EQ(ioClose(), 0);
  EXPECT_EQ(ioClose(), 0);
  EXPECT_EQ(log(), (Lines{"open O_RDWR|O_CLOEXEC", "close"}));
  EXPECT_EQ(printed(), "_read seek error addr=0x0080\n");
}

TEST_F(Library, RefusedOpensReturnMinusOneSilentlyAndTheNextOpenTriesAgain) {
  const std::pair<const char*, void (*)()> refusals[] = {
      {"EPERM", [] { sim().arm(Fault::OpenEPERM); }},
      {"ENXIO", [] { sim().arm(Fault::OpenENXIO); }},
      {"EACCES", [] { sim().arm(Fault::OpenEACCES); }},
      {"EPERM", [] { sim().set_privileged(false); }},
      {"ENXIO", [] { sim().set_device_present(false); }},
  };
  for (const auto& [error, refuse] : refusals) {
    sim().reset();
    refuse();
    EXPECT_EQ(ioOpen(), -1) << error;
    EXPECT_EQ(ioReadPort(0x80), -2) << error;  // still closed
    EXPECT_EQ(printed(), "_read seek error addr=0x0080\n") << error;
    sim().reset();
    EXPECT_EQ(ioOpen(), 0) << error;
    EXPECT_EQ(ioClose(), 0);
  }
}

// Closed before the first open, after a close, and after a failed open: every
// transfer is refused with -2 and its positioning message, and the device is
// not touched.
TEST_F(Library, TransfersWhileClosedAreRefusedWithoutTouchingTheDevice) {
  const std::pair<const char*, void (*)()> states[] = {
      {"never opened", [] {}},
      {"closed", [] { ioOpen(); ioClose(); }},
      {"open refused", [] { sim().arm(Fault::OpenEACCES); ioOpen(); }},
  };
  for (const auto& [state, reach] : states) {
    reach();
    sim().clear_log();
    EXPECT_EQ(ioReadPort(0x1F0), -2) << state;
    EXPECT_EQ(ioReadPort(0x1F0, -1), -2) << state;
    EXPECT_EQ(ioWritePort(0x1F0, -2), -2) << state;
    EXPECT_EQ(ioWritePort(0x1F0, 0x0A, LLONG_MIN), -2) << state;
    EXPECT_EQ(printed(),
              "_read seek error addr=0x01F0\n"
              "_read seek error addr=0x01F0\n"
              "writePort seek error addr=0x01F0 byte=FE\n"
              "writePort seek error addr=0x01F0 byte=0A\n")
        << state;
    EXPECT_EQ(log(), Lines{}) << state;
  }
}

TEST_F(Library, AddressesOutsideThePortSpaceReachTheDeviceUnchanged) {
  struct Case {
    jint port;
    jint result;
    const char* read_message;
    const char* seek;
  };
  const Case cases[] = {
      // Accepted by the device, but there is no port there: nothing moves.
      {0x10000, -3, "_read error addr=0x10000\n", "seek 0x10000"},
      {INT_MAX, -3, "_read error addr=0x7FFFFFFF\n", "seek 0x7FFFFFFF"},
      // -1 .. -4095 are refused by the device; more negative offsets are
      // answered with the negative position: both fail positioning.
      {-1, -2, "_read seek error addr=0xFFFFFFFF\n", "seek -0x0001 -> EOVERFLOW"},
      {-4095, -2, "_read seek error addr=0xFFFFF001\n", "seek -0x0FFF -> EOVERFLOW"},
      {-5000, -2, "_read seek error addr=0xFFFFEC78\n", "seek -0x1388"},
      {INT_MIN, -2, "_read seek error addr=0x80000000\n", "seek -0x80000000"},
  };
  open_device();
  for (const Case& c : cases) {
    sim().clear_log();
    EXPECT_EQ(ioReadPort(c.port), c.result) << c.port;
    EXPECT_EQ(printed(), c.read_message) << c.port;
    ASSERT_FALSE(log().empty());
    EXPECT_EQ(log().front(), c.seek);
    if (c.result == -2) {
      EXPECT_EQ(log().size(), 1u) << "no pause after a failed positioning";
    }
  }
  EXPECT_EQ(ioWritePort(0x10000, static_cast<jbyte>(0xAB)), -3);
  EXPECT_EQ(ioWritePort(-5000, static_cast<jbyte>(0xAB)), -2);
  EXPECT_EQ(printed(),
            "writePort write error addr=0x10000 byte=AB\n"
            "writePort seek error addr=0xFFFFEC78 byte=AB\n");
}

// Every failure the device can answer with: the code, the one message, and
// the device still open for the next transfer.
TEST_F(Library, DeviceFailuresGiveTheirCodeAndMessageAndLeaveTheDeviceOpen) {
  struct Case {
    Fault fault;
    jint read_result, write_result;
    const char* messages;
  };
  const Case cases[] = {
      {Fault::SeekError, -2, -2,
       "_read seek error addr=0x0300\nwritePort seek error addr=0x0300 byte=C3\n"},
      {Fault::SeekNegative, -2, -2,
       "_read seek error addr=0x0300\nwritePort seek error addr=0x0300 byte=C3\n"},
      // A device positioned elsewhere is a positioning failure, not -3.
      {Fault::SeekElsewhere, -2, -2,
       "_read seek error addr=0x0300\nwritePort seek error addr=0x0300 byte=C3\n"},
      {Fault::ReadNone, -3, 0, "_read error addr=0x0300\n"},
      {Fault::ReadError, -3, 0, "_read error addr=0x0300\n"},
      {Fault::WriteNone, 0x5A, -3, "writePort write error addr=0x0300 byte=C3\n"},
      {Fault::WriteError, 0x5A, -3, "writePort write error addr=0x0300 byte=C3\n"},
  };
  open_device();
  for (const Case& c : cases) {
    sim().set_port(0x300, 0x5A);
    sim().arm(c.fault, 1, /*and_after=*/true);
    EXPECT_EQ(ioReadPort(0x300), c.read_result) << name_of(c.fault);
    EXPECT_EQ(ioWritePort(0x300, static_cast<jbyte>(0xC3)), c.write_result) << name_of(c.fault);
    EXPECT_EQ(printed(), c.messages) << name_of(c.fault);
    sim().clear_faults();
    sim().set_port(0x300, 0x5A);
    EXPECT_EQ(ioReadPort(0x300), 0x5A) << name_of(c.fault) << ": still open";
  }
  EXPECT_EQ(sim().open_descriptors(), 1);
}

TEST_F(Library, APauseIsTakenOnlyWhenPositioningSucceeded) {
  open_device();
  sim().arm(Fault::SeekElsewhere);
  sim().arm(Fault::ReadNone);
  ioReadPort(0x60);
  ioReadPort(0x60);
  EXPECT_EQ(log(), (Lines{"seek 0x0060 -> 0x0061", "seek 0x0060", "pause 100us", "read 0x0060 moved 0"}));
}

// The pause lowers the thread's timer slack to end close to 100 us, and puts
// the thread's own value back.
TEST_F(Library, PausesLeaveTheThreadsTimerSlackAsItWas) {
  sim().attach_q7460(0x300).set_conversion(2, 0);
  open_device();
  for (unsigned long slack : {50'000ul, 1ul, 123'456ul}) {
    ASSERT_EQ(prctl(PR_SET_TIMERSLACK, slack, 0, 0, 0), 0);
    ioReadPort(0x80);
    ioWritePort(0x80, 1);
    ioReadQ7460(0x300, 1);
    EXPECT_EQ(prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0), static_cast<int>(slack));
  }
  prctl(PR_SET_TIMERSLACK, 50'000ul, 0, 0, 0);
}

}  // namespace
}  // namespace hwgatek::test

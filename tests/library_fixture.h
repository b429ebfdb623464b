// Calls libhwGateK's entry points as a JVM would, with the simulator under
// them, and captures what the library prints on standard output.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Tavex_srv_hwGateK.h"
#include "hwgatek/sim/simulator.h"

namespace hwgatek::test {

// The entry points, called with a null environment and receiver as native
// code may: the library reads neither.
inline jint ioOpen() { return Java_Tavex_srv_hwGateK_ioOpen(nullptr, nullptr); }
inline jint ioClose() { return Java_Tavex_srv_hwGateK_ioClose(nullptr, nullptr); }
inline jint ioReadPort(jint port) { return Java_Tavex_srv_hwGateK_ioReadPort__I(nullptr, nullptr, port); }
inline jint ioReadPort(jint port, jlong extra) {
  return Java_Tavex_srv_hwGateK_ioReadPort__IJ(nullptr, nullptr, port, extra);
}
inline jint ioWritePort(jint port, jbyte byte) {
  return Java_Tavex_srv_hwGateK_ioWritePort__IB(nullptr, nullptr, port, byte);
}
inline jint ioWritePort(jint port, jbyte byte, jlong extra) {
  return Java_Tavex_srv_hwGateK_ioWritePort__IBJ(nullptr, nullptr, port, byte, extra);
}
inline jint ioReadQ7460(jint base, jint channel) {
  return Java_Tavex_srv_hwGateK_ioReadQ7460__II(nullptr, nullptr, base, channel);
}

using Lines = std::vector<std::string>;

// Each test starts with a fresh simulator, the port device closed, an empty
// log and standard output being captured.
class Library : public testing::Test {
 protected:
  void SetUp() override {
    ioClose();
    sim().reset();
    testing::internal::CaptureStdout();
  }
  void TearDown() override {
    testing::internal::GetCapturedStdout();
    ioClose();
  }

  static sim::Simulator& sim() { return sim::Simulator::instance(); }
  static Lines log() { return sim().log_lines(); }

  // What the library printed since the last call (flushing stdout first).
  static std::string printed() {
    std::string text = testing::internal::GetCapturedStdout();
    testing::internal::CaptureStdout();
    return text;
  }

  // Opens the device and forgets the open in the log.
  static void open_device() {
    ASSERT_EQ(ioOpen(), 0);
    sim().clear_log();
  }
};

}  // namespace hwgatek::test

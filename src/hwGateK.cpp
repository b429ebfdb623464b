// The shared unit of both deliverables: the seven JNI entry points of
// Tavex.srv.hwGateK and the Q7460 analog channel read behind ioReadQ7460.
//
// The entry points do no work of their own: they hand the Java arguments to
// the backend's port access operations and return the result unchanged. The
// environment pointer and the receiver are never read, so native callers may
// pass null for both; no JNI function is called.
#include "Tavex_srv_hwGateK.h"
#include "hwgatek/port_access.h"

#include <cstdint>

namespace hwgatek {
namespace {

// Q7460 register protocol. Status register at the base address, control
// register at base + 1.
constexpr int kBusyBit = 0x40;     // status: a conversion is running
constexpr int kStartBit = 0x40;    // control: a pulse starts a conversion
constexpr int kLowSelect = 0x20;   // control: next control read is the low byte
constexpr int kHighSelect = 0x10;  // control: next control read is the high byte
constexpr int kTimedOut = -1;

// The control register is base + 1 in 32-bit arithmetic: 0xFFFF gives
// 0x10000 and 0x7FFFFFFF wraps to the most negative address, as the board's
// address decoding would (no undefined signed overflow).
std::int32_t control_register(std::int32_t base) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(base) + 1u);
}

// Sign-and-magnitude result: 12 magnitude bits, bit 7 of the high byte set
// for a positive reading; bits 4-6 of the high byte are ignored. Scaled so
// that a count of 4096 would be 5000 mV; the division truncates toward zero.
std::int32_t millivolts(int low, int high) {
  const std::int32_t magnitude = low + (high & 0x0F) * 256;
  const std::int32_t count = (high & 0x80) ? magnitude : -magnitude;
  return count * 5000 / 4096;
}

// Reads one channel of a Q7460 board: select the channel, pulse the start
// bit, wait while the board is busy, then read the low and high data bytes.
//
// Returns millivolts (-4998 .. 4998), or -1 when the board stays busy for a
// quarter second of real time (prints the time-out line) or when any
// transfer fails (the failing transfer's own message is then the only line,
// and nothing else is sent to the board).
std::int32_t read_q7460(std::int32_t base, std::int32_t channel) {
  const auto number = static_cast<std::int8_t>(channel & 0x0F);
  const std::int32_t control = control_register(base);

  if (_write(number, control) < 0) return kTimedOut;
  if (_write(static_cast<std::int8_t>(number | kStartBit), control) < 0) return kTimedOut;
  if (_write(number, control) < 0) return kTimedOut;
  _delay();

  // The status register is read before the clock is first looked at, and
  // the clock only after a busy status: an idle board costs one status read
  // and one clock reading. Unsigned differences survive the clock wrapping.
  const auto limit = static_cast<std::uint32_t>(clock_ticks_per_second / 4);
  const auto start = static_cast<std::uint32_t>(_clock());
  for (;;) {
    const int status = _read(base);
    if (status < 0) return kTimedOut;
    if ((status & kBusyBit) == 0) break;
    if (static_cast<std::uint32_t>(_clock()) - start >= limit) {
      printf("Q7460 read channel:%d addr=%04X TIMEOUT\n", static_cast<int>(channel),
             static_cast<unsigned>(base));
      return kTimedOut;
    }
  }

  if (_write(static_cast<std::int8_t>(number | kLowSelect), control) < 0) return kTimedOut;
  const int low = _read(control);
  if (low < 0) return kTimedOut;
  if (_write(static_cast<std::int8_t>(number | kHighSelect), control) < 0) return kTimedOut;
  const int high = _read(control);
  if (high < 0) return kTimedOut;
  return millivolts(low, high);
}

}  // namespace
}  // namespace hwgatek

extern "C" {

JNIEXPORT jint JNICALL Java_Tavex_srv_hwGateK_ioOpen(JNIEnv*, jclass) {
  return hwgatek::_open();
}

JNIEXPORT jint JNICALL Java_Tavex_srv_hwGateK_ioClose(JNIEnv*, jclass) {
  return hwgatek::_close();
}

JNIEXPORT jint JNICALL Java_Tavex_srv_hwGateK_ioReadPort__I(JNIEnv*, jclass, jint port) {
  return hwgatek::_read(port);
}

// The long argument is accepted and never read.
JNIEXPORT jint JNICALL Java_Tavex_srv_hwGateK_ioReadPort__IJ(JNIEnv*, jclass, jint port, jlong) {
  return hwgatek::_read(port);
}

JNIEXPORT jint JNICALL Java_Tavex_srv_hwGateK_ioWritePort__IB(JNIEnv*, jclass, jint port,
                                                              jbyte byte) {
  return hwgatek::_write(byte, port);
}

// The long argument is accepted and never read; the write is the two-argument
// entry point's, so both move the same byte and print the same messages.
JNIEXPORT jint JNICALL Java_Tavex_srv_hwGateK_ioWritePort__IBJ(JNIEnv* env, jclass cls, jint port,
                                                               jbyte byte, jlong) {
  return Java_Tavex_srv_hwGateK_ioWritePort__IB(env, cls, port, byte);
}

JNIEXPORT jint JNICALL Java_Tavex_srv_hwGateK_ioReadQ7460__II(JNIEnv*, jclass, jint base,
                                                              jint channel) {
  return hwgatek::read_q7460(base, channel);
}

}  // extern "C"

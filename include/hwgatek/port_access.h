// Port access: the contract between the shared unit (the seven entry points
// and the Q7460 channel read) and the backend that a deliverable links in.
//
// Each deliverable links exactly one backend that defines everything below:
//   src/port_device.cpp  libhwGateK: the kernel port device "/dev/port"
//   src/direct_port.cpp  hwGateK.dll: the processor's IN and OUT instructions
//
// Result codes (32-bit signed) shared by every operation:
//    0 .. 255  _read: the byte read, zero-extended; never negative for data
//    0         success of _open, _close and _write
//   -1         _open: port access cannot be made ready
//   -2         _read, _write: positioning failed, port access closed included
//   -3         _read, _write: the transfer did not move exactly one byte
// A failure also prints at most one message line on standard output (see the
// backend); nothing is thrown, retried or flushed, and a failure leaves port
// access open or closed as it was.
#pragma once

#include <cstdint>

namespace hwgatek {

// Result codes of the port access operations.
inline constexpr int kOpenFailed = -1;
inline constexpr int kSeekFailed = -2;
inline constexpr int kTransferFailed = -3;

// The work of ioOpen. Makes port access ready: 0 when it is, also when it
// already was (opens do not nest); -1 when it cannot be. Prints nothing.
//   port device: opens "/dev/port" read-write, close-on-exec, once.
//   direct port: nothing to do, always 0.
int _open();

// The work of ioClose. Ends port access; 0 in every case, also when it was
// not open. One close ends any number of opens. Prints nothing.
int _close();

// Reads one byte from the port at `port` (a port address used as received:
// neither range-tested nor masked here). Returns the byte, 0 to 255, or:
//   -2 positioning failed / port access closed; prints
//      "_read seek error addr=0x%04X\n"
//   -3 the transfer moved no byte; prints "_read error addr=0x%04X\n"
// The port device backend pauses (_delay) after positioning, before the
// transfer; nothing is paused when positioning fails.
int _read(std::int32_t port);

// Writes the 8 bits of `byte` unchanged (-1 goes out as 0xFF) to the port at
// `port`. Note the order: the byte first, the port second. Returns 0, or:
//   -2 positioning failed / port access closed; prints
//      "writePort seek error addr=0x%04X byte=%02X\n"
//   -3 the transfer moved no byte; prints
//      "writePort write error addr=0x%04X byte=%02X\n"
// The address prints as the unsigned hex of its 32 bits, at least 4 digits;
// the byte as exactly two hex digits, whatever its sign was.
int _write(std::int8_t byte, std::int32_t port);

// The backend's settle delay. The Q7460 read calls it once after its three
// control writes. Port device: at least 100 microseconds. Direct port: none.
void _delay();

// The busy-wait clock of the Q7460 read: real time, not processor time, as a
// wrapping 32-bit count of ticks; only differences of two readings matter.
std::int32_t _clock();

// Ticks of _clock() in one second.
extern const std::int32_t clock_ticks_per_second;

}  // namespace hwgatek

// The C runtime's printf, which carries every message: the C library's in
// libhwGateK, the DLL's own small runtime in hwGateK.dll. Declared here
// rather than through <cstdio>, whose mingw form would pull in another
// runtime's printf.
extern "C" int printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

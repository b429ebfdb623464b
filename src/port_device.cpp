// Port device backend of libhwGateK: every byte travels through the kernel's
// port device "/dev/port", whose byte offsets are the I/O port addresses.
// Each transfer positions the device at the port, pauses for the settle
// delay, and moves exactly one byte.
#include "hwgatek/port_access.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include <cstdint>

namespace hwgatek {
namespace {

// The descriptor of the open port device, or -1 while it is closed. Set by
// static initialisation only: the library runs no code at load or unload.
constinit int m_fd = -1;

constexpr char kPortDevice[] = "/dev/port";
constexpr long kSettleNanoseconds = 100'000;

constexpr int kSeekClosed = -1;
constexpr int kSeekRefused = -2;
constexpr int kSeekElsewhere = -3;

// Positions the device at `port`: 0 when it is there; -1 closed (the device
// is not touched); -2 the device answered with a negative position; -3 it
// answered with another position than the one asked for.
int _seek(std::int32_t port) {
  if (m_fd == -1) return kSeekClosed;
  const off_t answer = ::lseek(m_fd, static_cast<off_t>(port), SEEK_SET);
  if (answer < 0) return kSeekRefused;
  return answer == static_cast<off_t>(port) ? 0 : kSeekElsewhere;
}

}  // namespace

int _open() {
  if (m_fd != -1) return 0;
  // Close-on-exec: a descriptor onto every I/O port of the machine must not
  // pass to the programs this process starts.
  m_fd = ::open(kPortDevice, O_RDWR | O_CLOEXEC);
  return m_fd >= 0 ? 0 : kOpenFailed;
}

int _close() {
  if (m_fd != -1) {
    ::close(m_fd);
    m_fd = -1;
  }
  return 0;
}

int _read(std::int32_t port) {
  if (_seek(port) != 0) {
    printf("_read seek error addr=0x%04X\n", static_cast<unsigned>(port));
    return kSeekFailed;
  }
  _delay();
  unsigned char byte = 0;
  if (::read(m_fd, &byte, 1) == 1) return byte;
  printf("_read error addr=0x%04X\n", static_cast<unsigned>(port));
  return kTransferFailed;
}

int _write(std::int8_t byte, std::int32_t port) {
  const auto data = static_cast<unsigned char>(byte);
  if (_seek(port) != 0) {
    printf("writePort seek error addr=0x%04X byte=%02X\n", static_cast<unsigned>(port),
           static_cast<unsigned>(data));
    return kSeekFailed;
  }
  _delay();
  if (::write(m_fd, &data, 1) == 1) return 0;
  printf("writePort write error addr=0x%04X byte=%02X\n", static_cast<unsigned>(port),
         static_cast<unsigned>(data));
  return kTransferFailed;
}

// The settle pause: 100 microseconds, never less, as close to it as the
// scheduler allows. A sleeping thread may be woken as late as its timer slack
// (50 us by default) to batch wake-ups, which would add half a pause to
// every byte; the slack is lowered to 1 ns for the pause and the thread's own
// value put back afterwards. A signal does not shorten the pause: the sleep
// resumes for what is left.
void _delay() {
  const int slack = ::prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
  ::prctl(PR_SET_TIMERSLACK, 1ul, 0, 0, 0);
  timespec pause{0, kSettleNanoseconds};
  timespec left{};
  while (::clock_nanosleep(CLOCK_MONOTONIC, 0, &pause, &left) == EINTR) pause = left;
  if (slack > 0) ::prctl(PR_SET_TIMERSLACK, static_cast<unsigned long>(slack), 0, 0, 0);
}

// Monotonic real time in microseconds, wrapping at 32 bits. Processor time
// would not count the pauses, so a board stuck busy would hold the caller
// for seconds, and busy threads elsewhere in the process would cut the wait
// short.
std::int32_t _clock() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  const auto micros = static_cast<std::uint64_t>(now.tv_sec) * 1000000u +
                      static_cast<std::uint64_t>(now.tv_nsec) / 1000u;
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(micros));
}

const std::int32_t clock_ticks_per_second = 1000000;

}  // namespace hwgatek

// The preload shim: loaded ahead of the C library (LD_PRELOAD, or linked in
// first), it serves the path "/dev/port" from the simulator to every program
// in the process, the JVM included, and passes every other file through to
// the C library untouched. "/dev/port" itself never reaches the kernel.
//
// It also watches the pauses and clock readings of libhwGateK (and only of
// libhwGateK, recognised by the caller's address): pauses go into the
// transfer log, and under virtual time they return at once and advance the
// simulator's clock, which the library's clock readings then show.
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "hwgatek/sim/simulator.h"

namespace {

using hwgatek::sim::OpenFile;
using hwgatek::sim::Simulator;

constexpr char kPortDevice[] = "/dev/port";

// ---- the C library's own functions, found behind this object ----

template <typename Function>
Function* next(const char* name) {
  return reinterpret_cast<Function*>(dlsym(RTLD_NEXT, name));
}

#define REAL(name) \
  static auto* const real = next<decltype(::name)>(#name)

// ---- descriptors onto the simulated device ----

constexpr int kMaxDescriptors = 1024;
std::atomic<bool> g_is_port[kMaxDescriptors];
OpenFile g_files[kMaxDescriptors];

bool is_port(int fd) {
  return fd >= 0 && fd < kMaxDescriptors && g_is_port[fd].load(std::memory_order_acquire);
}

// A system-call style answer (value, or -errno) as the C library gives it.
template <typename T>
T answer(std::int64_t value) {
  if (value < 0 && value >= -4095) {
    errno = static_cast<int>(-value);
    return static_cast<T>(-1);
  }
  return static_cast<T>(value);
}

int open_port_device(int flags) {
  Simulator& sim = Simulator::instance();
  auto guard = sim.lock();
  if (const int refused = sim.device().open(flags); refused < 0) return answer<int>(refused);
  // A real descriptor, so that descriptor numbers, close-on-exec and
  // /proc/self/fd behave as they would for the real device.
  REAL(open);
  const int fd = real("/dev/null", flags & (O_ACCMODE | O_CLOEXEC | O_NONBLOCK));
  if (fd < 0) return fd;
  if (fd >= kMaxDescriptors) {
    REAL(close);
    real(fd);
    errno = EMFILE;
    return -1;
  }
  g_files[fd] = OpenFile{};
  g_is_port[fd].store(true, std::memory_order_release);
  sim.note_open(+1);
  return fd;
}

bool names_port_device(const char* path) { return path && std::strcmp(path, kPortDevice) == 0; }

// ---- recognising libhwGateK's own calls ----

std::atomic<std::uintptr_t> g_library_low{0}, g_library_high{0};
std::atomic<unsigned long long> g_objects_seen{~0ull};

int count_objects(dl_phdr_info* info, size_t, void* data) {
  *static_cast<unsigned long long*>(data) = info->dlpi_adds + info->dlpi_subs;
  return 1;  // the counters are the same in every entry: one is enough
}

int find_library(dl_phdr_info* info, size_t, void*) {
  const char* name = info->dlpi_name ? std::strrchr(info->dlpi_name, '/') : nullptr;
  name = name ? name + 1 : info->dlpi_name;
  if (!name || std::strncmp(name, "libhwGateK", 10) != 0) return 0;
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const auto& segment = info->dlpi_phdr[i];
    if (segment.p_type == PT_LOAD && (segment.p_flags & PF_X)) {
      const std::uintptr_t low = info->dlpi_addr + segment.p_vaddr;
      g_library_low.store(low);
      g_library_high.store(low + segment.p_memsz);
      return 1;
    }
  }
  return 0;
}

bool in_library(const void* address) {
  const auto where = reinterpret_cast<std::uintptr_t>(address);
  return where >= g_library_low.load() && where < g_library_high.load();
}

// Whether `caller` is code of libhwGateK. The library's range is looked up
// again only when objects were loaded or unloaded since the last look.
bool from_library(const void* caller) {
  if (in_library(caller)) return true;
  unsigned long long objects = 0;
  dl_iterate_phdr(count_objects, &objects);
  if (objects != g_objects_seen.exchange(objects)) {
    g_library_low.store(0);
    g_library_high.store(0);
    dl_iterate_phdr(find_library, nullptr);
  }
  return in_library(caller);
}

// A pause of libhwGateK: logged; under virtual time it only moves the clock.
// Returns true when the pause is over, false when it is still to be slept.
bool take_pause(std::uint64_t microseconds) {
  Simulator& sim = Simulator::instance();
  auto guard = sim.lock();
  sim.device().pause(static_cast<std::uint32_t>(microseconds));
  if (!sim.clock().is_virtual()) return false;
  sim.clock().advance(microseconds);
  return true;
}

std::uint64_t microseconds_of(const timespec* t) {
  return static_cast<std::uint64_t>(t->tv_sec) * 1000000u + static_cast<std::uint64_t>(t->tv_nsec) / 1000u;
}

__attribute__((constructor)) void configure() {
  std::string error;
  if (!Simulator::instance().configure_from_environment(&error)) {
    std::fprintf(stderr, "hwgatek-sim: %s\n", error.c_str());
    _exit(2);
  }
}

}  // namespace

extern "C" {

#if !defined(__SANITIZE_ADDRESS__) && defined(__has_feature)
#if __has_feature(address_sanitizer)
#define __SANITIZE_ADDRESS__ 1
#endif
#endif
#ifdef __SANITIZE_ADDRESS__
// Sanitizer builds: this shim has to come before the sanitizer's runtime in
// every process it is preloaded into (so that it, not the runtime, is what
// libhwGateK's calls reach first), and the runtime must not refuse that.
const char* __asan_default_options() { return "verify_asan_link_order=0"; }
#endif

int open(const char* path, int flags, ...) {
  if (names_port_device(path)) return open_port_device(flags);
  va_list args;
  va_start(args, flags);
  const mode_t mode = va_arg(args, mode_t);
  va_end(args);
  REAL(open);
  return real(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  if (names_port_device(path)) return open_port_device(flags);
  va_list args;
  va_start(args, flags);
  const mode_t mode = va_arg(args, mode_t);
  va_end(args);
  REAL(open64);
  return real(path, flags, mode);
}

int openat(int dir, const char* path, int flags, ...) {
  if (names_port_device(path)) return open_port_device(flags);
  va_list args;
  va_start(args, flags);
  const mode_t mode = va_arg(args, mode_t);
  va_end(args);
  REAL(openat);
  return real(dir, path, flags, mode);
}

int openat64(int dir, const char* path, int flags, ...) {
  if (names_port_device(path)) return open_port_device(flags);
  va_list args;
  va_start(args, flags);
  const mode_t mode = va_arg(args, mode_t);
  va_end(args);
  REAL(openat64);
  return real(dir, path, flags, mode);
}

// The checked forms that fortified callers use.
int __open_2(const char* path, int flags) {
  if (names_port_device(path)) return open_port_device(flags);
  static auto* const real = next<int(const char*, int)>("__open_2");
  return real(path, flags);
}

int __open64_2(const char* path, int flags) {
  if (names_port_device(path)) return open_port_device(flags);
  static auto* const real = next<int(const char*, int)>("__open64_2");
  return real(path, flags);
}

int close(int fd) {
  if (is_port(fd)) {
    Simulator& sim = Simulator::instance();
    auto guard = sim.lock();
    g_is_port[fd].store(false, std::memory_order_release);
    sim.device().close();
    sim.note_open(-1);
  }
  REAL(close);
  return real(fd);
}

off_t lseek(int fd, off_t offset, int whence) {
  if (!is_port(fd)) {
    REAL(lseek);
    return real(fd, offset, whence);
  }
  Simulator& sim = Simulator::instance();
  auto guard = sim.lock();
  const std::int64_t position = sim.device().lseek(g_files[fd], offset, whence);
  if (position != static_cast<off_t>(position)) return answer<off_t>(-EOVERFLOW);
  return answer<off_t>(position);
}

off64_t lseek64(int fd, off64_t offset, int whence) {
  if (!is_port(fd)) {
    REAL(lseek64);
    return real(fd, offset, whence);
  }
  Simulator& sim = Simulator::instance();
  auto guard = sim.lock();
  return answer<off64_t>(sim.device().lseek(g_files[fd], offset, whence));
}

ssize_t read(int fd, void* buffer, size_t count) {
  if (!is_port(fd)) {
    REAL(read);
    return real(fd, buffer, count);
  }
  Simulator& sim = Simulator::instance();
  auto guard = sim.lock();
  return answer<ssize_t>(sim.device().read(g_files[fd], static_cast<std::uint8_t*>(buffer), count));
}

ssize_t write(int fd, const void* buffer, size_t count) {
  if (!is_port(fd)) {
    REAL(write);
    return real(fd, buffer, count);
  }
  Simulator& sim = Simulator::instance();
  auto guard = sim.lock();
  return answer<ssize_t>(
      sim.device().write(g_files[fd], static_cast<const std::uint8_t*>(buffer), count));
}

int usleep(useconds_t microseconds) {
  if (from_library(__builtin_return_address(0)) && take_pause(microseconds)) return 0;
  REAL(usleep);
  return real(microseconds);
}

int nanosleep(const timespec* duration, timespec* remaining) {
  if (duration && from_library(__builtin_return_address(0)) && take_pause(microseconds_of(duration)))
    return 0;
  REAL(nanosleep);
  return real(duration, remaining);
}

int clock_nanosleep(clockid_t clock, int flags, const timespec* duration, timespec* remaining) {
  // Relative pauses only: an absolute deadline is not a pause length.
  if (duration && !(flags & TIMER_ABSTIME) && from_library(__builtin_return_address(0)) &&
      take_pause(microseconds_of(duration)))
    return 0;
  REAL(clock_nanosleep);
  return real(clock, flags, duration, remaining);
}

int clock_gettime(clockid_t clock, timespec* now) {
  Simulator& sim = Simulator::instance();
  // Under virtual time the library's clock is the simulator's. Each reading
  // moves it on by a microsecond, so that a busy wait always comes to an end.
  if (sim.clock().is_virtual() && from_library(__builtin_return_address(0))) {
    auto guard = sim.lock();
    sim.note_clock_read();
    sim.clock().advance(1);
    const std::uint64_t us = sim.clock().now_us();
    now->tv_sec = static_cast<time_t>(us / 1000000u);
    now->tv_nsec = static_cast<long>(us % 1000000u) * 1000;
    return 0;
  }
  REAL(clock_gettime);
  return real(clock, now);
}

}  // extern "C"

// libhwGateK allocates nothing: this program replaces the allocator for the
// whole process and counts, on the calling thread, every allocation and
// release made between the entry and the return of each entry-point call,
// through every path the library has: opens that succeed or are refused,
// closes, transfers that succeed or fail with each message, and Q7460 reads
// that complete, time out or end at a failing transfer.
//
// The one-time work of the C library and of the simulator (standard output's
// buffer, the simulator's first look-ups) is done before counting starts; the
// simulator keeps no transfer log here, so that its own bookkeeping does not
// allocate inside a call.
#include <climits>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include "library_fixture.h"

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* pointer);
}

namespace {

thread_local bool t_counting = false;
thread_local unsigned t_allocations = 0;
thread_local unsigned t_releases = 0;

void* counted(void* pointer) {
  if (t_counting) ++t_allocations;
  return pointer;
}

}  // namespace

// The allocator of every library in the process, the C library's own
// internal calls included, forwarding to the C library's allocator.
extern "C" {
void* malloc(std::size_t size) { return counted(__libc_malloc(size)); }
void* calloc(std::size_t count, std::size_t size) { return counted(__libc_calloc(count, size)); }
void* realloc(void* pointer, std::size_t size) { return counted(__libc_realloc(pointer, size)); }
void* memalign(std::size_t alignment, std::size_t size) {
  return counted(__libc_memalign(alignment, size));
}
void* aligned_alloc(std::size_t alignment, std::size_t size) {
  return counted(__libc_memalign(alignment, size));
}
int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
  void* pointer = __libc_memalign(alignment, size);
  if (!pointer) return 12;  // ENOMEM
  *out = counted(pointer);
  return 0;
}
void free(void* pointer) {
  if (t_counting && pointer) ++t_releases;
  __libc_free(pointer);
}
}

namespace hwgatek::test {
namespace {

using sim::Fault;

class Allocations : public Library {
 protected:
  void SetUp() override {
    Library::SetUp();
    sim().set_log_limit(0);
    sim().set_virtual_time(true);
    // One-time work outside the count: standard output's buffer, and the
    // simulator's first calls through to the C library.
    std::printf("warming up\n");
    const int fd = ::open("/dev/port", O_RDWR | O_CLOEXEC);
    ::close(fd);
    printed();
  }

  // Calls one entry point with counting switched on around it alone.
  void call(const std::string& what, const std::function<jint()>& entry_point) {
    t_allocations = t_releases = 0;
    t_counting = true;
    entry_point();
    t_counting = false;
    EXPECT_EQ(t_allocations, 0u) << what << " allocated";
    EXPECT_EQ(t_releases, 0u) << what << " released memory";
    ++calls_;
  }

  // Every entry point once, in the state the caller has set up.
  void every_entry_point(const std::string& state) {
    call(state + ": ioReadPort", [] { return ioReadPort(0x300); });
    call(state + ": ioReadPort(long)", [] { return ioReadPort(-1, LLONG_MIN); });
    call(state + ": ioWritePort", [] { return ioWritePort(0x301, -1); });
    call(state + ": ioWritePort(long)", [] { return ioWritePort(0x10000, 1, 7); });
    call(state + ": ioReadQ7460", [] { return ioReadQ7460(0x300, 21); });
  }

  int calls_ = 0;
};

TEST_F(Allocations, NoEntryPointAllocatesOnAnyPath) {
  sim::Q7460Board& board = sim().attach_q7460(0x300);
  board.set_conversion(2, 0);

  every_entry_point("closed");
  sim().arm(Fault::OpenEACCES);
  call("refused ioOpen", [] { return ioOpen(); });
  call("ioOpen", [] { return ioOpen(); });
  call("second ioOpen", [] { return ioOpen(); });
  every_entry_point("open");

  for (Fault fault : {Fault::SeekError, Fault::SeekElsewhere, Fault::ReadNone, Fault::WriteError}) {
    sim().arm(fault, 1, /*and_after=*/true);
    every_entry_point(std::string(sim::name_of(fault)));
    sim().clear_faults();
  }
  sim().arm(Fault::ReadError, 3);  // the analog read's low data byte
  call("ioReadQ7460, data read fails", [] { return ioReadQ7460(0x300, 2); });

  board.set_stuck_busy(true);
  call("ioReadQ7460, time-out", [] { return ioReadQ7460(0x300, 2); });
  call("ioClose", [] { return ioClose(); });
  call("second ioClose", [] { return ioClose(); });

  // Every message path was taken while counting.
  const std::string output = printed();
  for (const char* message : {"_read seek error", "_read error", "writePort seek error",
                              "writePort write error", "TIMEOUT"})
    EXPECT_NE(output.find(message), std::string::npos) << message;
  std::fprintf(stderr, "%d entry-point calls, no allocation\n", calls_);
}

}  // namespace
}  // namespace hwgatek::test

// The kernel's port device "/dev/port" as the kernel answers: byte offsets
// are port addresses, and each answer is what the system call returns, a
// position or a count of bytes, or a negative errno.
//   open    needs the raw-I/O privilege (EPERM without it); ENXIO where the
//           kernel has no port device
//   lseek   SEEK_SET and SEEK_CUR only; an offset from -1 to -4095 fails with
//           EOVERFLOW (it would read as an errno), any other offset,
//           negative ones included, becomes the position and the answer
//   read,   move bytes while the position lies in 0 .. 0xFFFF, advancing it;
//   write   elsewhere they move nothing and answer 0
// Every operation passes through the armed faults and into the log.
#pragma once

#include <cstddef>
#include <cstdint>

#include "hwgatek/sim/faults.h"
#include "hwgatek/sim/transfer_log.h"

namespace hwgatek::sim {

class PortSpace;

// One open of the device: its own file position, as the kernel keeps one per
// open file description.
struct OpenFile {
  std::int64_t position = 0;
};

class PortDevice {
 public:
  PortDevice(PortSpace& ports, Faults& faults, TransferLog& log)
      : ports_(ports), faults_(faults), log_(log) {}

  void set_privileged(bool privileged) { privileged_ = privileged; }
  void set_present(bool present) { present_ = present; }

  // 0, or the negative errno that refuses the open.
  int open(int flags);
  void close();
  std::int64_t lseek(OpenFile& file, std::int64_t offset, int whence);
  std::int64_t read(OpenFile& file, std::uint8_t* buffer, std::size_t count);
  std::int64_t write(OpenFile& file, const std::uint8_t* buffer, std::size_t count);
  // A settle pause the library took while the device was in use.
  void pause(std::uint32_t microseconds);

 private:
  PortSpace& ports_;
  Faults& faults_;
  TransferLog& log_;
  bool privileged_ = true;
  bool present_ = true;
};

}  // namespace hwgatek::sim

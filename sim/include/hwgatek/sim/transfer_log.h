// The transfer log: everything the port device was asked to do, in order,
// in a text form that tests compare against directly:
//   "open O_RDWR|O_CLOEXEC"          "open O_RDWR -> EPERM"
//   "close"
//   "seek 0x0301"                    "seek 0x0301 -> 0x0302"   "seek -0x1 -> EOVERFLOW"
//   "pause 100us"
//   "read 0x0300 = 0x40"             "read 0x10000 moved 0"    "read 0x0300 -> EIO"
//   "write 0x0301 0x45"              "write 0x0301 0x45 moved 0"
// Addresses are the device position in hex, at least four digits, signed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace hwgatek::sim {

struct Event {
  enum class Kind : std::uint8_t { Open, Close, Seek, Pause, Read, Write };
  Kind kind;
  std::int64_t address = 0;  // seek: offset asked; read/write: position
  std::int64_t answer = 0;   // seek: position or -errno; read/write: count or -errno; open: 0 or -errno
  std::uint32_t value = 0;   // open: flags; pause: microseconds; read/write: the byte
};

std::string describe(const Event& event);

class TransferLog {
 public:
  void record(const Event& event);
  const std::vector<Event>& events() const { return events_; }
  std::vector<std::string> lines() const;
  void clear() { events_.clear(); dropped_ = 0; }

  // Keeps at most `limit` events (0: none, for long runs); counts the rest.
  void set_limit(std::size_t limit) { limit_ = limit; }
  std::size_t dropped() const { return dropped_; }

  // Also hands every recorded event, described, to `sink` (null: none).
  using Sink = void (*)(void* context, const std::string& line);
  void set_sink(Sink sink, void* context) { sink_ = sink; sink_context_ = context; }

 private:
  Sink sink_ = nullptr;
  void* sink_context_ = nullptr;
  std::vector<Event> events_;
  std::size_t limit_ = 1u << 20;
  std::size_t dropped_ = 0;
};

}  // namespace hwgatek::sim

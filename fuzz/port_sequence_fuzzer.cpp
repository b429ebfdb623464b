// libFuzzer harness: plays random sequences of the seven entry points, with
// arguments over their whole ranges, against the simulated port device and
// Q7460 board in virtual time, arming device faults and changing the board
// between calls. After every call it checks what a caller relies on:
//   - the result is one the method can return;
//   - the device saw transfers only at the ports the call names (the port;
//     for an analog read the base and base + 1), each positioned at its
//     port and paused before exactly one byte moved;
//   - what was printed is exactly the message that result calls for, in one
//     of the five formats, with this call's address, byte or channel;
//   - the device is closed, or open on exactly one descriptor, as the
//     results of ioOpen and ioClose say; and after each input the process
//     holds the descriptors it held before.
// A broken check prints what it saw and aborts, which libFuzzer reports.
//
// Input: a sequence of steps, each an opcode byte followed by its operands
// in little-endian order; an input that ends early reads zeros.
//   0 ioOpen                          7 arm fault: u8 kind, u8 nth (+0x80: and after)
//   1 ioClose                         8 board timing: u8 mode, u8 amount
//   2 ioReadPort i32                  9 board data: u8 channel, u8 low, u8 high
//   3 ioReadPort i32 i64             10 device: u8 (bit 0 absent, bit 1 unprivileged)
//   4 ioWritePort i32 i8             11 port latch: u16 port, u8 value
//   5 ioWritePort i32 i8 i64         12 move the board: u16 base
//   6 ioReadQ7460 i32 i32
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <dirent.h>

#include "Tavex_srv_hwGateK.h"
#include "hwgatek/sim/guard.h"
#include "hwgatek/sim/simulator.h"

namespace {

using hwgatek::sim::Event;
using hwgatek::sim::Fault;
using hwgatek::sim::Simulator;
using Kind = Event::Kind;

[[noreturn]] void broken(const std::string& what) {
  std::fprintf(stderr, "invariant broken: %s\n", what.c_str());
  std::abort();
}

#define CHECK(condition, what) \
  do {                         \
    if (!(condition)) broken(what); \
  } while (0)

// ---- the input ----

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool empty() const { return size_ == 0; }
  template <typename T>
  T take() {
    std::uint8_t bytes[sizeof(T)] = {};
    const std::size_t n = size_ < sizeof(T) ? size_ : sizeof(T);
    std::memcpy(bytes, data_, n);
    data_ += n;
    size_ -= n;
    T value;
    std::memcpy(&value, bytes, sizeof(T));
    return value;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

// ---- what the library prints: standard output is a memory file ----

std::string take_output() {
  std::fflush(stdout);
  std::string text;
  char buffer[4096];
  for (off_t at = 0;;) {
    const ssize_t got = ::pread(STDOUT_FILENO, buffer, sizeof buffer, at);
    if (got <= 0) break;
    text.append(buffer, static_cast<std::size_t>(got));
    at += got;
  }
  CHECK(::ftruncate(STDOUT_FILENO, 0) == 0 && ::lseek(STDOUT_FILENO, 0, SEEK_SET) == 0,
        "cannot reset the captured output");
  return text;
}

std::string format(const char* pattern, unsigned a, unsigned b = 0) {
  char line[96];
  std::snprintf(line, sizeof line, pattern, a, b);
  return line;
}

std::string read_seek_message(std::int32_t port) {
  return format("_read seek error addr=0x%04X\n", static_cast<unsigned>(port));
}
std::string read_message(std::int32_t port) {
  return format("_read error addr=0x%04X\n", static_cast<unsigned>(port));
}
std::string write_seek_message(std::int32_t port, std::uint8_t byte) {
  return format("writePort seek error addr=0x%04X byte=%02X\n", static_cast<unsigned>(port), byte);
}
std::string write_message(std::int32_t port, std::uint8_t byte) {
  return format("writePort write error addr=0x%04X byte=%02X\n", static_cast<unsigned>(port), byte);
}
std::string timeout_message(std::int32_t channel, std::int32_t base) {
  char line[96];
  std::snprintf(line, sizeof line, "Q7460 read channel:%d addr=%04X TIMEOUT\n", channel,
                static_cast<unsigned>(base));
  return line;
}

std::set<int> process_descriptors() {
  std::set<int> fds;
  DIR* dir = opendir("/proc/self/fd");
  CHECK(dir != nullptr, "cannot list /proc/self/fd");
  while (const dirent* entry = readdir(dir))
    if (entry->d_name[0] != '.') fds.insert(std::atoi(entry->d_name));
  fds.erase(dirfd(dir));
  closedir(dir);
  return fds;
}

// ---- the checks ----

Simulator& sim() { return Simulator::instance(); }

bool device_open = false;  // what the results of ioOpen and ioClose said

// Each transfer is a positioning at its port, then, only if that worked, a
// pause and one byte at that port. Returns the reads and writes, in order;
// `allowed` are the only ports any of it may touch.
// The analog read also takes one settle pause of its own, after its third
// control write.
std::vector<Event> transfers(const std::vector<Event>& events, std::set<std::int64_t> allowed,
                             const char* call, bool settle_pause = false) {
  std::vector<Event> moved;
  for (std::size_t i = 0; i < events.size(); ++i) {
    const Event& e = events[i];
    const std::string where = std::string(call) + ": event " + std::to_string(i);
    switch (e.kind) {
      case Kind::Open:
      case Kind::Close:
        broken(where + ": a transfer opened or closed the device");
      case Kind::Seek:
        CHECK(allowed.count(e.address), where + ": positioned at a port the call does not name");
        break;
      case Kind::Pause:
        CHECK(i >= 1 && ((events[i - 1].kind == Kind::Seek && events[i - 1].answer == events[i - 1].address) ||
                         (settle_pause && events[i - 1].kind == Kind::Write)),
              where + ": a pause that does not follow a successful positioning");
        break;
      case Kind::Read:
      case Kind::Write:
        CHECK(i >= 2 && events[i - 1].kind == Kind::Pause && events[i - 2].kind == Kind::Seek &&
                  events[i - 2].address == e.address,
              where + ": a byte moved without its own positioning and pause");
        CHECK(allowed.count(e.address), where + ": a byte moved at a port the call does not name");
        moved.push_back(e);
        break;
    }
  }
  return moved;
}

void check_device_state(const char* call) {
  CHECK(sim().open_descriptors() == (device_open ? 1 : 0),
        std::string(call) + ": the device is not open on exactly the descriptors its results say");
}

void play_open() {
  const bool was_open = device_open;
  const jint result = Java_Tavex_srv_hwGateK_ioOpen(nullptr, nullptr);
  const auto events = sim().log_events();
  CHECK(result == 0 || result == -1, "ioOpen: result " + std::to_string(result));
  CHECK(take_output().empty(), "ioOpen printed something");
  if (was_open) {
    CHECK(result == 0 && events.empty(), "ioOpen while open did more than return 0");
  } else {
    CHECK(events.size() == 1 && events[0].kind == Kind::Open, "ioOpen: not exactly one open");
    CHECK((events[0].answer == 0) == (result == 0), "ioOpen: result disagrees with the device");
    device_open = result == 0;
  }
  check_device_state("ioOpen");
}

void play_close() {
  const jint result = Java_Tavex_srv_hwGateK_ioClose(nullptr, nullptr);
  const auto events = sim().log_events();
  CHECK(result == 0, "ioClose: result " + std::to_string(result));
  CHECK(take_output().empty(), "ioClose printed something");
  CHECK(events.size() == (device_open ? 1u : 0u) && (events.empty() || events[0].kind == Kind::Close),
        "ioClose: not exactly one close of an open device");
  device_open = false;
  check_device_state("ioClose");
}

void play_read(std::int32_t port, bool with_long, std::int64_t extra) {
  const jint result = with_long ? Java_Tavex_srv_hwGateK_ioReadPort__IJ(nullptr, nullptr, port, extra)
                                : Java_Tavex_srv_hwGateK_ioReadPort__I(nullptr, nullptr, port);
  const auto moved = transfers(sim().log_events(), {port}, "ioReadPort");
  const std::string output = take_output();
  CHECK((result >= 0 && result <= 255) || result == -2 || result == -3,
        "ioReadPort: result " + std::to_string(result));
  CHECK(moved.size() <= 1, "ioReadPort: more than one byte moved");
  if (!device_open) CHECK(result == -2 && moved.empty(), "ioReadPort while closed was not refused");
  if (result >= 0) {
    CHECK(moved.size() == 1 && moved[0].kind == Kind::Read && moved[0].answer == 1 &&
              static_cast<jint>(moved[0].value) == result,
          "ioReadPort: result is not the byte read");
    CHECK(output.empty(), "ioReadPort printed on success");
  } else {
    CHECK(output == (result == -2 ? read_seek_message(port) : read_message(port)),
          "ioReadPort " + std::to_string(result) + " printed: " + output);
  }
  check_device_state("ioReadPort");
}

void play_write(std::int32_t port, std::int8_t byte, bool with_long, std::int64_t extra) {
  const jint result =
      with_long ? Java_Tavex_srv_hwGateK_ioWritePort__IBJ(nullptr, nullptr, port, byte, extra)
                : Java_Tavex_srv_hwGateK_ioWritePort__IB(nullptr, nullptr, port, byte);
  const auto moved = transfers(sim().log_events(), {port}, "ioWritePort");
  const std::string output = take_output();
  const auto bits = static_cast<std::uint8_t>(byte);
  CHECK(result == 0 || result == -2 || result == -3, "ioWritePort: result " + std::to_string(result));
  CHECK(moved.size() <= 1, "ioWritePort: more than one byte moved");
  for (const Event& e : moved)
    CHECK(e.kind == Kind::Write && e.value == bits, "ioWritePort: not the caller's byte");
  if (!device_open) CHECK(result == -2 && moved.empty(), "ioWritePort while closed was not refused");
  if (result == 0) {
    CHECK(moved.size() == 1 && moved[0].answer == 1, "ioWritePort: success without one byte written");
    CHECK(output.empty(), "ioWritePort printed on success");
  } else {
    CHECK(output == (result == -2 ? write_seek_message(port, bits) : write_message(port, bits)),
          "ioWritePort " + std::to_string(result) + " printed: " + output);
  }
  check_device_state("ioWritePort");
}

void play_q7460(std::int32_t base, std::int32_t channel) {
  const jint result = Java_Tavex_srv_hwGateK_ioReadQ7460__II(nullptr, nullptr, base, channel);
  const auto control = static_cast<std::int32_t>(static_cast<std::uint32_t>(base) + 1u);
  const auto moved = transfers(sim().log_events(), {base, control}, "ioReadQ7460", true);
  const std::string output = take_output();
  CHECK(result >= -4998 && result <= 4998, "ioReadQ7460: result " + std::to_string(result));

  // Control bytes carry the channel number and at most one command bit; the
  // status register is never written.
  const auto number = static_cast<std::uint8_t>(channel & 0x0F);
  std::set<std::string> messages = {timeout_message(channel, base), read_seek_message(base),
                                    read_message(base), read_seek_message(control),
                                    read_message(control)};
  for (std::uint8_t command : {0x00, 0x40, 0x20, 0x10}) {
    const auto byte = static_cast<std::uint8_t>(number | command);
    messages.insert(write_seek_message(control, byte));
    messages.insert(write_message(control, byte));
  }
  for (const Event& e : moved) {
    if (e.kind != Kind::Write) continue;
    CHECK(e.address == control, "ioReadQ7460 wrote to the status register");
    CHECK(e.value == number || e.value == (number | 0x40u) || e.value == (number | 0x20u) ||
              e.value == (number | 0x10u),
          "ioReadQ7460 wrote a control byte for another channel");
  }

  if (output.empty()) {
    // Completed: the result is the reading of the last two data bytes.
    CHECK(device_open && moved.size() >= 8, "ioReadQ7460 ended silently without a conversion");
    const Event& low = moved[moved.size() - 3];
    const Event& high = moved[moved.size() - 1];
    CHECK(low.kind == Kind::Read && high.kind == Kind::Read && low.address == control &&
              high.address == control,
          "ioReadQ7460 did not end with its two data reads");
    const std::int32_t magnitude = static_cast<std::int32_t>(low.value) + (high.value & 0x0F) * 256;
    const std::int32_t count = (high.value & 0x80) ? magnitude : -magnitude;
    CHECK(result == count * 5000 / 4096, "ioReadQ7460: " + std::to_string(result) +
                                             " is not the reading of its data bytes");
  } else {
    // One failure ends the read: one line, and -1.
    CHECK(result == -1, "ioReadQ7460 printed but returned " + std::to_string(result));
    CHECK(output.find('\n') == output.size() - 1, "ioReadQ7460 printed more than one line: " + output);
    CHECK(messages.count(output), "ioReadQ7460 printed an unexpected line: " + output);
    if (output == timeout_message(channel, base))
      CHECK(!moved.empty() && moved.back().kind == Kind::Read && moved.back().address == base &&
                (moved.back().value & 0x40),
            "a time-out that does not follow a busy status read");
  }
  check_device_state("ioReadQ7460");
}

// ---- changes to the simulated machine between calls ----

constexpr Fault kFaults[] = {Fault::OpenEPERM,  Fault::OpenENXIO,     Fault::OpenEACCES,
                             Fault::SeekError,  Fault::SeekNegative,  Fault::SeekElsewhere,
                             Fault::ReadNone,   Fault::ReadError,     Fault::WriteNone,
                             Fault::WriteError};

hwgatek::sim::Q7460Board* board = nullptr;

void play_board_timing(std::uint8_t mode, std::uint8_t amount) {
  board->set_stuck_busy(false);
  switch (mode % 4) {
    case 0: board->set_stuck_busy(true); break;
    case 1: board->set_conversion(0, 0); break;                   // never busy
    case 2: board->set_conversion(amount % 16, 0); break;         // busy for n status reads
    case 3: board->set_conversion(0, amount * 1000u); break;      // busy for n ms of the clock
  }
}

std::set<int> baseline_descriptors;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Fail closed: without the shim a transfer could reach a real device.
  if (!hwgatek::sim::simulator_in_place()) {
    std::fprintf(stderr, "simulator not in place: refusing to run (preload libhwgatek_sim.so)\n");
    std::exit(1);
  }
  const int output = memfd_create("library-stdout", 0);
  if (output < 0 || dup2(output, STDOUT_FILENO) < 0) {
    std::perror("capturing standard output");
    std::exit(1);
  }
  close(output);
  baseline_descriptors = process_descriptors();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Java_Tavex_srv_hwGateK_ioClose(nullptr, nullptr);
  device_open = false;
  sim().reset();
  sim().set_virtual_time(true);
  board = &sim().attach_q7460(0x300);
  board->set_conversion(2, 0);
  take_output();

  Input input(data, size);
  while (!input.empty()) {
    sim().clear_log();
    switch (input.take<std::uint8_t>() % 13) {
      case 0: play_open(); break;
      case 1: play_close(); break;
      case 2: play_read(input.take<std::int32_t>(), false, 0); break;
      case 3: {
        const auto port = input.take<std::int32_t>();
        play_read(port, true, input.take<std::int64_t>());
        break;
      }
      case 4: {
        const auto port = input.take<std::int32_t>();
        play_write(port, input.take<std::int8_t>(), false, 0);
        break;
      }
      case 5: {
        const auto port = input.take<std::int32_t>();
        const auto byte = input.take<std::int8_t>();
        play_write(port, byte, true, input.take<std::int64_t>());
        break;
      }
      case 6: {
        const auto base = input.take<std::int32_t>();
        play_q7460(base, input.take<std::int32_t>());
        break;
      }
      case 7: {
        const Fault fault = kFaults[input.take<std::uint8_t>() % 10];
        const auto nth = input.take<std::uint8_t>();
        sim().arm(fault, (nth & 0x07) + 1u, (nth & 0x80) != 0);
        break;
      }
      case 8: {
        const auto mode = input.take<std::uint8_t>();
        play_board_timing(mode, input.take<std::uint8_t>());
        break;
      }
      case 9: {
        const auto channel = input.take<std::uint8_t>();
        const auto low = input.take<std::uint8_t>();
        board->set_data(channel, low, input.take<std::uint8_t>());
        break;
      }
      case 10: {
        const auto bits = input.take<std::uint8_t>();
        sim().set_device_present(!(bits & 1));
        sim().set_privileged(!(bits & 2));
        break;
      }
      case 11: {
        const auto port = input.take<std::uint16_t>();
        sim().set_port(port, input.take<std::uint8_t>());
        break;
      }
      case 12:
        board = &sim().attach_q7460(input.take<std::uint16_t>());
        board->set_conversion(2, 0);
        break;
    }
  }

  sim().clear_log();
  play_close();
  CHECK(process_descriptors() == baseline_descriptors, "a descriptor leaked");
  return 0;
}

#include "hwgatek/sim/simulator.h"

#include "hwgatek/sim/guard.h"

#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <string_view>

namespace hwgatek::sim {
namespace {

// Q7460 inputs of the board the environment attaches when it names no
// values of its own: a spread over the whole range, channel by channel.
constexpr int kDefaultMillivolts[Q7460Board::kChannels] = {
    0, 1250, 2500, 3750, 4998, -1250, -2500, -3750, -4998, 100, -100, 1, -1, 312, -312, 2048};

// Numbers as the environment writes them: decimal, or hex after 0x.
bool parse_number(std::string_view text, long long& value) {
  bool negative = false;
  if (!text.empty() && text.front() == '-') {
    negative = true;
    text.remove_prefix(1);
  }
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  unsigned long long magnitude = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
  if (text.empty() || error != std::errc{} || end != text.data() + text.size()) return false;
  value = negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
  return true;
}

// Splits "a,b,c" and hands each non-empty item to `take`; false when one fails.
template <typename Take>
bool each_item(std::string_view list, Take take) {
  while (!list.empty()) {
    const auto comma = list.find(',');
    const std::string_view item = list.substr(0, comma);
    list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
    if (!item.empty() && !take(item)) return false;
  }
  return true;
}

// "KEY=VALUE" with both numbers.
bool parse_pair(std::string_view item, char separator, long long& key, long long& value) {
  const auto at = item.find(separator);
  return at != std::string_view::npos && parse_number(item.substr(0, at), key) &&
         parse_number(item.substr(at + 1), value);
}

const char* env(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? value : nullptr;
}

bool fail(std::string* error, const char* name, const char* value) {
  if (error) *error = std::string(name) + ": cannot understand '" + value + "'";
  return false;
}

void write_log_line(void* context, const std::string& line) {
  const int fd = *static_cast<const int*>(context);
  std::string text = line + "\n";
  // One write per line, O_APPEND: lines from several processes stay whole.
  [[maybe_unused]] const auto written = ::write(fd, text.data(), text.size());
}

}  // namespace

Simulator& Simulator::instance() {
  static Simulator simulator;
  return simulator;
}

Simulator::Simulator() { reset(); }

std::unique_lock<std::recursive_mutex> Simulator::lock() const {
  return std::unique_lock<std::recursive_mutex>(mutex_);
}

void Simulator::reset() {
  auto guard = lock();
  clock_.set_virtual(false);
  ports_.clear();
  faults_.clear();
  log_.clear();
  log_.set_limit(1u << 20);
  log_.set_sink(nullptr, nullptr);
  if (log_fd_ != -1) ::close(log_fd_);
  log_fd_ = -1;
  device_.set_privileged(true);
  device_.set_present(true);
  board_ = Q7460Board{0x300, clock_};
  board_attached_ = false;
  clock_reads_ = 0;
}

bool Simulator::configure_from_environment(std::string* error) {
  auto guard = lock();
  reset();
  // A program configured from the environment cannot read the log in memory
  // (HWGATEK_SIM_LOG writes it to a file instead): keep none, so that long
  // runs stay the same size.
  log_.set_limit(0);
  if (const char* value = env("HWGATEK_SIM_PRIVILEGED")) {
    if (std::string_view(value) != "0" && std::string_view(value) != "1")
      return fail(error, "HWGATEK_SIM_PRIVILEGED", value);
    device_.set_privileged(std::string_view(value) == "1");
  }
  if (const char* value = env("HWGATEK_SIM_DEVICE")) {
    if (std::string_view(value) != "0" && std::string_view(value) != "1")
      return fail(error, "HWGATEK_SIM_DEVICE", value);
    device_.set_present(std::string_view(value) == "1");
  }
  if (const char* value = env("HWGATEK_SIM_TIME")) {
    if (std::string_view(value) != "real" && std::string_view(value) != "virtual")
      return fail(error, "HWGATEK_SIM_TIME", value);
    clock_.set_virtual(std::string_view(value) == "virtual");
  }
  if (const char* value = env("HWGATEK_SIM_PORTS")) {
    const bool ok = each_item(value, [&](std::string_view item) {
      long long port = 0, byte = 0;
      if (!parse_pair(item, '=', port, byte) || port < 0 || port > 0xFFFF || byte < 0 || byte > 0xFF)
        return false;
      ports_.set(static_cast<std::uint16_t>(port), static_cast<std::uint8_t>(byte));
      return true;
    });
    if (!ok) return fail(error, "HWGATEK_SIM_PORTS", value);
  }

  const char* base_text = env("HWGATEK_SIM_Q7460");
  long long base = 0x300;
  if (base_text && std::string_view(base_text) != "none" &&
      (!parse_number(base_text, base) || base < 0 || base > 0xFFFF))
    return fail(error, "HWGATEK_SIM_Q7460", base_text);
  if (!base_text || std::string_view(base_text) != "none") {
    Q7460Board& board = attach_q7460(static_cast<std::uint16_t>(base));
    for (int channel = 0; channel < Q7460Board::kChannels; ++channel)
      board.set_millivolts(channel, kDefaultMillivolts[channel]);
    if (const char* value = env("HWGATEK_SIM_Q7460_MV")) {
      // Either "CH=MV,..." or sixteen values in channel order.
      int next = 0;
      const bool ok = each_item(value, [&](std::string_view item) {
        long long channel = next, mv = 0;
        if (item.find('=') != std::string_view::npos) {
          if (!parse_pair(item, '=', channel, mv)) return false;
        } else if (!parse_number(item, mv)) {
          return false;
        }
        if (channel < 0 || channel >= Q7460Board::kChannels) return false;
        board.set_millivolts(static_cast<int>(channel), static_cast<int>(mv));
        next = static_cast<int>(channel) + 1;
        return true;
      });
      if (!ok) return fail(error, "HWGATEK_SIM_Q7460_MV", value);
    }
    if (const char* value = env("HWGATEK_SIM_Q7460_DATA")) {
      // "CH=LOW:HIGH,..." raw data bytes.
      const bool ok = each_item(value, [&](std::string_view item) {
        long long channel = 0, low = 0, high = 0;
        const auto eq = item.find('=');
        if (eq == std::string_view::npos || !parse_number(item.substr(0, eq), channel) ||
            !parse_pair(item.substr(eq + 1), ':', low, high) || channel < 0 ||
            channel >= Q7460Board::kChannels || low < 0 || low > 0xFF || high < 0 || high > 0xFF)
          return false;
        board.set_data(static_cast<int>(channel), static_cast<std::uint8_t>(low),
                       static_cast<std::uint8_t>(high));
        return true;
      });
      if (!ok) return fail(error, "HWGATEK_SIM_Q7460_DATA", value);
    }
    if (const char* value = env("HWGATEK_SIM_Q7460_CONVERSION")) {
      // "reads:N", "us:N" or "stuck".
      const std::string_view text(value);
      long long amount = 0;
      if (text == "stuck") {
        board.set_stuck_busy(true);
      } else if (text.rfind("reads:", 0) == 0 && parse_number(text.substr(6), amount) && amount >= 0) {
        board.set_conversion(static_cast<unsigned>(amount), 0);
      } else if (text.rfind("us:", 0) == 0 && parse_number(text.substr(3), amount) && amount >= 0) {
        board.set_conversion(0, static_cast<std::uint64_t>(amount));
      } else {
        return fail(error, "HWGATEK_SIM_Q7460_CONVERSION", value);
      }
    }
  }

  if (const char* value = env("HWGATEK_SIM_FAULTS")) {
    if (!faults_.arm_from_list(value)) return fail(error, "HWGATEK_SIM_FAULTS", value);
  }
  if (const char* value = env("HWGATEK_SIM_LOG")) {
    log_fd_ = ::open(value, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (log_fd_ == -1) return fail(error, "HWGATEK_SIM_LOG", value);
    log_.set_sink(write_log_line, &log_fd_);
  }
  return true;
}

void Simulator::set_privileged(bool privileged) {
  auto guard = lock();
  device_.set_privileged(privileged);
}

void Simulator::set_device_present(bool present) {
  auto guard = lock();
  device_.set_present(present);
}

void Simulator::set_virtual_time(bool on) {
  auto guard = lock();
  clock_.set_virtual(on);
}

void Simulator::advance_time(std::uint64_t us) {
  auto guard = lock();
  clock_.advance(us);
}

std::uint64_t Simulator::now_us() const {
  auto guard = lock();
  return clock_.now_us();
}

Q7460Board& Simulator::attach_q7460(std::uint16_t base) {
  auto guard = lock();
  detach_q7460();
  board_ = Q7460Board{base, clock_};
  ports_.attach(board_);
  board_attached_ = true;
  return board_;
}

void Simulator::detach_q7460() {
  auto guard = lock();
  ports_.detach_all();
  board_attached_ = false;
}

void Simulator::set_port(std::uint16_t port, std::uint8_t value) {
  auto guard = lock();
  ports_.set(port, value);
}

std::uint8_t Simulator::port(std::uint16_t port) const {
  auto guard = lock();
  return ports_.latch(port);
}

void Simulator::arm(Fault fault, unsigned nth, bool and_after) {
  auto guard = lock();
  faults_.arm(fault, nth, and_after);
}

void Simulator::clear_faults() {
  auto guard = lock();
  faults_.clear();
}

std::vector<std::string> Simulator::log_lines() const {
  auto guard = lock();
  return log_.lines();
}

std::vector<Event> Simulator::log_events() const {
  auto guard = lock();
  return log_.events();
}

void Simulator::clear_log() {
  auto guard = lock();
  log_.clear();
}

void Simulator::set_log_limit(std::size_t limit) {
  auto guard = lock();
  log_.set_limit(limit);
}

std::uint64_t Simulator::library_clock_reads() const {
  auto guard = lock();
  return clock_reads_;
}

int Simulator::open_descriptors() const {
  auto guard = lock();
  return open_descriptors_;
}

bool Simulator::in_place() { return simulator_in_place(); }

}  // namespace hwgatek::sim

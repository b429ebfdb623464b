#include "hwgatek/sim/transfer_log.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace hwgatek::sim {
namespace {

std::string hex(std::int64_t value, int digits) {
  char text[32];
  const unsigned long long magnitude =
      value < 0 ? 0ull - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
  std::snprintf(text, sizeof text, "%s0x%0*llX", value < 0 ? "-" : "", digits, magnitude);
  return text;
}

std::string errno_name(std::int64_t negative_errno) {
  switch (-negative_errno) {
    case EPERM: return "EPERM";
    case ENXIO: return "ENXIO";
    case EACCES: return "EACCES";
    case EINVAL: return "EINVAL";
    case EOVERFLOW: return "EOVERFLOW";
    case EIO: return "EIO";
    case EBADF: return "EBADF";
    default: return "errno " + std::to_string(-negative_errno);
  }
}

std::string open_flags(std::uint32_t flags) {
  std::string text;
  switch (flags & O_ACCMODE) {
    case O_RDONLY: text = "O_RDONLY"; break;
    case O_WRONLY: text = "O_WRONLY"; break;
    default: text = "O_RDWR"; break;
  }
  flags &= ~static_cast<std::uint32_t>(O_ACCMODE);
  const std::pair<std::uint32_t, const char*> known[] = {
      {O_CLOEXEC, "O_CLOEXEC"}, {O_CREAT, "O_CREAT"},       {O_EXCL, "O_EXCL"},
      {O_TRUNC, "O_TRUNC"},     {O_NONBLOCK, "O_NONBLOCK"}, {O_SYNC, "O_SYNC"},
      {O_APPEND, "O_APPEND"},   {O_NOCTTY, "O_NOCTTY"},
  };
  for (const auto& [bit, name] : known) {
    if ((flags & bit) == bit) {
      text += "|";
      text += name;
      flags &= ~bit;
    }
  }
  if (flags != 0) text += "|" + hex(flags, 1);
  return text;
}

// A transfer's outcome after its address: the byte, a short count or an errno.
std::string transfer_outcome(const Event& event, bool is_read) {
  if (event.answer < 0) return " -> " + errno_name(event.answer);
  if (event.answer == 0) return " moved 0";
  return is_read ? " = " + hex(event.value, 2) : std::string{};
}

}  // namespace

std::string describe(const Event& event) {
  switch (event.kind) {
    case Event::Kind::Open:
      return "open " + open_flags(event.value) +
             (event.answer < 0 ? " -> " + errno_name(event.answer) : std::string{});
    case Event::Kind::Close:
      return "close";
    case Event::Kind::Seek:
      if (event.answer == event.address) return "seek " + hex(event.address, 4);
      return "seek " + hex(event.address, 4) + " -> " +
             (event.answer < 0 && event.answer >= -4095 ? errno_name(event.answer)
                                                         : hex(event.answer, 4));
    case Event::Kind::Pause:
      return "pause " + std::to_string(event.value) + "us";
    case Event::Kind::Read:
      return "read " + hex(event.address, 4) + transfer_outcome(event, true);
    case Event::Kind::Write:
      return "write " + hex(event.address, 4) + " " + hex(event.value, 2) +
             transfer_outcome(event, false);
  }
  return "?";
}

void TransferLog::record(const Event& event) {
  if (sink_) sink_(sink_context_, describe(event));
  if (events_.size() < limit_) {
    events_.push_back(event);
  } else {
    ++dropped_;
  }
}

std::vector<std::string> TransferLog::lines() const {
  std::vector<std::string> out;
  out.reserve(events_.size());
  for (const Event& event : events_) out.push_back(describe(event));
  return out;
}

}  // namespace hwgatek::sim

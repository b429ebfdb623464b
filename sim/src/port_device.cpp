#include "hwgatek/sim/port_device.h"

#include <unistd.h>

#include <cerrno>

#include "hwgatek/sim/port_space.h"

namespace hwgatek::sim {
namespace {

constexpr std::int64_t kMaxErrno = 4095;
constexpr std::int64_t kNegativePosition = -0x10000;

bool in_port_space(std::int64_t position) { return position >= 0 && position < PortSpace::kPorts; }

}  // namespace

int PortDevice::open(int flags) {
  int answer = 0;
  if (const auto fault = faults_.on(Operation::Open)) {
    answer = *fault == Fault::OpenEPERM ? -EPERM : *fault == Fault::OpenENXIO ? -ENXIO : -EACCES;
  } else if (!present_) {
    answer = -ENXIO;
  } else if (!privileged_) {
    answer = -EPERM;
  }
  log_.record(Event{Event::Kind::Open, 0, answer, static_cast<std::uint32_t>(flags)});
  return answer;
}

void PortDevice::close() { log_.record(Event{Event::Kind::Close}); }

std::int64_t PortDevice::lseek(OpenFile& file, std::int64_t offset, int whence) {
  std::int64_t answer;
  const std::int64_t target = whence == SEEK_CUR ? file.position + offset : offset;
  if (whence != SEEK_SET && whence != SEEK_CUR) {
    answer = -EINVAL;
  } else if (target < 0 && target >= -kMaxErrno) {
    // Such a position would be taken for an error number by every caller.
    answer = -EOVERFLOW;
  } else {
    file.position = target;
    answer = target;
  }
  if (const auto fault = faults_.on(Operation::Seek)) {
    if (*fault == Fault::SeekError) answer = -EINVAL;
    if (*fault == Fault::SeekNegative) answer = kNegativePosition;
    if (*fault == Fault::SeekElsewhere) answer = target + 1;
  }
  log_.record(Event{Event::Kind::Seek, target, answer, 0});
  return answer;
}

std::int64_t PortDevice::read(OpenFile& file, std::uint8_t* buffer, std::size_t count) {
  if (const auto fault = faults_.on(Operation::Read)) {
    const std::int64_t answer = *fault == Fault::ReadNone ? 0 : -EIO;
    log_.record(Event{Event::Kind::Read, file.position, answer, 0});
    return answer;
  }
  std::int64_t moved = 0;
  while (static_cast<std::size_t>(moved) < count && in_port_space(file.position)) {
    buffer[moved] = ports_.in(static_cast<std::uint16_t>(file.position));
    log_.record(Event{Event::Kind::Read, file.position, 1, buffer[moved]});
    ++file.position;
    ++moved;
  }
  if (moved == 0) log_.record(Event{Event::Kind::Read, file.position, 0, 0});
  return moved;
}

std::int64_t PortDevice::write(OpenFile& file, const std::uint8_t* buffer, std::size_t count) {
  if (const auto fault = faults_.on(Operation::Write)) {
    const std::int64_t answer = *fault == Fault::WriteNone ? 0 : -EIO;
    log_.record(Event{Event::Kind::Write, file.position, answer, count ? buffer[0] : 0u});
    return answer;
  }
  std::int64_t moved = 0;
  while (static_cast<std::size_t>(moved) < count && in_port_space(file.position)) {
    ports_.out(static_cast<std::uint16_t>(file.position), buffer[moved]);
    log_.record(Event{Event::Kind::Write, file.position, 1, buffer[moved]});
    ++file.position;
    ++moved;
  }
  if (moved == 0) log_.record(Event{Event::Kind::Write, file.position, 0, count ? buffer[0] : 0u});
  return moved;
}

void PortDevice::pause(std::uint32_t microseconds) {
  log_.record(Event{Event::Kind::Pause, 0, 0, microseconds});
}

}  // namespace hwgatek::sim

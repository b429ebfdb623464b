#include "hwgatek/sim/faults.h"

#include <array>
#include <charconv>
#include <utility>

namespace hwgatek::sim {
namespace {

constexpr std::array<std::pair<Fault, std::string_view>, 10> kNames{{
    {Fault::OpenEPERM, "open-eperm"},
    {Fault::OpenENXIO, "open-enxio"},
    {Fault::OpenEACCES, "open-eacces"},
    {Fault::SeekError, "seek-error"},
    {Fault::SeekNegative, "seek-negative"},
    {Fault::SeekElsewhere, "seek-elsewhere"},
    {Fault::ReadNone, "read-none"},
    {Fault::ReadError, "read-error"},
    {Fault::WriteNone, "write-none"},
    {Fault::WriteError, "write-error"},
}};

// A count after a marker: digits only, at least 1.
bool parse_count(std::string_view digits, unsigned& count) {
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), count);
  return error == std::errc{} && end == digits.data() + digits.size() && count > 0;
}

}  // namespace

Operation operation_of(Fault fault) {
  switch (fault) {
    case Fault::OpenEPERM:
    case Fault::OpenENXIO:
    case Fault::OpenEACCES:
      return Operation::Open;
    case Fault::SeekError:
    case Fault::SeekNegative:
    case Fault::SeekElsewhere:
      return Operation::Seek;
    case Fault::ReadNone:
    case Fault::ReadError:
      return Operation::Read;
    case Fault::WriteNone:
    case Fault::WriteError:
      return Operation::Write;
  }
  return Operation::Open;
}

std::string_view name_of(Fault fault) {
  for (const auto& [f, name] : kNames)
    if (f == fault) return name;
  return "?";
}

std::optional<Fault> fault_named(std::string_view name) {
  for (const auto& [f, n] : kNames)
    if (n == name) return f;
  return std::nullopt;
}

void Faults::arm(Fault fault, unsigned nth, bool and_after) {
  armed_.push_back(Armed{fault, nth > 0 ? nth - 1 : 0, and_after});
}

void Faults::arm_every(Fault fault, unsigned period) {
  if (period == 0) return;
  armed_.push_back(Armed{fault, period - 1, false, period});
}

std::optional<Fault> Faults::on(Operation operation) {
  std::optional<Fault> fired;
  for (auto it = armed_.begin(); it != armed_.end();) {
    if (operation_of(it->fault) != operation) {
      ++it;
      continue;
    }
    if (it->countdown > 0) {
      --it->countdown;
      ++it;
      continue;
    }
    if (!fired) fired = it->fault;
    if (it->period > 0) {
      it->countdown = it->period - 1;
      ++it;
    } else if (it->and_after) {
      ++it;
    } else {
      it = armed_.erase(it);
    }
  }
  return fired;
}

bool Faults::arm_from_list(std::string_view list) {
  std::vector<Armed> parsed;
  while (!list.empty()) {
    const auto comma = list.find(',');
    std::string_view item = list.substr(0, comma);
    list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
    if (item.empty()) continue;

    unsigned period = 0;
    if (const auto percent = item.find('%'); percent != std::string_view::npos) {
      if (!parse_count(item.substr(percent + 1), period)) return false;
      item = item.substr(0, percent);
    }
    bool and_after = false;
    if (item.back() == '+') {
      and_after = true;
      item.remove_suffix(1);
    }
    unsigned nth = 1;
    if (const auto at = item.find('@'); at != std::string_view::npos) {
      if (!parse_count(item.substr(at + 1), nth)) return false;
      item = item.substr(0, at);
    }
    const auto fault = fault_named(item);
    if (!fault || (period > 0 && (and_after || nth != 1))) return false;
    parsed.push_back(period > 0 ? Armed{*fault, period - 1, false, period}
                                : Armed{*fault, nth - 1, and_after});
  }
  armed_.insert(armed_.end(), parsed.begin(), parsed.end());
  return true;
}

}  // namespace hwgatek::sim

#define WIN32_LEAN_AND_MEAN
#include "port_emulator.h"

#include <windows.h>

#include <cstdio>

namespace hwgatek::wintest {
namespace {

// The byte-wide port instructions: IN AL,imm8 / OUT imm8,AL (two bytes) and
// IN AL,DX / OUT DX,AL (one byte). Word and doubleword forms are left alone,
// so a transfer of the wrong width fails the test instead of passing.
struct Decoded {
  bool out;
  bool immediate;
  std::uint16_t port;
  DWORD length;
};

bool decode(const CONTEXT& context, Decoded& d) {
  const auto* code = reinterpret_cast<const std::uint8_t*>(context.Eip);
  switch (code[0]) {
    case 0xE4: d = {false, true, code[1], 2}; return true;
    case 0xE6: d = {true, true, code[1], 2}; return true;
    case 0xEC: d = {false, false, static_cast<std::uint16_t>(context.Edx), 1}; return true;
    case 0xEE: d = {true, false, static_cast<std::uint16_t>(context.Edx), 1}; return true;
    default: return false;
  }
}

}  // namespace

PortEmulator& PortEmulator::instance() {
  static PortEmulator emulator;
  return emulator;
}

void PortEmulator::set_mode(EmulatorMode mode) {
  if (handle_ != nullptr && mode == EmulatorMode::off) {
    RemoveVectoredExceptionHandler(handle_);
    handle_ = nullptr;
  }
  if (handle_ == nullptr && mode != EmulatorMode::off)
    handle_ = AddVectoredExceptionHandler(1, &PortEmulator::handler);
  mode_ = mode;
}

std::vector<std::string> PortEmulator::take_log() {
  std::vector<std::string> log;
  log.swap(log_);
  return log;
}

long __stdcall PortEmulator::handler(EXCEPTION_POINTERS* exception) {
  PortEmulator& self = instance();
  CONTEXT& context = *exception->ContextRecord;
  Decoded d;
  if (exception->ExceptionRecord->ExceptionCode != STATUS_PRIVILEGED_INSTRUCTION ||
      !decode(context, d))
    return EXCEPTION_CONTINUE_SEARCH;

  const char* form = d.immediate ? " (imm8)" : "";
  char line[64];
  if (self.mode_ == EmulatorMode::observe) {
    if (d.out)
      std::snprintf(line, sizeof line, "refused out 0x%04X 0x%02X%s", d.port,
                    static_cast<unsigned>(context.Eax & 0xFF), form);
    else
      std::snprintf(line, sizeof line, "refused in 0x%04X%s", d.port, form);
    self.log_.push_back(line);
    return EXCEPTION_CONTINUE_SEARCH;
  }

  if (d.out) {
    const auto value = static_cast<std::uint8_t>(context.Eax);
    self.ports_.out(d.port, value);
    std::snprintf(line, sizeof line, "out 0x%04X 0x%02X%s", d.port, value, form);
  } else {
    const std::uint8_t value = self.ports_.in(d.port);
    context.Eax = (context.Eax & ~DWORD{0xFF}) | value;  // IN AL leaves the rest of EAX
    std::snprintf(line, sizeof line, "in 0x%04X = 0x%02X%s", d.port, value, form);
  }
  self.log_.push_back(line);
  context.Eip += d.length;
  return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace hwgatek::wintest

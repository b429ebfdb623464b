// Direct port backend of hwGateK.dll: every byte moves with one of the
// processor's byte-wide port instructions, IN or OUT, with the port in DX
// (the low 16 bits of the port address: all of 0x0000-0xFFFF is reachable,
// 0x10000 is port 0 and -1 port 0xFFFF). No state, no settle delay.
//
// The process needs the system's permission to execute port instructions;
// the library neither asks for it nor checks it. Without it Windows raises a
// privileged-instruction exception, which, unhandled in native code, would
// end the whole JVM. So each transfer registers a structured-exception frame
// for the duration of its one instruction; when the instruction is refused,
// the frame's handler resumes the transfer after it with the result -3 (no
// byte moved). With permission a transfer costs the instruction and the
// frame's few register moves, and calls nothing.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdint>

#include "hwgatek/port_access.h"
#include "win_runtime.h"

namespace hwgatek {
namespace {

// The frame a transfer pushes on its stack and links at fs:[0]; the first
// two fields are the system's exception-registration record.
struct PortFrame {
  void* next;
  void* handler;
  const void* instruction;  // the IN or OUT that the frame guards
  void* resume;             // where the transfer goes on when it is refused
};

constexpr DWORD kUnwindFlags = 0x2 | 0x4;  // unwinding, exit unwind
constexpr DWORD kNoncontinuable = 0x1;

// Takes only a refusal of the frame's own instruction: a privileged
// instruction (no I/O permission) or an access violation there. Any other
// exception is left to the frames further out.
EXCEPTION_DISPOSITION __cdecl port_refused(EXCEPTION_RECORD* record, void* established,
                                           CONTEXT* context, void*) {
  const auto* frame = static_cast<const PortFrame*>(established);
  if (record->ExceptionFlags & (kUnwindFlags | kNoncontinuable)) return ExceptionContinueSearch;
  const bool refused = record->ExceptionCode == STATUS_PRIVILEGED_INSTRUCTION ||
                       record->ExceptionCode == STATUS_ACCESS_VIOLATION;
  if (!refused || record->ExceptionAddress != frame->instruction) return ExceptionContinueSearch;
  context->Eip = reinterpret_cast<DWORD>(frame->resume);
  context->Eax = static_cast<DWORD>(kTransferFailed);
  return ExceptionContinueExecution;
}

}  // namespace

// Each transfer is one asm statement that builds its PortFrame, links it,
// runs the instruction and unlinks the frame again on both paths: the stack
// moves only inside the statement, and no operand refers to the stack, so
// the compiler's own use of it is undisturbed. Label 1 is the instruction,
// label 2 where a refused transfer resumes with EAX = -3.
#define HWGATEK_LINK_PORT_FRAME \
  "pushl $2f\n\t"               \
  "pushl $1f\n\t"               \
  "pushl %[handler]\n\t"        \
  "pushl %%fs:0\n\t"            \
  "movl %%esp, %%fs:0\n\t"
#define HWGATEK_UNLINK_PORT_FRAME \
  "2:\tpopl %%fs:0\n\t"          \
  "addl $12, %%esp"

int _read(std::int32_t port) {
  int result;
  asm volatile(HWGATEK_LINK_PORT_FRAME
               "xorl %%eax, %%eax\n"
               "1:\tinb %%dx, %%al\n" HWGATEK_UNLINK_PORT_FRAME
               : "=a"(result)
               : "d"(port), [handler] "i"(&port_refused)
               : "cc", "memory");
  return result;
}

int _write(std::int8_t byte, std::int32_t port) {
  int result;
  asm volatile(HWGATEK_LINK_PORT_FRAME
               "1:\toutb %%al, %%dx\n\t"
               "xorl %%eax, %%eax\n" HWGATEK_UNLINK_PORT_FRAME
               : "=a"(result)
               : "0"(static_cast<std::uint8_t>(byte)), "d"(port), [handler] "i"(&port_refused)
               : "cc", "memory");
  return result;
}

// Nothing to open or close: the instructions need no device.
int _open() { return 0; }
int _close() { return 0; }

// The port instructions need no settle pause.
void _delay() {}

std::int32_t _clock() { return static_cast<std::int32_t>(clock()); }

const std::int32_t clock_ticks_per_second = 1000;

}  // namespace hwgatek

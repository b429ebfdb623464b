// Calls a DLL function through a correctly typed stdcall pointer, from an
// assembly trampoline that sees what the call did to the machine state:
// that the callee removed exactly its own arguments (the stack pointer is
// where it was before they were pushed), that it kept the callee-saved
// registers, and that the exception-registration chain at fs:[0] is the
// same after the call as before it.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "check.h"
#include "jni.h"

namespace hwgatek::wintest {

struct CallRecord {
  std::int32_t stack_change;  // stack pointer after the call minus before the arguments
  std::uint32_t seh_before;   // fs:[0] before and after the call
  std::uint32_t seh_after;
  std::uint32_t ebx;  // as the call left them; the trampoline sets canaries
  std::uint32_t esi;
};

inline constexpr std::uint32_t kEbxCanary = 0x600DF00D;
inline constexpr std::uint32_t kEsiCanary = 0x5AFE5AFE;

extern "C" std::int32_t hwgatek_call_stdcall(const void* function, const std::uint32_t* words,
                                             std::uint32_t count, CallRecord* record);

// The argument words as a 32-bit caller pushes them: one slot for a pointer,
// a jint or a jbyte (sign-extended), two for a jlong, low half first.
inline void append_words(std::vector<std::uint32_t>& words, const void* pointer) {
  words.push_back(static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer)));
}
inline void append_words(std::vector<std::uint32_t>& words, jint value) {
  words.push_back(static_cast<std::uint32_t>(value));
}
inline void append_words(std::vector<std::uint32_t>& words, jbyte value) {
  words.push_back(static_cast<std::uint32_t>(static_cast<std::int32_t>(value)));
}
inline void append_words(std::vector<std::uint32_t>& words, jlong value) {
  const auto bits = static_cast<std::uint64_t>(value);
  words.push_back(static_cast<std::uint32_t>(bits));
  words.push_back(static_cast<std::uint32_t>(bits >> 32));
}

template <class... Args>
jint call_checked(const std::string& name, jint(__stdcall* function)(Args...),
                  std::type_identity_t<Args>... args) {
  std::vector<std::uint32_t> words;
  (append_words(words, args), ...);
  CallRecord record{};
  const jint result = hwgatek_call_stdcall(reinterpret_cast<const void*>(function), words.data(),
                                           static_cast<std::uint32_t>(words.size()), &record);
  CHECK_EQ_AT(record.stack_change, 0, name + ": the callee removes its arguments");
  CHECK_EQ_AT(record.seh_after, record.seh_before, name + ": exception chain restored");
  CHECK_EQ_AT(record.ebx, kEbxCanary, name + ": ebx kept");
  CHECK_EQ_AT(record.esi, kEsiCanary, name + ": esi kept");
  return result;
}

}  // namespace hwgatek::wintest

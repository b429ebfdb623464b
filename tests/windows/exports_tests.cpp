// What a JVM finds in hwGateK.dll: the seven decorated names and no other
// form of them, callable as stdcall functions.
#include <cstdint>
#include <string>
#include <vector>

#include "check.h"
#include "groups.h"
#include "loaded_dll.h"
#include "port_emulator.h"

namespace hwgatek::wintest {

void exports_group(const Paths& paths) {
  PortEmulator& emulator = PortEmulator::instance();
  emulator.set_mode(EmulatorMode::emulate);
  StdoutToFile out;
  HwGateK dll(paths.dll);
  if (!dll.loaded()) return;

  run_case("no undecorated, half-decorated or other name is exported", [&] {
    std::vector<std::string> absent = {"DllMain", "_DllMain@12", "DllMainCRTStartup",
                                       "_DllMainCRTStartup@12", "printf", "clock",
                                       "JNI_OnLoad", "_JNI_OnLoad@8", "JNI_OnUnload",
                                       "_JNI_OnUnload@8"};
    for (const char* exported : kExportNames) {
      const std::string name = exported;
      const std::string plain = name.substr(1, name.find('@') - 1);  // Java_..._ioOpen
      const std::string size = name.substr(name.find('@'));          // @8
      absent.insert(absent.end(), {plain, plain + size, "_" + plain});
    }
    for (const std::string& name : absent)
      CHECK_EQ_AT(GetProcAddress(dll.module(), name.c_str()) == nullptr, true, name);
  });

  run_case("the entry points work when called as a compiler calls stdcall pointers", [&] {
    emulator.ports().clear();
    CHECK_EQ(dll.open_fn(nullptr, nullptr), 0);
    CHECK_EQ(dll.write_ib(nullptr, nullptr, 0x80, static_cast<jbyte>(0xA5)), 0);
    CHECK_EQ(dll.read_i(nullptr, nullptr, 0x80), 0xA5);
    CHECK_EQ(dll.write_ibj(nullptr, nullptr, 0x81, jbyte{-1}, INT64_MIN), 0);
    CHECK_EQ(dll.read_ij(nullptr, nullptr, 0x81, INT64_MAX), 0xFF);
    emulator.ports().set(0x300, 0x00);  // status: idle; the data bytes echo the selects
    CHECK_EQ(dll.q7460_ii(nullptr, nullptr, 0x300, 1), -(0x121 * 5000 / 4096));
    CHECK_EQ(dll.close_fn(nullptr, nullptr), 0);
    CHECK_EQ(emulator.take_log().size(), 4u + 8u);
  });

  // Each call goes through the trampoline, which checks the stack pointer,
  // the callee-saved registers and the exception chain after it.
  run_case("every entry point removes exactly its own arguments", [&] {
    CHECK_EQ(dll.ioOpen(), 0);
    CHECK_EQ(dll.ioWritePort(0x80, jbyte{0x3C}), 0);
    CHECK_EQ(dll.ioWritePort(0x80, jbyte{0x3D}, jlong{-1}), 0);
    CHECK_EQ(dll.ioReadPort(0x80), 0x3D);
    CHECK_EQ(dll.ioReadPort(0x80, jlong{-1}), 0x3D);
    CHECK_EQ(dll.ioReadQ7460(0x300, 1), -(0x121 * 5000 / 4096));
    CHECK_EQ(dll.ioClose(), 0);
    emulator.take_log();
  });

  dll.unload();
  CHECK_EQ(out.text(), "");
}

}  // namespace hwgatek::wintest

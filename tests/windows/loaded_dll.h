// hwGateK.dll as a JVM meets it: loaded with LoadLibrary through the real
// Windows loader, its entry points found by their decorated names and
// called as stdcall functions, every call through the checking trampoline.
// Also the process's standard output, pointed at a file before a load so
// that what the DLL's runtime writes there can be read back.
#pragma once

#include <windows.h>

#include <string>

#include "jni.h"

namespace hwgatek::wintest {

// The entry points' types, written out here rather than taken from the
// library's header, so that a wrong declaration there shows up.
using OpenClose = jint(__stdcall*)(JNIEnv*, jclass);
using ReadPortI = jint(__stdcall*)(JNIEnv*, jclass, jint);
using ReadPortIJ = jint(__stdcall*)(JNIEnv*, jclass, jint, jlong);
using WritePortIB = jint(__stdcall*)(JNIEnv*, jclass, jint, jbyte);
using WritePortIBJ = jint(__stdcall*)(JNIEnv*, jclass, jint, jbyte, jlong);
using ReadQ7460II = jint(__stdcall*)(JNIEnv*, jclass, jint, jint);

// The seven exported names, as a 32-bit JVM looks them up.
inline constexpr const char* kExportNames[] = {
    "_Java_Tavex_srv_hwGateK_ioOpen@8",
    "_Java_Tavex_srv_hwGateK_ioClose@8",
    "_Java_Tavex_srv_hwGateK_ioReadPort__I@12",
    "_Java_Tavex_srv_hwGateK_ioReadPort__IJ@20",
    "_Java_Tavex_srv_hwGateK_ioWritePort__IB@16",
    "_Java_Tavex_srv_hwGateK_ioWritePort__IBJ@24",
    "_Java_Tavex_srv_hwGateK_ioReadQ7460__II@16",
};

class HwGateK {
 public:
  explicit HwGateK(const std::string& path);  // a failed load is a test failure
  ~HwGateK() { unload(); }
  HwGateK(const HwGateK&) = delete;
  HwGateK& operator=(const HwGateK&) = delete;

  bool loaded() const { return module_ != nullptr; }
  HMODULE module() const { return module_; }
  void unload();

  // The environment pointer and receiver passed on every call: null, as
  // native callers may pass, unless set otherwise.
  void set_receiver(JNIEnv* env, jclass cls) { env_ = env, cls_ = cls; }

  jint ioOpen();
  jint ioClose();
  jint ioReadPort(jint port);
  jint ioReadPort(jint port, jlong ignored);
  jint ioWritePort(jint port, jbyte byte);
  jint ioWritePort(jint port, jbyte byte, jlong ignored);
  jint ioReadQ7460(jint base, jint channel);

  OpenClose open_fn = nullptr;
  OpenClose close_fn = nullptr;
  ReadPortI read_i = nullptr;
  ReadPortIJ read_ij = nullptr;
  WritePortIB write_ib = nullptr;
  WritePortIBJ write_ibj = nullptr;
  ReadQ7460II q7460_ii = nullptr;

 private:
  HMODULE module_ = nullptr;
  JNIEnv* env_ = nullptr;
  jclass cls_ = nullptr;
};

// Points the process's standard output at a new temporary file (or at no
// handle at all); restores the previous one and removes the file at the end.
class StdoutToFile {
 public:
  enum Target { file, none };
  explicit StdoutToFile(Target target = file);
  ~StdoutToFile();
  StdoutToFile(const StdoutToFile&) = delete;
  StdoutToFile& operator=(const StdoutToFile&) = delete;

  std::string text() const;  // the file's whole contents now

 private:
  HANDLE previous_;
  HANDLE file_ = INVALID_HANDLE_VALUE;
  char path_[MAX_PATH] = {};
};

// Milliseconds of the host's own real-time clock.
double host_ms();

}  // namespace hwgatek::wintest

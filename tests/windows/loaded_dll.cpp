#include "loaded_dll.h"

#include "check.h"
#include "stdcall_call.h"

namespace hwgatek::wintest {

HwGateK::HwGateK(const std::string& path) {
  module_ = LoadLibraryA(path.c_str());
  if (!CHECK(module_ != nullptr)) return;
  auto find = [this](const char* name) {
    FARPROC address = GetProcAddress(module_, name);
    CHECK_EQ_AT(address != nullptr, true, std::string("export ") + name);
    return reinterpret_cast<void*>(address);
  };
  open_fn = reinterpret_cast<OpenClose>(find(kExportNames[0]));
  close_fn = reinterpret_cast<OpenClose>(find(kExportNames[1]));
  read_i = reinterpret_cast<ReadPortI>(find(kExportNames[2]));
  read_ij = reinterpret_cast<ReadPortIJ>(find(kExportNames[3]));
  write_ib = reinterpret_cast<WritePortIB>(find(kExportNames[4]));
  write_ibj = reinterpret_cast<WritePortIBJ>(find(kExportNames[5]));
  q7460_ii = reinterpret_cast<ReadQ7460II>(find(kExportNames[6]));
}

void HwGateK::unload() {
  if (module_ != nullptr) CHECK(FreeLibrary(module_));
  module_ = nullptr;
}

jint HwGateK::ioOpen() { return call_checked("ioOpen", open_fn, env_, cls_); }
jint HwGateK::ioClose() { return call_checked("ioClose", close_fn, env_, cls_); }
jint HwGateK::ioReadPort(jint port) { return call_checked("ioReadPort(I)", read_i, env_, cls_, port); }
jint HwGateK::ioReadPort(jint port, jlong ignored) {
  return call_checked("ioReadPort(IJ)", read_ij, env_, cls_, port, ignored);
}
jint HwGateK::ioWritePort(jint port, jbyte byte) {
  return call_checked("ioWritePort(IB)", write_ib, env_, cls_, port, byte);
}
jint HwGateK::ioWritePort(jint port, jbyte byte, jlong ignored) {
  return call_checked("ioWritePort(IBJ)", write_ibj, env_, cls_, port, byte, ignored);
}
jint HwGateK::ioReadQ7460(jint base, jint channel) {
  return call_checked("ioReadQ7460(II)", q7460_ii, env_, cls_, base, channel);
}

StdoutToFile::StdoutToFile(Target target) : previous_(GetStdHandle(STD_OUTPUT_HANDLE)) {
  if (target == file) {
    char directory[MAX_PATH];
    GetTempPathA(sizeof directory, directory);
    CHECK(GetTempFileNameA(directory, "hgk", 0, path_) != 0);
    file_ = CreateFileA(path_, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    CHECK(file_ != INVALID_HANDLE_VALUE);
  }
  SetStdHandle(STD_OUTPUT_HANDLE, target == file ? file_ : nullptr);
}

StdoutToFile::~StdoutToFile() {
  SetStdHandle(STD_OUTPUT_HANDLE, previous_);
  if (file_ != INVALID_HANDLE_VALUE) {
    CloseHandle(file_);
    DeleteFileA(path_);
  }
}

std::string StdoutToFile::text() const {
  if (file_ == INVALID_HANDLE_VALUE) return {};
  HANDLE reader = CreateFileA(path_, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (!CHECK(reader != INVALID_HANDLE_VALUE)) return {};
  std::string text;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(reader, chunk, sizeof chunk, &got, nullptr) && got > 0) text.append(chunk, got);
  CloseHandle(reader);
  return text;
}

double host_ms() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

}  // namespace hwgatek::wintest

// The DLL's own runtime, through the runtime probe: clock counts real
// milliseconds from the load; printf formats what the DLL prints, in text
// mode, into a buffered stream that is written out when it fills and at
// unload, and that drops its text when the process has no standard output.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <climits>
#include <cstdio>
#include <string>

#include "check.h"
#include "groups.h"
#include "loaded_dll.h"

namespace hwgatek::wintest {
namespace {

class Probe {
 public:
  explicit Probe(const std::string& path) : module_(LoadLibraryA(path.c_str())) {
    if (!CHECK(module_ != nullptr)) return;
    clock = reinterpret_cast<long (*)()>(find("probe_clock"));
    printf_int = reinterpret_cast<int (*)(const char*, int)>(find("probe_printf_int"));
    printf_text = reinterpret_cast<int (*)(const char*, const char*)>(find("probe_printf_text"));
    CHECK(clock != nullptr && printf_int != nullptr && printf_text != nullptr);
  }
  ~Probe() { unload(); }
  void unload() {
    if (module_ != nullptr) CHECK(FreeLibrary(module_));
    module_ = nullptr;
  }
  bool ready() const { return module_ != nullptr && clock && printf_int && printf_text; }

  long (*clock)() = nullptr;
  int (*printf_int)(const char*, int) = nullptr;
  int (*printf_text)(const char*, const char*) = nullptr;

 private:
  void* find(const char* name) { return reinterpret_cast<void*>(GetProcAddress(module_, name)); }
  HMODULE module_;
};

void wait_ms(double ms) {
  const double start = host_ms();
  Sleep(static_cast<DWORD>(ms));
  while (host_ms() - start < ms) {
  }
}

DWORD WINAPI idle_thread(void*) { return 0; }

}  // namespace

void runtime_group(const Paths& paths) {
  run_case("clock counts real milliseconds from the load", [&] {
    const double before_load = host_ms();
    Probe probe(paths.probe);
    if (!probe.ready()) return;
    const long at_load = probe.clock();
    const double after_first = host_ms();
    CHECK(at_load >= 0);
    CHECK_EQ_AT(at_load <= after_first - before_load + 1, true, std::to_string(at_load));

    // Sleeping counts as well as running: 300 ms of real time, however spent.
    const double start = host_ms();
    const long first = probe.clock();
    wait_ms(300);
    const long second = probe.clock();
    const double spent = host_ms() - start;
    CHECK_EQ_AT(second - first >= 299, true, std::to_string(second - first));
    CHECK_EQ_AT(second - first <= spent + 1, true, std::to_string(second - first));
  });

  run_case("printf formats in text mode and counts what it was given", [&] {
    struct IntCase {
      const char* format;
      int value;
      const char* text;
    };
    const IntCase int_cases[] = {
        {"%d|", 0, "0|"},
        {"%d|", -1, "-1|"},
        {"%d|", INT_MIN, "-2147483648|"},
        {"%i|", INT_MAX, "2147483647|"},
        {"%u|", -1, "4294967295|"},
        {"%04X|", 0x300, "0300|"},
        {"%04X|", 0x10000, "10000|"},
        {"%04X|", -16, "FFFFFFF0|"},
        {"%02X|", 5, "05|"},
        {"%02X|", 0x1FF, "1FF|"},
        {"%x|", 0xABC, "abc|"},
        {"%5d|", -42, "  -42|"},
        {"%-5d|", 42, "42   |"},
        {"%05d|", -42, "-0042|"},
        {"%ld|", 7, "7|"},
        {"%c|", 'A', "A|"},
        {"100%%|", 0, "100%|"},
        {"a\nb\n\n", 0, "a\r\nb\r\n\r\n"},
        {"%q|", 0, "%q|"},
        {"end%", 0, "end%"},
    };
    StdoutToFile out;
    Probe probe(paths.probe);
    if (!probe.ready()) return;
    std::string expected;
    for (const IntCase& c : int_cases) {
      const std::string text = c.text;
      std::string given;  // what printf counts: the text before "\r" is added
      for (char ch : text) if (ch != '\r') given += ch;
      CHECK_EQ_AT(probe.printf_int(c.format, c.value), static_cast<int>(given.size()), c.format);
      expected += text;
    }
    CHECK_EQ(probe.printf_text("%s|", "text"), 5);
    CHECK_EQ(probe.printf_text("%-6s|", "ab"), 7);
    CHECK_EQ(probe.printf_text("%3s|", "abcd"), 5);
    CHECK_EQ(probe.printf_text("%s|", nullptr), 7);
    expected += "text|ab    |abcd|(null)|";
    probe.unload();
    CHECK_EQ(out.text(), expected);
  });

  // Far more than one buffer's worth: what is written out when the buffer
  // fills is always the start of the text, and the rest arrives at unload,
  // with no character lost or doubled at the seams ("\r\n" included).
  run_case("long output is written out in order when the buffer fills and at unload", [&] {
    StdoutToFile out;
    Probe probe(paths.probe);
    if (!probe.ready()) return;
    std::string expected;
    for (int i = 0; i < 1000; ++i) {
      probe.printf_int("line %04d of the long output\n", i);
      char line[64];
      std::snprintf(line, sizeof line, "line %04d of the long output\r\n", i);
      expected += line;
    }
    const std::string early = out.text();
    CHECK(!early.empty());
    CHECK_EQ(expected.compare(0, early.size(), early), 0);
    probe.unload();
    CHECK_EQ(out.text(), expected);
  });

  run_case("threads starting and ending leave the runtime as it was", [&] {
    StdoutToFile out;
    Probe probe(paths.probe);
    if (!probe.ready()) return;
    CHECK_EQ(probe.printf_int("before %d\n", 1), 9);
    HANDLE thread = CreateThread(nullptr, 0, idle_thread, nullptr, 0, nullptr);
    CHECK(thread != nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    CHECK_EQ(probe.printf_int("after %d\n", 2), 8);
    probe.unload();
    CHECK_EQ(out.text(), "before 1\r\nafter 2\r\n");
  });

  run_case("without a standard output printf drops its text and returns", [&] {
    StdoutToFile none(StdoutToFile::none);
    Probe probe(paths.probe);
    if (!probe.ready()) return;
    CHECK_EQ(probe.printf_int("lost %d\n", 3), 7);
    probe.unload();
  });
}

}  // namespace hwgatek::wintest

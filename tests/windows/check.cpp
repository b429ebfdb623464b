#include "check.h"

namespace hwgatek::wintest {
namespace {
int m_failures = 0;
}

std::string escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else out += c;
  }
  return out;
}

void record_failure(const char* file, int line, const std::string& message) {
  ++m_failures;
  std::fprintf(stderr, "%s:%d: FAILED: %s\n", file, line, message.c_str());
}

int failure_count() { return m_failures; }

}  // namespace hwgatek::wintest

// A small test harness for the Wine host: named cases, checks that record a
// failure and go on, and a process exit status.
#pragma once

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace hwgatek::wintest {

// "\r" and "\n" shown, so that line ends can be compared by eye.
std::string escaped(const std::string& text);

void record_failure(const char* file, int line, const std::string& message);
int failure_count();

// Runs one named case and reports it on standard error.
template <class Body>
void run_case(const char* name, Body body) {
  const int before = failure_count();
  std::fprintf(stderr, "[ RUN  ] %s\n", name);
  body();
  std::fprintf(stderr, "%s %s\n", failure_count() == before ? "[  OK  ]" : "[FAILED]", name);
}

template <class T>
std::string shown(const T& value) {
  std::ostringstream out;
  out << value;
  return out.str();
}
inline std::string shown(const std::string& value) {
  std::string text(1, '"');
  text += escaped(value);
  text += '"';
  return text;
}
inline std::string shown(const char* value) { return shown(std::string(value)); }
inline std::string shown(unsigned char value) { return shown(static_cast<unsigned>(value)); }
inline std::string shown(const std::vector<std::string>& lines) {
  std::string text = "{";
  for (const std::string& line : lines) text += (text.size() > 1 ? ", " : "") + shown(line);
  return text + "}";
}

template <class A, class B>
bool check_eq(const A& actual, const B& expected, const char* what, const std::string& context,
              const char* file, int line) {
  if (actual == expected) return true;
  record_failure(file, line,
                 std::string(what) + ": " + shown(actual) + ", expected " + shown(expected) +
                     (context.empty() ? "" : " [" + context + "]"));
  return false;
}

}  // namespace hwgatek::wintest

#define CHECK(cond) \
  ((cond) ? true : (::hwgatek::wintest::record_failure(__FILE__, __LINE__, #cond), false))
#define CHECK_EQ(actual, expected) \
  ::hwgatek::wintest::check_eq((actual), (expected), #actual, "", __FILE__, __LINE__)
#define CHECK_EQ_AT(actual, expected, context) \
  ::hwgatek::wintest::check_eq((actual), (expected), #actual, (context), __FILE__, __LINE__)

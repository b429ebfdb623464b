// The DLL's runtime: the standard output stream behind printf, and clock.
//
// Standard output is a text-mode stream: each "\n" goes out as "\r\n". On a
// console the text of each printf goes out at once, as a C runtime's console
// stream does; otherwise (a file, a pipe) it is buffered and written out when
// the buffer fills and when the DLL is unloaded. Without a standard output
// the text is dropped and printf still returns normally.
#define WIN32_LEAN_AND_MEAN
#include "win_runtime.h"

#include <windows.h>

#include <cstdarg>
#include <cstdint>

#include "hwgatek/port_access.h"

namespace hwgatek::runtime {
namespace {

constexpr DWORD kBufferSize = 4096;

char m_buffer[kBufferSize];
DWORD m_used = 0;
HANDLE m_stdout = nullptr;  // null: no standard output, text is dropped
bool m_console = false;

LARGE_INTEGER m_start{};
LARGE_INTEGER m_frequency{};

// Writes the buffer out and empties it. A failing write loses its text: no
// one is there to tell.
void write_out() {
  for (DWORD done = 0; m_stdout != nullptr && done < m_used;) {
    DWORD written = 0;
    if (!WriteFile(m_stdout, m_buffer + done, m_used - done, &written, nullptr) || written == 0)
      break;
    done += written;
  }
  m_used = 0;
}

void put_raw(char c) {
  if (m_used == kBufferSize) write_out();
  m_buffer[m_used++] = c;
}

// One character of text, counted as printf counts it (before "\r" is added).
class Output {
 public:
  void put(char c) {
    if (c == '\n') put_raw('\r');
    put_raw(c);
    ++count_;
  }
  void put(const char* text, unsigned length) {
    for (unsigned i = 0; i < length; ++i) put(text[i]);
  }
  void pad(char fill, unsigned n) {
    for (; n > 0; --n) put(fill);
  }
  int count() const { return count_; }

 private:
  int count_ = 0;
};

struct Directive {
  bool left = false;  // '-': pad on the right
  bool zero = false;  // '0': pad numbers with zeros after the sign
  unsigned width = 0;
};

void put_field(Output& out, const Directive& d, const char* sign, const char* body,
               unsigned length) {
  unsigned sign_length = 0;
  while (sign[sign_length] != '\0') ++sign_length;
  const unsigned used = sign_length + length;
  const unsigned fill = d.width > used ? d.width - used : 0;
  if (!d.left && !d.zero) out.pad(' ', fill);
  out.put(sign, sign_length);
  if (!d.left && d.zero) out.pad('0', fill);
  out.put(body, length);
  if (d.left) out.pad(' ', fill);
}

void put_number(Output& out, const Directive& d, std::uint32_t magnitude, bool negative,
                unsigned base, bool upper) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  char text[12];
  unsigned start = sizeof text;
  do {
    text[--start] = digits[magnitude % base];
    magnitude /= base;
  } while (magnitude != 0);
  put_field(out, d, negative ? "-" : "", text + start, sizeof text - start);
}

}  // namespace

bool start() {
  // Real time at millisecond resolution; the tick count would be up to a
  // timer period (about 16 ms) coarse.
  if (!QueryPerformanceFrequency(&m_frequency) || m_frequency.QuadPart <= 0) return false;
  if (!QueryPerformanceCounter(&m_start)) return false;
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  m_stdout = out == INVALID_HANDLE_VALUE ? nullptr : out;
  m_console = m_stdout != nullptr && GetFileType(m_stdout) == FILE_TYPE_CHAR;
  m_used = 0;
  return true;
}

void stop() {
  write_out();
  m_stdout = nullptr;
}

}  // namespace hwgatek::runtime

extern "C" long clock() {
  using namespace hwgatek::runtime;
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  // In floating point on the x87: a whole number of milliseconds comes out
  // whole (the quotient of two exact integers is correctly rounded), and no
  // 64-bit division helper from libgcc is needed, which this DLL does not
  // link.
  const long double ms =
      static_cast<long double>(now.QuadPart - m_start.QuadPart) * 1000 / m_frequency.QuadPart;
  return static_cast<long>(static_cast<std::uint32_t>(static_cast<std::int64_t>(ms)));
}

// The formats the DLL prints: literal text, %%, and %d %i %u %x %X %c %s with
// the flags '-' and '0', a width, and an 'l' or 'h' size that changes nothing
// (int and long are both 32 bits here). Anything else is printed as written.
extern "C" int printf(const char* format, ...) {
  using namespace hwgatek::runtime;
  Output out;
  va_list args;
  va_start(args, format);
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') {
      out.put(*p);
      continue;
    }
    const char* directive = p++;
    Directive d;
    for (;; ++p) {
      if (*p == '-') d.left = true;
      else if (*p == '0') d.zero = true;
      else break;
    }
    for (; *p >= '0' && *p <= '9'; ++p) d.width = d.width * 10 + static_cast<unsigned>(*p - '0');
    while (*p == 'l' || *p == 'h') ++p;
    switch (*p) {
      case 'd':
      case 'i': {
        const int value = va_arg(args, int);
        const auto magnitude = value < 0 ? 0u - static_cast<std::uint32_t>(value)
                                         : static_cast<std::uint32_t>(value);
        put_number(out, d, magnitude, value < 0, 10, false);
        break;
      }
      case 'u': put_number(out, d, va_arg(args, unsigned), false, 10, false); break;
      case 'x': put_number(out, d, va_arg(args, unsigned), false, 16, false); break;
      case 'X': put_number(out, d, va_arg(args, unsigned), false, 16, true); break;
      case 'c': {
        const char c = static_cast<char>(va_arg(args, int));
        d.zero = false;
        put_field(out, d, "", &c, 1);
        break;
      }
      case 's': {
        const char* text = va_arg(args, const char*);
        if (text == nullptr) text = "(null)";
        unsigned length = 0;
        while (text[length] != '\0') ++length;
        d.zero = false;
        put_field(out, d, "", text, length);
        break;
      }
      case '%': out.put('%'); break;
      default:  // not a format of ours: print the directive as it stands
        if (*p == '\0') --p;
        out.put(directive, static_cast<unsigned>(p - directive + 1));
        break;
    }
  }
  va_end(args);
  if (m_console) write_out();
  return out.count();
}

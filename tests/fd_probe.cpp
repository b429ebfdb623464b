// Run by a test as a child process: tells by its exit status whether the
// descriptor named on its command line is open in this process.
//   0  closed   1  open   2  bad usage
#include <fcntl.h>

#include <cerrno>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const int fd = std::atoi(argv[1]);
  if (::fcntl(fd, F_GETFD) != -1) return 1;
  return errno == EBADF ? 0 : 2;
}

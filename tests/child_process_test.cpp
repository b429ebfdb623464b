// The descriptor onto the port device, which reaches every I/O port of the
// machine, must not pass to the programs that a JVM using the library starts.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "library_fixture.h"
#include "process_descriptors.h"

namespace hwgatek::test {
namespace {

// Starts the probe with fork and exec, as a process launcher does, and
// returns its verdict on `fd`: 0 closed, 1 open, anything else a failure.
int probe_in_child(int fd) {
  const std::string number = std::to_string(fd);
  const pid_t child = fork();
  if (child == 0) {
    execl(HWGATEK_FD_PROBE, HWGATEK_FD_PROBE, number.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST_F(Library, ThePortDeviceDescriptorDoesNotReachChildProcesses) {
  const Descriptors before = open_descriptors_of_process();
  ASSERT_EQ(ioOpen(), 0);
  const Descriptors opened = added(before, open_descriptors_of_process());
  ASSERT_EQ(opened.size(), 1u);
  const int device_fd = *opened.begin();

  // The probe sees a descriptor that is inherited: a copy of the device's
  // descriptor without close-on-exec.
  const int inherited = fcntl(device_fd, F_DUPFD, 100);
  ASSERT_GE(inherited, 0);
  EXPECT_EQ(probe_in_child(inherited), 1) << "the probe must see inherited descriptors";
  close(inherited);

  EXPECT_EQ(probe_in_child(device_fd), 0) << "the port device reached the child";
  // Still open here, and usable, after the child has gone.
  sim().set_port(0x80, 0x42);
  EXPECT_EQ(ioReadPort(0x80), 0x42);
  EXPECT_EQ(ioClose(), 0);
}

}  // namespace
}  // namespace hwgatek::test

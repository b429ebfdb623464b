// The descriptors this process has open, as the kernel lists them in
// /proc/self/fd: the only account of leaks and of which descriptor the port
// device occupies that does not rely on the library or the simulator.
#pragma once

#include <dirent.h>

#include <cstdlib>
#include <set>

namespace hwgatek::test {

using Descriptors = std::set<int>;

inline Descriptors open_descriptors_of_process() {
  Descriptors fds;
  DIR* dir = opendir("/proc/self/fd");
  if (!dir) return fds;
  const int own = dirfd(dir);  // the listing's own descriptor is not counted
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    const int fd = std::atoi(entry->d_name);
    if (fd != own) fds.insert(fd);
  }
  closedir(dir);
  return fds;
}

// The descriptors in `after` that are not in `before`.
inline Descriptors added(const Descriptors& before, const Descriptors& after) {
  Descriptors out;
  for (int fd : after)
    if (!before.count(fd)) out.insert(fd);
  return out;
}

}  // namespace hwgatek::test

// The host's test groups; CTest runs each in a process of its own, so that
// every group meets a freshly loaded DLL.
#pragma once

#include <string>

namespace hwgatek::wintest {

struct Paths {
  std::string dll;    // hwGateK.dll
  std::string probe;  // the runtime probe DLL
};

void exports_group(const Paths&);
void ports_group(const Paths&);
void q7460_group(const Paths&);
void timeout_group(const Paths&);
void refused_group(const Paths&);
void runtime_group(const Paths&);

}  // namespace hwgatek::wintest

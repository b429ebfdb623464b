// hwGateK.dll's own small C runtime. The DLL links no C library (it imports
// from KERNEL32.dll alone), so what the shared unit needs of a runtime is
// here: printf into a buffered standard output stream, and clock.
#pragma once

namespace hwgatek::runtime {

// Binds the standard output stream to the process's standard output and
// takes the start time of clock(). False when the runtime cannot start; the
// DLL then refuses to load.
bool start();

// Writes out what is still buffered in the standard output stream.
void stop();

}  // namespace hwgatek::runtime

// Real time since the runtime started, in whole milliseconds (1000 a
// second), as a 32-bit signed count that wraps after 24.8 days.
extern "C" long clock();

// Faults the simulated port device can be made to answer with, each armed
// for a chosen operation of its kind: the nth one from the moment it is
// armed, and optionally every one after it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hwgatek::sim {

enum class Fault : std::uint8_t {
  OpenEPERM,      // open refused: no privilege
  OpenENXIO,      // open refused: no port device in this kernel
  OpenEACCES,     // open refused: file permissions
  SeekError,      // lseek fails: -1, EINVAL
  SeekNegative,   // lseek answers a negative position (-65536)
  SeekElsewhere,  // lseek answers another position (the one asked for + 1)
  ReadNone,       // read moves no byte (0)
  ReadError,      // read fails: -1, EIO
  WriteNone,      // write moves no byte (0)
  WriteError,     // write fails: -1, EIO
};

// The operation a fault belongs to.
enum class Operation : std::uint8_t { Open, Seek, Read, Write };
Operation operation_of(Fault fault);

// Names as the environment spells them: "open-eperm", "seek-elsewhere", ...
std::string_view name_of(Fault fault);
std::optional<Fault> fault_named(std::string_view name);

class Faults {
 public:
  // Fires on the nth operation of the fault's kind counted from now
  // (nth = 1: the very next one); with `and_after`, on every one after it.
  void arm(Fault fault, unsigned nth = 1, bool and_after = false);
  // Fires on every `period`th operation of its kind, for ever.
  void arm_every(Fault fault, unsigned period);
  void clear() { armed_.clear(); }
  bool empty() const { return armed_.empty(); }

  // Called once for every operation: the fault that fires on it, if any.
  // Every armed fault of that operation counts the operation.
  std::optional<Fault> on(Operation operation);

  // Arms a list such as "read-none@3,seek-elsewhere@2+,open-eperm,read-error%97":
  // a name, then optionally @N (the nth operation) and + (and every one
  // after), or %N (every nth operation, for ever).
  // Returns false, arming nothing, if any item does not parse.
  bool arm_from_list(std::string_view list);

 private:
  struct Armed {
    Fault fault;
    unsigned countdown;  // operations still to let pass
    bool and_after;
    unsigned period = 0;  // fires again after this many operations; 0: no
  };
  std::vector<Armed> armed_;
};

}  // namespace hwgatek::sim

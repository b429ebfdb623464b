// Every fault the simulated device and board can produce, crossed with every
// operation: the open, the close, a port read, a port write, and each phase
// of a Q7460 read. Each row states the result, the exact output and whether
// the device is open afterwards; every row also checks, against the kernel's
// own list of this process's descriptors, that the device keeps its one
// descriptor (or has none) and that nothing leaked.
#include <optional>

#include "library_fixture.h"
#include "process_descriptors.h"

namespace hwgatek::test {
namespace {

using sim::Fault;

// What is injected: a fault of the port device, or a Q7460 board that is
// stuck busy or never busy (the clean board is busy for two status reads).
enum class Injected {
  OpenEPERM, OpenENXIO, OpenEACCES,
  SeekError, SeekNegative, SeekElsewhere,
  ReadNone, ReadError, WriteNone, WriteError,
  StuckBusy, NeverBusy,
};

// Operations. The analog phases are the transfers of ioReadQ7460(0x300, 5)
// in the order the read makes them.
enum class Op {
  Open, Close, ReadPort, WritePort,
  Select, StartPulse, EndPulse, StatusPoll, LowSelect, LowRead, HighSelect, HighRead,
};

enum class State { IsClosed, IsOpen };

constexpr jint kBase = 0x300;
constexpr jint kChannel = 5;
constexpr jint kReading = 0x234 * 5000 / 4096;  // channel 5 holds 0x34, 0x82
constexpr jint kStatusPolls = 3;                // busy, busy, idle

const char* name_of(Injected injected) {
  constexpr const char* kNames[] = {
      "open-eperm", "open-enxio", "open-eacces", "seek-error", "seek-negative", "seek-elsewhere",
      "read-none",  "read-error", "write-none",  "write-error", "stuck-busy",  "never-busy"};
  return kNames[static_cast<int>(injected)];
}

const char* name_of(Op op) {
  constexpr const char* kNames[] = {"open",        "close",      "read port",  "write port",
                                    "select",      "start",      "end pulse",  "status poll",
                                    "low select",  "low read",   "high select", "high read"};
  return kNames[static_cast<int>(op)];
}

std::optional<Fault> device_fault(Injected injected) {
  switch (injected) {
    case Injected::OpenEPERM: return Fault::OpenEPERM;
    case Injected::OpenENXIO: return Fault::OpenENXIO;
    case Injected::OpenEACCES: return Fault::OpenEACCES;
    case Injected::SeekError: return Fault::SeekError;
    case Injected::SeekNegative: return Fault::SeekNegative;
    case Injected::SeekElsewhere: return Fault::SeekElsewhere;
    case Injected::ReadNone: return Fault::ReadNone;
    case Injected::ReadError: return Fault::ReadError;
    case Injected::WriteNone: return Fault::WriteNone;
    case Injected::WriteError: return Fault::WriteError;
    case Injected::StuckBusy:
    case Injected::NeverBusy: break;
  }
  return std::nullopt;
}

// Which call of the fault's kind, counted from the start of the operation,
// the fault strikes: each transfer positions once, so a seek fault names
// the transfer; read and write faults count reads and writes only.
unsigned nth_call(Fault fault, Op op) {
  constexpr unsigned kTransfer[] = {1, 1, 1, 1, 1, 2, 3, 4, 4 + kStatusPolls, 5 + kStatusPolls,
                                    6 + kStatusPolls, 7 + kStatusPolls};
  constexpr unsigned kRead[] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1 + kStatusPolls, 1, 2 + kStatusPolls};
  constexpr unsigned kWrite[] = {1, 1, 1, 1, 1, 2, 3, 1, 4, 1, 5, 1};
  const int at = static_cast<int>(op);
  switch (sim::operation_of(fault)) {
    case sim::Operation::Seek: return kTransfer[at];
    case sim::Operation::Read: return kRead[at];
    case sim::Operation::Write: return kWrite[at];
    case sim::Operation::Open: break;
  }
  return 1;
}

struct Row {
  Injected injected;
  Op op;
  jint result;
  const char* output;
  State after;
};

// Messages of the port operations (read at 0x300, write 0xC3 at 0x301) and
// of the analog read's transfers.
constexpr const char* kReadSeek = "_read seek error addr=0x0300\n";
constexpr const char* kReadMoved = "_read error addr=0x0300\n";
constexpr const char* kWriteSeek = "writePort seek error addr=0x0301 byte=C3\n";
constexpr const char* kWriteMoved = "writePort write error addr=0x0301 byte=C3\n";
constexpr const char* kDataSeek = "_read seek error addr=0x0301\n";
constexpr const char* kDataMoved = "_read error addr=0x0301\n";
constexpr const char* kTimeout = "Q7460 read channel:5 addr=0300 TIMEOUT\n";
#define SEEK_W(byte) "writePort seek error addr=0x0301 byte=" byte "\n"
#define MOVE_W(byte) "writePort write error addr=0x0301 byte=" byte "\n"

using enum Injected;
using enum Op;
using enum State;

const Row kRows[] = {
    // The open: only a refused open fails, silently, and leaves it closed.
    {OpenEPERM, Open, -1, "", IsClosed},    {OpenENXIO, Open, -1, "", IsClosed},
    {OpenEACCES, Open, -1, "", IsClosed},   {SeekError, Open, 0, "", IsOpen},
    {SeekNegative, Open, 0, "", IsOpen},    {SeekElsewhere, Open, 0, "", IsOpen},
    {ReadNone, Open, 0, "", IsOpen},        {ReadError, Open, 0, "", IsOpen},
    {WriteNone, Open, 0, "", IsOpen},       {WriteError, Open, 0, "", IsOpen},
    {StuckBusy, Open, 0, "", IsOpen},       {NeverBusy, Open, 0, "", IsOpen},
    // The close cannot fail.
    {OpenEPERM, Close, 0, "", IsClosed},    {OpenENXIO, Close, 0, "", IsClosed},
    {OpenEACCES, Close, 0, "", IsClosed},   {SeekError, Close, 0, "", IsClosed},
    {SeekNegative, Close, 0, "", IsClosed}, {SeekElsewhere, Close, 0, "", IsClosed},
    {ReadNone, Close, 0, "", IsClosed},     {ReadError, Close, 0, "", IsClosed},
    {WriteNone, Close, 0, "", IsClosed},    {WriteError, Close, 0, "", IsClosed},
    {StuckBusy, Close, 0, "", IsClosed},    {NeverBusy, Close, 0, "", IsClosed},
    // A port read of the status register: a busy board is data, not a failure.
    {OpenEPERM, ReadPort, 0x00, "", IsOpen},       {OpenENXIO, ReadPort, 0x00, "", IsOpen},
    {OpenEACCES, ReadPort, 0x00, "", IsOpen},      {SeekError, ReadPort, -2, kReadSeek, IsOpen},
    {SeekNegative, ReadPort, -2, kReadSeek, IsOpen}, {SeekElsewhere, ReadPort, -2, kReadSeek, IsOpen},
    {ReadNone, ReadPort, -3, kReadMoved, IsOpen},  {ReadError, ReadPort, -3, kReadMoved, IsOpen},
    {WriteNone, ReadPort, 0x00, "", IsOpen},       {WriteError, ReadPort, 0x00, "", IsOpen},
    {StuckBusy, ReadPort, 0x40, "", IsOpen},       {NeverBusy, ReadPort, 0x00, "", IsOpen},
    // A port write of 0xC3 to the control register.
    {OpenEPERM, WritePort, 0, "", IsOpen},          {OpenENXIO, WritePort, 0, "", IsOpen},
    {OpenEACCES, WritePort, 0, "", IsOpen},         {SeekError, WritePort, -2, kWriteSeek, IsOpen},
    {SeekNegative, WritePort, -2, kWriteSeek, IsOpen}, {SeekElsewhere, WritePort, -2, kWriteSeek, IsOpen},
    {ReadNone, WritePort, 0, "", IsOpen},           {ReadError, WritePort, 0, "", IsOpen},
    {WriteNone, WritePort, -3, kWriteMoved, IsOpen}, {WriteError, WritePort, -3, kWriteMoved, IsOpen},
    {StuckBusy, WritePort, 0, "", IsOpen},          {NeverBusy, WritePort, 0, "", IsOpen},
    // The analog read: a failing transfer ends it with -1 and its own message.
    {SeekError, Select, -1, SEEK_W("05"), IsOpen},      {SeekNegative, Select, -1, SEEK_W("05"), IsOpen},
    {SeekElsewhere, Select, -1, SEEK_W("05"), IsOpen},  {WriteNone, Select, -1, MOVE_W("05"), IsOpen},
    {WriteError, Select, -1, MOVE_W("05"), IsOpen},
    {SeekError, StartPulse, -1, SEEK_W("45"), IsOpen},  {SeekNegative, StartPulse, -1, SEEK_W("45"), IsOpen},
    {SeekElsewhere, StartPulse, -1, SEEK_W("45"), IsOpen}, {WriteNone, StartPulse, -1, MOVE_W("45"), IsOpen},
    {WriteError, StartPulse, -1, MOVE_W("45"), IsOpen},
    {SeekError, EndPulse, -1, SEEK_W("05"), IsOpen},    {SeekNegative, EndPulse, -1, SEEK_W("05"), IsOpen},
    {SeekElsewhere, EndPulse, -1, SEEK_W("05"), IsOpen}, {WriteNone, EndPulse, -1, MOVE_W("05"), IsOpen},
    {WriteError, EndPulse, -1, MOVE_W("05"), IsOpen},
    {SeekError, StatusPoll, -1, kReadSeek, IsOpen},     {SeekNegative, StatusPoll, -1, kReadSeek, IsOpen},
    {SeekElsewhere, StatusPoll, -1, kReadSeek, IsOpen}, {ReadNone, StatusPoll, -1, kReadMoved, IsOpen},
    {ReadError, StatusPoll, -1, kReadMoved, IsOpen},    {StuckBusy, StatusPoll, -1, kTimeout, IsOpen},
    {NeverBusy, StatusPoll, kReading, "", IsOpen},
    {SeekError, LowSelect, -1, SEEK_W("25"), IsOpen},   {SeekNegative, LowSelect, -1, SEEK_W("25"), IsOpen},
    {SeekElsewhere, LowSelect, -1, SEEK_W("25"), IsOpen}, {WriteNone, LowSelect, -1, MOVE_W("25"), IsOpen},
    {WriteError, LowSelect, -1, MOVE_W("25"), IsOpen},
    {SeekError, LowRead, -1, kDataSeek, IsOpen},        {SeekNegative, LowRead, -1, kDataSeek, IsOpen},
    {SeekElsewhere, LowRead, -1, kDataSeek, IsOpen},    {ReadNone, LowRead, -1, kDataMoved, IsOpen},
    {ReadError, LowRead, -1, kDataMoved, IsOpen},
    {SeekError, HighSelect, -1, SEEK_W("15"), IsOpen},  {SeekNegative, HighSelect, -1, SEEK_W("15"), IsOpen},
    {SeekElsewhere, HighSelect, -1, SEEK_W("15"), IsOpen}, {WriteNone, HighSelect, -1, MOVE_W("15"), IsOpen},
    {WriteError, HighSelect, -1, MOVE_W("15"), IsOpen},
    {SeekError, HighRead, -1, kDataSeek, IsOpen},       {SeekNegative, HighRead, -1, kDataSeek, IsOpen},
    {SeekElsewhere, HighRead, -1, kDataSeek, IsOpen},   {ReadNone, HighRead, -1, kDataMoved, IsOpen},
    {ReadError, HighRead, -1, kDataMoved, IsOpen},
};

jint run(Op op) {
  switch (op) {
    case Open: return ioOpen();
    case Close: return ioClose();
    case ReadPort: return ioReadPort(kBase);
    case WritePort: return ioWritePort(kBase + 1, static_cast<jbyte>(0xC3));
    default: return ioReadQ7460(kBase, kChannel);
  }
}

int opens_and_closes(const Lines& transfers) {
  int count = 0;
  for (const auto& line : transfers) count += line.rfind("open", 0) == 0 || line == "close";
  return count;
}

TEST_F(Library, FaultMatrix) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(testing::Message() << name_of(row.injected) << " x " << name_of(row.op));
    ioClose();
    sim().reset();
    sim().set_virtual_time(true);
    sim::Q7460Board& board = sim().attach_q7460(kBase);
    board.set_conversion(kStatusPolls - 1, 0);
    board.set_data(kChannel, 0x34, 0x82);
    printed();
    const Descriptors before = open_descriptors_of_process();

    // Every operation but the open starts with the device open.
    int device_fd = -1;
    if (row.op != Open) {
      ASSERT_EQ(ioOpen(), 0);
      const Descriptors opened = added(before, open_descriptors_of_process());
      ASSERT_EQ(opened.size(), 1u);
      device_fd = *opened.begin();
    }

    if (const auto fault = device_fault(row.injected)) sim().arm(*fault, nth_call(*fault, row.op));
    if (row.injected == StuckBusy) board.set_stuck_busy(true);
    if (row.injected == NeverBusy) board.set_conversion(0, 0);
    sim().clear_log();

    EXPECT_EQ(run(row.op), row.result);
    const Descriptors after = open_descriptors_of_process();
    const Lines transfers = log();
    EXPECT_EQ(printed(), row.output);

    if (row.op != Open && row.op != Close) {
      EXPECT_EQ(opens_and_closes(transfers), 0) << "a transfer neither opens nor closes";
    }
    EXPECT_EQ(sim().open_descriptors(), row.after == IsOpen ? 1 : 0);
    if (row.after == IsClosed) {
      EXPECT_EQ(after, before);
    } else if (device_fd != -1) {
      Descriptors expected = before;
      expected.insert(device_fd);
      EXPECT_EQ(after, expected) << "the device keeps its descriptor, and only that one";
    } else {
      EXPECT_EQ(added(before, after).size(), 1u) << "the open takes exactly one descriptor";
    }

    EXPECT_EQ(ioClose(), 0);
    EXPECT_EQ(open_descriptors_of_process(), before) << "a descriptor leaked";
  }
}

#undef SEEK_W
#undef MOVE_W

}  // namespace
}  // namespace hwgatek::test

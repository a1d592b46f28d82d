// Fixed layouts that the capture code shares with other threads and processes: the
// names of the process-wide blocks, the hand-over record a faulting thread writes into
// the handler's pipe, the exception-time history with its automatic close/restart rule,
// and the block that hands the history to a restarted process.
// Tests: tests/crashreport/capture/CaptureLayoutsTest.cpp.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "crashreport/report/ReportRecords.h"

namespace vm {

// "<prefix>$<id in lowercase hex>", the naming rule of every per-process block.
std::string ProcessBlockName(const char* prefix, std::uint32_t processId);
inline std::string ThreadNameBlockName(std::uint32_t pid) { return ProcessBlockName("ZentrapixThreadNameBuf", pid); }
inline std::string RestartBlockName(std::uint32_t pid) { return ProcessBlockName("ZentrapixRestart", pid); }

// Which capture point handed an exception over.
enum class TCaptureSource : std::uint32_t {
  UnhandledFilter = 1,   // the process's unhandled-exception filter
  Funnel = 2,            // the toolkit's exception funnel (window procedures, callbacks)
  Terminate = 3,         // std::terminate: a throw that nothing caught
  Abort = 4,             // abort()
  PureCall = 5,          // a pure virtual function called
  InvalidParameter = 6,  // the C runtime refused a parameter
  OutOfMemory = 7,       // operator new found no memory
  ThreadEntry = 8,       // a thread's start routine let a C++ exception escape
  Explicit = 9,          // the program asked for a report itself
  FreezeWatchdog = 10,   // the main thread stopped answering
};

// What a faulting thread hands over: one machine word per field, written as one block
// into the handler's pipe so that a thread with an exhausted stack needs no more than
// the record itself. Pointers stay valid while the faulting thread waits for `DoneEvent`.
struct THandoverRecord {
  std::uintptr_t ThreadId;
  std::uintptr_t Type;             // TExceptionType
  std::uintptr_t ExceptionObject;  // a TCaughtException*, or 0 for a system exception
  std::uintptr_t Address;          // where the exception happened
  std::uintptr_t CanContinue;
  std::uintptr_t StackPointer;
  std::uintptr_t FramePointer;
  std::uintptr_t Context;        // CONTEXT* of the faulting thread, or 0
  std::uintptr_t ReportText;     // std::string* that receives the report, or 0
  std::uintptr_t Source;         // TCaptureSource
  std::uintptr_t Related;        // EXCEPTION_RECORD* for system exceptions, or 0
  std::uintptr_t Module;         // module handle of the exception address, or 0
  std::uintptr_t PreparedStack;  // reserved: a stack walked by the caller, or 0
  std::uintptr_t DoneEvent;      // HANDLE set by the handler when it is done
};
static_assert(sizeof(THandoverRecord) == 14 * sizeof(void*), "the record is written as fixed words");

// The last ten exception times (whole seconds, UTC), newest first; 0 marks an empty slot.
class TExceptionHistory {
public:
  static constexpr int kSize = 10;
  void Push(std::int64_t seconds);
  std::int64_t At(int index) const { return FTimes.at(std::size_t(index)); }
  // `AutoClose`/`AutoRestart`: 0 never, 1 always, N > 1 when all ten slots hold times at
  // most N seconds before `now` (the program is failing in a loop).
  bool AutoActionApplies(std::int32_t setting, std::int64_t now) const;

  std::array<std::int64_t, kSize> FTimes{};
};

// The 88-byte block handed to a restarted process: the old process id, the handle of the
// block as duplicated into the new process, and the history; all little-endian.
constexpr std::size_t kRestartBlockSize = 88;
struct TRestartBlock {
  std::uint32_t OldProcessId = 0;
  std::uint32_t BlockHandle = 0;  // handles fit in 32 bits on both architectures
  TExceptionHistory History;
};
std::array<std::uint8_t, kRestartBlockSize> EncodeRestartBlock(const TRestartBlock& block);
TRestartBlock DecodeRestartBlock(const std::uint8_t* bytes);

}  // namespace vm

// What the capture files share among themselves (Windows only). The public entry is
// CrashReporter.h; this header ties together the thread-name table, the thread hooks,
// the stack capture, the per-architecture registers and the handler thread.
#pragma once

#include <windows.h>

#include <csetjmp>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "crashreport/CrashReporter.h"
#include "crashreport/capture/CaptureLayouts.h"
#include "crashreport/capture/CrashFacts.h"
#include "crashreport/capture/FrameWalk.h"
#include "crashreport/capture/SymbolTable.h"
#include "crashreport/report/BugReportFile.h"

namespace vm::capture {

// ---- per architecture (Registers_x86.cpp or Registers_x64.cpp, chosen by the build) ----
TThreadRegisters RegistersOf(const CONTEXT& context);
// A thread's addresses from its context, innermost first (the current address, then each
// return address), into `frames` (room for kMaxStackFrames made by the caller: nothing is
// allocated). Reads the stack only through ReadStackWord and never at or beyond
// `stackEnd`, the end of the committed region that holds the stack pointer.
void WalkStack(const CONTEXT& context, std::uintptr_t stackEnd, std::vector<std::uintptr_t>& frames);
// The loader lock as the process block points to it, or nullptr.
const RTL_CRITICAL_SECTION* LoaderLock();
// The head of the calling thread's chain of stack-based exception handlers (32-bit; none
// on 64-bit), and putting it back after a guard dropped the frames below it.
void* FrameChain();
void RestoreFrameChain(void* chain);
// Makes `context` resume where `jump` was set, with setjmp returning 1: the registers that
// setjmp keeps, the others left as they are.
void ResumeAtJump(CONTEXT& context, const jmp_buf& jump);
// The process environment block, or nullptr (ThreadNames_win32.cpp).
const BYTE* ProcessBlock();
// True while any thread, the caller included, holds the loader lock: no thread could
// start and no library load then. The owner's thread id, or 0.
bool LoaderLockHeld();
DWORD LoaderLockOwner();

// ---- guards around the items of a report (FaultGuard_win32.cpp) ----
// Made at install: the slot that finds a thread's innermost guard.
void EnableFaultGuards();
// Runs `item`; false when it threw or faulted. Every guard counts as progress.
bool RunGuarded(const char* step, void (*item)(void*), void* context);
template <class F>
bool Guarded(const char* step, F&& item) {
  using TItem = std::remove_reference_t<F>;
  return RunGuarded(
      step, [](void* f) { (*static_cast<TItem*>(f))(); }, &item);
}
// Called by the unhandled-exception filter: true when the fault came from inside a guard
// of this thread, which the context now resumes.
bool RecoverGuardedFault(EXCEPTION_POINTERS* info);
struct TGuardFault {
  DWORD Code = 0;  // 0: a C++ exception
  std::uintptr_t Address = 0;
  const char* Step = "";
};
TGuardFault LastGuardFault();
// Progress of the report being composed: guards, handler calls, walked threads.
void NoteProgress();
unsigned ProgressCount();
// The name of the innermost item running now, for the line of a report cut short.
const char* CurrentStep();
void SetCurrentStep(const char* step);

// ---- thread-name table (ThreadNames_win32.cpp) ----
// Opens or creates the process's block; false when neither works.
bool OpenThreadNameTable();
void RegisterThread(DWORD id, const char* name, const char* className, std::uintptr_t creatorAddress, DWORD creatorId);
void UnregisterThread(DWORD id);
struct TThreadName {
  std::string Name, ClassName;
  std::uintptr_t CreatorAddress = 0;
  DWORD CreatorId = 0;
};
// Nothing when the thread is not in the table or the table stays locked for 50 ms.
std::optional<TThreadName> LookUpThread(DWORD id, bool* timedOut = nullptr);

// ---- thread entry hooks (ThreadHooks_win32.cpp) ----
void HookThreadEntries();

// ---- stacks and symbols (StackCapture_win32.cpp) ----
// One machine word, only from memory that VirtualQuery shows committed and readable.
bool ReadStackWord(std::uintptr_t address, std::uintptr_t& value);
void LoadProgramSymbols(const std::string& programFile);
TStackItem DescribeAddress(std::uintptr_t address, bool returnAddress);
// The crashed thread's stack from its registers; every other thread of the process,
// suspended while it is walked, except the `skip` threads.
// Without `crashed` (a freeze) the first thread is walked like the others, suspended.
// The raw return addresses of a thread from its registers, innermost first.
std::vector<std::uintptr_t> RawStack(const CONTEXT& context);
std::vector<TThreadFacts> CaptureThreads(DWORD crashedId, const CONTEXT* crashed, DWORD mainId,
                                         const std::vector<DWORD>& skip, bool allThreads);

// ---- what survives a handling that cannot end as planned (Survival_win32.cpp) ----
// The reporter's temporary folder (ReporterTempFolder) is cleared at the start of every
// report, pending files aside.
void ClearTempFolder();
// The stall watchdog, made at install; armed for each hand-over with the thread that
// composes the report. StalledMs: how long that thread has made no progress.
bool StartStallWatchdog(HANDLE done, HANDLE showing);
void ArmStallWatchdog(DWORD composer);
void DisarmStallWatchdog();
// The thread composing a report just now, or 0.
DWORD ComposingThread();
DWORD StallLimit();
DWORD StalledMs();
// One report's life (EndReport drops one that is not to be kept): the minimal report first, then the text as it grows;
// complete, it is also kept in the pending file until EndReport. The bug-report file, its rules and the freeze message
// of the program's own settings, noted at install: a report begun before its exception's settings are read goes there.
void NoteReportDefaults(const std::string& bugRepPath, const TBugRepFileRules& rules, const std::string& frozenMsg);
std::string DefaultFrozenMsg();
void BeginReport(const std::string& minimal);
// The exception's own settings, once read: where its report goes.
void RetargetReport(const std::string& bugRepPath, const TBugRepFileRules& rules);
void PublishReport(const std::string& text, bool complete);
void MarkReportSaved();
// Sends name the report they carry (CurrentReport when they start): one that ends late
// marks nothing of a later report.
unsigned CurrentReport();
void MarkReportSent(unsigned report);
void EndReport();
// The report as far as it got, marked incomplete with `why`, into the bug-report file
// (once; nothing when it is there already).
void SaveIncompleteReport(const std::string& why);
// At start: pending files that ended processes of this program left behind.
void FoldPendingReports(const TBugRepFileRules& rules);

// ---- the freeze watchdog (FreezeWatchdog_win32.cpp) ----
// Called on the main thread, whose message loop answers the watchdog.
bool StartFreezeWatchdog(int timeoutMs);
void StopFreezeWatchdog();
// No rounds while an exception is handed over; resuming starts the count over.
void PauseFreezeWatchdog();
void ResumeFreezeWatchdog();

// ---- the reporter (Reporter_win32.cpp, Handler_win32.cpp, RecordEffects_win32.cpp) ----
// Everything that catches exceptions, made before the program's own static objects; the
// second stage, once the program runs, adds the toolkit's funnel and the freeze watchdog.
// Both may be called again.
void InstallCapturePoints();
void InstallProgramStage();
// Reports a freeze of the main thread, unless an exception is being handled just now.
void HandOverFreeze();
struct TCaughtException {
  std::exception_ptr Error;
  std::string ClassName, Message;
  bool Silent = false;  // EAbort and its descendants
};
TCaughtException DescribeCaught(std::exception_ptr error);
// Class and message of a system exception.
void DescribeSystemException(const EXCEPTION_RECORD& record, std::string& className, std::string& message);

// State the reporter needs is ready before any static object is made and never destroyed:
// exceptions thrown while static objects are made, or end at exit, still need it,
// whichever order the runtime takes them in.
template <class T>
union TEverLasting {
  constexpr TEverLasting() : Value() {}
  ~TEverLasting() {}
  T Value;
};

// Made in advance at install: the handler thread with its pipe.
bool StartHandlerThread();
DWORD HandlerThreadId();
HANDLE HandlerThreadHandle();
HANDLE HandlerPipe();
// Set when the handler has the report done and shows its box: from then on the wait is
// the user's, before it a handler that takes too long is stuck.
HANDLE HandlerShowingEvent();
// Runs one record on the calling thread (the handler thread, or a blocked process's
// faulting thread).
void ProcessRecord(const THandoverRecord& record);
// The time history, taken over from a restarted predecessor at start.
TExceptionHistory& History();
// Every handler the program registered; one that throws or faults is left out.
void CallRegisteredHandlers(THandlerCall& call);
// Starts the program again, hands it the time history, and ends this process.
void RestartProgram();
DWORD ProgramMainThreadId();
void TakeOverRestartBlock();

}  // namespace vm::capture

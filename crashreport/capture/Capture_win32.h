// What the capture files share among themselves (Windows only). The public entry is
// CrashReporter.h; this header ties together the thread-name table, the thread hooks,
// the stack capture, the per-architecture registers and the handler thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "crashreport/capture/CaptureLayouts.h"
#include "crashreport/capture/CrashFacts.h"
#include "crashreport/capture/FrameWalk.h"
#include "crashreport/capture/SymbolTable.h"

namespace vm::capture {

// ---- per architecture (Registers_x86.cpp or Registers_x64.cpp, chosen by the build) ----
TThreadRegisters RegistersOf(const CONTEXT& context);
// A thread's addresses from its context, innermost first (the current address, then each
// return address). Reads the stack only through ReadStackWord and never at or beyond
// `stackEnd`, the end of the committed region that holds the stack pointer.
std::vector<std::uintptr_t> WalkStack(const CONTEXT& context, std::uintptr_t stackEnd);
// The process environment block, or nullptr (ThreadNames_win32.cpp).
const BYTE* ProcessBlock();
// True while any thread, the caller included, holds the loader lock: no thread could
// start and no library load then.
bool LoaderLockHeld();

// ---- thread-name table (ThreadNames_win32.cpp) ----
// Opens or creates the process's block; false when neither works.
bool OpenThreadNameTable();
void RegisterThread(DWORD id, const char* name, const char* className, std::uintptr_t creatorAddress,
                    DWORD creatorId);
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
std::vector<TThreadFacts> CaptureThreads(DWORD crashedId, const CONTEXT* crashed, DWORD mainId,
                                        const std::vector<DWORD>& skip, bool allThreads);

// ---- the freeze watchdog (FreezeWatchdog_win32.cpp) ----
// Called on the main thread, whose message loop answers the watchdog.
bool StartFreezeWatchdog(int timeoutMs);
void StopFreezeWatchdog();
// No rounds while an exception is handed over; resuming starts the count over.
void PauseFreezeWatchdog();
void ResumeFreezeWatchdog();

// ---- the reporter (Reporter_win32.cpp, Handler_win32.cpp) ----
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
DWORD ProgramMainThreadId();
void TakeOverRestartBlock();

}  // namespace vm::capture

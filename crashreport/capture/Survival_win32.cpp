// What keeps a report when its handling cannot end as planned. Three things:
// - The text composed so far, published by the composing thread after each step, and
//   the minimal report (the exception and the faulting thread's raw addresses) before it.
// - The stall watchdog, a thread made at install: while a report is composed, a composing
//   thread that makes no progress for the stall limit (no item begun or ended, no processor
//   time spent, no window of its own shown, such as a handler's question) has its text
//   saved to the bug-report file, marked incomplete, and the process ends with code 1.
//   Once the box is up, the wait is the user's and the watchdog rests.
// - The pending file: a complete report is also written, in one step, to a file of the
//   process's own in the temporary folder, with whether it was saved or sent; it goes when
//   the handling ends, and the next start folds one left behind into the bug-report file.
#include <windows.h>

#include "base/Exception.h"
#include "base/FileIO.h"
#include "base/Text.h"
#include "crashreport/CrashReporter.h"
#include "crashreport/capture/Capture_win32.h"
#include "crashreport/delivery/DeliverySystem.h"
#include "crashreport/report/PendingReport.h"
#include "crashreport/report/ReportText.h"

namespace vm::capture {

namespace {

// Where a report goes while this exception's own settings are not read yet.
char DefaultPath[MAX_PATH] = "", FrozenMsg[256] = "";
TBugRepFileRules DefaultRules;

std::uint64_t StartTimeOf(HANDLE process) {
  FILETIME created{}, ended{}, kernel{}, user{};
  if (!GetProcessTimes(process, &created, &ended, &kernel, &user)) return 0;
  return (std::uint64_t(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

CRITICAL_SECTION Lock;      // over the report state
unsigned ReportNumber = 0;  // counts the reports begun
struct TReportState {
  bool Active = false, Complete = false, Saved = false, Sent = false;
  std::string Minimal, Composed, BugRepPath, PendingPath;
  TBugRepFileRules Rules;
} State;

// The lock, but never for ever: the thread that holds it may be the stuck one.
bool TakeLock() {
  for (int i = 0; i < 100; ++i) {
    if (TryEnterCriticalSection(&Lock)) return true;
    Sleep(10);
  }
  return false;
}

// With the lock held. A failed write leaves the previous pending file, or none.
void WritePending() {
  if (!State.Complete) return;
  TPendingReport pending;
  pending.Program = ProgramPath();
  pending.ProcessId = GetCurrentProcessId();
  pending.ProcessStart = StartTimeOf(GetCurrentProcess());
  pending.BugReportFile = State.BugRepPath;
  pending.Saved = State.Saved;
  pending.Sent = State.Sent;
  pending.Report = State.Composed;
  std::string folder = ReporterTempFolder();
  CreateFolder(folder);
  State.PendingPath = folder + "\\" + PendingFileName(GetCurrentProcessId());
  try {
    ReplaceFileContents(State.PendingPath, EncodePendingReport(pending));
  } catch (const Exception&) {
  }
}

DWORD StallLimitMs = 30000;
HANDLE Arm = nullptr, Done = nullptr, Showing = nullptr;
volatile DWORD Composer = 0;  // while a report is composed
DWORD WatchedId = 0;
HANDLE ComposerHandle = nullptr;
volatile LONGLONG LastProgressTick = 0;

std::uint64_t CpuTimeOf(HANDLE thread) {
  FILETIME created{}, ended{}, kernel{}, user{};
  if (!thread || !GetThreadTimes(thread, &created, &ended, &kernel, &user)) return 0;
  return ((std::uint64_t(kernel.dwHighDateTime) << 32) | kernel.dwLowDateTime) +
         ((std::uint64_t(user.dwHighDateTime) << 32) | user.dwLowDateTime);
}

BOOL CALLBACK CountVisible(HWND window, LPARAM count) {
  if (IsWindowVisible(window)) ++*reinterpret_cast<int*>(count);
  return TRUE;
}
int VisibleWindows(DWORD thread) {
  int count = 0;
  EnumThreadWindows(thread, CountVisible, reinterpret_cast<LPARAM>(&count));
  return count;
}

// Watches one handling until it is done or its box is up. A window counts when it came
// with the handling (a handler's question): a composing main thread has its own all along.
void WatchHandling() {
  HANDLE ends[2] = {Done, Showing};
  unsigned seen = ProgressCount();
  std::uint64_t cpu = CpuTimeOf(ComposerHandle);
  const int windowsBefore = VisibleWindows(WatchedId);
  while (WaitForMultipleObjects(2, ends, FALSE, 100) == WAIT_TIMEOUT) {
    unsigned now = ProgressCount();
    std::uint64_t used = CpuTimeOf(ComposerHandle);
    if (now != seen || used != cpu || VisibleWindows(WatchedId) > windowsBefore)
      LastProgressTick = LONGLONG(GetTickCount64());
    seen = now;
    cpu = used;
    if (StalledMs() < StallLimitMs) continue;
    SaveIncompleteReport(FormatText("the reporter made no progress for %lu seconds in %s; the program was ended",
                                    static_cast<unsigned long>(StallLimitMs / 1000),
                                    *CurrentStep() ? CurrentStep() : "its own work"));
    TerminateProcess(GetCurrentProcess(), 1);
  }
}

DWORD WINAPI WatchdogMain(LPVOID) {
  RegisterThread(GetCurrentThreadId(), "-", nullptr, 0, 0);
  // Idle until armed: waiting here holds nothing up.
  while (WaitForSingleObject(Arm, INFINITE) == WAIT_OBJECT_0) WatchHandling();
  return 0;
}

}  // namespace

void ClearTempFolder() {
  std::string folder = ReporterTempFolder();
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      // Pending files belong to their processes, or wait for the next start.
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !IsPendingFileName(found.cFileName))
        RemoveFile(folder + "\\" + found.cFileName);
    } while (FindNextFileA(find, &found));
    FindClose(find);
  }
  RemoveDirectoryA(folder.c_str());
}

bool StartStallWatchdog(HANDLE done, HANDLE showing) {
  InitializeCriticalSection(&Lock);
  Done = done;
  Showing = showing;
  Arm = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  HANDLE thread = Arm ? CreateThread(nullptr, 64 * 1024, WatchdogMain, nullptr, 0, nullptr) : nullptr;
  if (thread) CloseHandle(thread);
  return thread != nullptr;
}

void ArmStallWatchdog(DWORD composer) {
  if (WatchedId != composer) {
    if (ComposerHandle) CloseHandle(ComposerHandle);
    ComposerHandle = OpenThread(THREAD_QUERY_INFORMATION, FALSE, composer);
    WatchedId = composer;
  }
  Composer = composer;
  LastProgressTick = LONGLONG(GetTickCount64());
  SetEvent(Arm);
}
void DisarmStallWatchdog() { Composer = 0; }

DWORD ComposingThread() { return Composer; }
DWORD StallLimit() { return StallLimitMs; }
DWORD StalledMs() { return DWORD(GetTickCount64() - ULONGLONG(LastProgressTick)); }

void NoteReportDefaults(const std::string& bugRepPath, const TBugRepFileRules& rules, const std::string& frozenMsg) {
  lstrcpynA(DefaultPath, bugRepPath.c_str(), MAX_PATH);
  lstrcpynA(FrozenMsg, frozenMsg.c_str(), sizeof FrozenMsg);
  DefaultRules = rules;
}
std::string DefaultFrozenMsg() { return FrozenMsg; }

void BeginReport(const std::string& minimal) {
  EnterCriticalSection(&Lock);
  ++ReportNumber;
  State = {};
  State.Active = true;
  State.Minimal = minimal;
  State.BugRepPath = DefaultPath;
  State.Rules = DefaultRules;
  LeaveCriticalSection(&Lock);
}

void RetargetReport(const std::string& bugRepPath, const TBugRepFileRules& rules) {
  EnterCriticalSection(&Lock);
  State.BugRepPath = bugRepPath;
  State.Rules = rules;
  LeaveCriticalSection(&Lock);
}

void PublishReport(const std::string& text, bool complete) {
  NoteProgress();
  EnterCriticalSection(&Lock);
  State.Composed = text;
  State.Complete = complete;
  WritePending();
  LeaveCriticalSection(&Lock);
}

void MarkReportSaved() {
  EnterCriticalSection(&Lock);
  State.Saved = true;
  WritePending();
  LeaveCriticalSection(&Lock);
}

unsigned CurrentReport() { return ReportNumber; }

void MarkReportSent(unsigned report) {
  EnterCriticalSection(&Lock);
  if (report == ReportNumber) State.Sent = true;
  WritePending();
  LeaveCriticalSection(&Lock);
}

void EndReport() {
  EnterCriticalSection(&Lock);
  if (!State.PendingPath.empty()) RemoveFile(State.PendingPath);
  State = {};
  LeaveCriticalSection(&Lock);
}

void SaveIncompleteReport(const std::string& why) {
  if (!TakeLock()) return;
  if (State.Active && !State.Saved) {
    // A complete report is whole as it stands; anything less says where it stopped.
    std::string text = State.Complete ? State.Composed : IncompleteReportText(State.Composed, State.Minimal, why);
    if (SaveBugReport(State.BugRepPath, text, State.Rules) == TSaveResult::Saved) {
      State.Saved = true;
      // Saved now: the next start has nothing left to fold.
      if (!State.PendingPath.empty()) RemoveFile(State.PendingPath);
    }
  }
  LeaveCriticalSection(&Lock);
}

void FoldPendingReports(const TBugRepFileRules& rules) {
  std::string folder = ReporterTempFolder(), program = ProgramPath();
  auto running = [](const TPendingReport& p) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, p.ProcessId);
    if (!process) return false;
    DWORD code = 0;
    bool alive = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE && StartTimeOf(process) == p.ProcessStart;
    CloseHandle(process);
    return alive;
  };
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((folder + "\\pending-*.txt").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsPendingFileName(found.cFileName))
      FoldPendingReport(folder + "\\" + found.cFileName, program, running, rules);
  } while (FindNextFileA(find, &found));
  FindClose(find);
}

}  // namespace vm::capture

namespace vm {

void SetReporterStallLimit(unsigned milliseconds) { capture::StallLimitMs = milliseconds; }

}  // namespace vm

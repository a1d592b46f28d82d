// Hardware faults inside the reporter's own work. Each item of a report (a header row, a
// section, a handler call, the screenshot, one thread's walk) runs under a guard. A C++
// exception in it is caught as usual; a hardware fault (an access violation in a handler,
// a stack walk over a bad frame) reaches the unhandled-exception filter, which resumes the
// thread where the guard began, with the item marked failed. Only faults that nothing else
// handles come here: a system function that probes memory under its own handler keeps
// its behaviour. The resume point is a setjmp at the guard's entry; the filter puts its
// registers into the fault's context (Registers_x86.cpp, Registers_x64.cpp), as a long jump
// without unwinding would: the item's frames are dropped, what they held (memory, locks of
// a damaged heap) stays lost, and the rest of the report goes on.
#include <windows.h>

#include <atomic>
#include <csetjmp>

#include "crashreport/capture/Capture_win32.h"

namespace vm::capture {

namespace {

struct TFaultGuard {
  jmp_buf Resume;         // the registers at the guard's entry
  void* FrameChain;       // the thread's handler chain then (32-bit only)
  TFaultGuard* Outer;     // guards nest: a handler call inside a section
  volatile LONG Faulted;  // set by the filter before it resumes
};

DWORD GuardSlot = TLS_OUT_OF_INDEXES;
std::atomic<unsigned> Progress{0};
const char* volatile Step = "";
TGuardFault LastFault;

TFaultGuard* CurrentGuard() {
  return GuardSlot == TLS_OUT_OF_INDEXES ? nullptr : static_cast<TFaultGuard*>(TlsGetValue(GuardSlot));
}
void SetCurrentGuard(TFaultGuard* guard) {
  if (GuardSlot != TLS_OUT_OF_INDEXES) TlsSetValue(GuardSlot, guard);
}

}  // namespace

void EnableFaultGuards() {
  if (GuardSlot == TLS_OUT_OF_INDEXES) GuardSlot = TlsAlloc();
  FrameChain();  // finds what it needs of the system now, not in the middle of a fault
}

void NoteProgress() { ++Progress; }
unsigned ProgressCount() { return Progress.load(); }
const char* CurrentStep() { return Step; }
void SetCurrentStep(const char* step) { Step = step; }
TGuardFault LastGuardFault() { return LastFault; }

bool RunGuarded(const char* step, void (*item)(void*), void* context) {
  TFaultGuard guard;
  guard.Outer = CurrentGuard();
  guard.FrameChain = FrameChain();
  guard.Faulted = 0;
  const char* outerStep = Step;
  NoteProgress();
  // Comes back here a second time, from the filter, when the item faults.
  if (setjmp(guard.Resume)) {
    RestoreFrameChain(guard.FrameChain);
    SetCurrentGuard(guard.Outer);
    Step = outerStep;
    NoteProgress();
    return false;
  }
  SetCurrentGuard(&guard);
  Step = step;
  bool done = true;
  try {
    item(context);
  } catch (...) {
    done = false;
    LastFault = {};
  }
  SetCurrentGuard(guard.Outer);
  Step = outerStep;
  NoteProgress();
  return done;
}

bool RecoverGuardedFault(EXCEPTION_POINTERS* info) {
  TFaultGuard* guard = CurrentGuard();
  // A fault while the guard resumes is not taken again: the caller's last resort follows.
  if (!guard || guard->Faulted) return false;
  LastFault.Code = info->ExceptionRecord->ExceptionCode;
  LastFault.Address = reinterpret_cast<std::uintptr_t>(info->ExceptionRecord->ExceptionAddress);
  LastFault.Step = Step;
  guard->Faulted = 1;
  ResumeAtJump(*info->ContextRecord, guard->Resume);
  return true;
}

}  // namespace vm::capture

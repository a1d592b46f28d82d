// Installation and the capture points: everything that hands an exception to the handler
// thread. A faulting thread does as little as it can: it fills a fixed record on its own
// stack, writes it into the handler's pipe and waits. After a stack overflow that is all
// there is room for; a main thread with room pumps its messages meanwhile, so that the
// program's windows keep painting under the error box.
#include <windows.h>

#include <csignal>
#include <cstdlib>
#include <new>

#include "base/Exception.h"
#include "base/FileIO.h"
#include "base/Text.h"
#include "crashreport/CrashReporter.h"
#include "crashreport/capture/Capture_win32.h"
#include "crashreport/capture/FileCheck.h"
#include "crashreport/report/BugReportFile.h"
#include "crashreport/report/HeaderFacts.h"
#include "crashreport/settings/CrashSettings.h"
#include "crashreport/settings/CrashSettingsSystem.h"
#include "toolkit/Application_win32.h"
#include "toolkit/Thread_win32.h"

namespace vm::capture {

namespace {

bool Installed = false;
LARGE_INTEGER StartCounter{};  // for "program up time"
DWORD MainThreadId = 0;
CRITICAL_SECTION Gate;       // one exception at a time
DWORD GateOwner = 0;         // the thread handing over now; a nested fault there is not reported
HANDLE DoneEvent = nullptr;  // made in advance: after an overflow there is no room to make one

// The emergency reserve: given back on entry so that a report can be built when memory
// has run out, taken again afterwards.
constexpr SIZE_T kReserveBytes = 4u << 20, kCommitBytes = 512u << 10;
void* Reserve[8] = {};

void TakeReserve() {
  for (int i = 0; i < 4; ++i) {
    if (!Reserve[i]) Reserve[i] = VirtualAlloc(nullptr, kReserveBytes, MEM_RESERVE, PAGE_NOACCESS);
    if (!Reserve[4 + i]) Reserve[4 + i] = VirtualAlloc(nullptr, kCommitBytes, MEM_COMMIT, PAGE_NOACCESS);
  }
}

void ReleaseReserve() {
  for (void*& region : Reserve) {
    if (region) VirtualFree(region, 0, MEM_RELEASE);
    region = nullptr;
  }
}

// The loader lock held for 250 ms (polled every 10 ms): no thread could start, and the
// handler thread could not load what showing a box needs.
bool ProcessBlocked() {
  for (int i = 0; i < 25; ++i) {
    if (!LoaderLockHeld()) return false;
    Sleep(10);
  }
  return true;
}

// Waits for the handler to be done with the record; the main thread pumps its messages
// meanwhile (a quit message ends nothing here and is posted again afterwards). Once the box
// is up the wait is the user's and has no limit of its own. Before it, the stall watchdog
// saves and ends a handling without progress; should its save hang as well, this wait ends
// the process a little later by the same rule.
constexpr DWORD kSaveGraceMs = 15000;
void WaitForHandler(HANDLE done, bool pump) {
  HANDLE waits[3] = {done, HandlerThreadHandle(), HandlerShowingEvent()};
  bool showing = false, quit = false;
  WPARAM quitCode = 0;
  for (;;) {
    const DWORD count = showing ? 2 : 3;
    DWORD rc = pump ? MsgWaitForMultipleObjects(count, waits, FALSE, 100, QS_ALLINPUT)
                    : WaitForMultipleObjects(count, waits, FALSE, showing ? INFINITE : 1000);
    if (rc == WAIT_OBJECT_0 || rc == WAIT_OBJECT_0 + 1 || rc == WAIT_FAILED) break;
    if (rc == WAIT_OBJECT_0 + 2 && !showing) {
      showing = true;
      continue;
    }
    if (!showing && StalledMs() >= StallLimit() + kSaveGraceMs) TerminateProcess(GetCurrentProcess(), 1);
    MSG msg;
    while (pump && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        quit = true;
        quitCode = msg.wParam;
        continue;
      }
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  if (quit) PostQuitMessage(int(quitCode));
}

// The handling entry: false when the exception was not handed over (the reporter is not
// installed, this is its own thread, or a fault nested in a hand-over).
bool HandOver(THandoverRecord& record, bool lowOnStack) {
  DWORD self = GetCurrentThreadId();
  if (!Installed || self == HandlerThreadId() || GateOwner == self) return false;
  EnterCriticalSection(&Gate);
  GateOwner = self;
  PauseFreezeWatchdog();
  ReleaseReserve();
  record.DoneEvent = reinterpret_cast<std::uintptr_t>(DoneEvent);
  ResetEvent(DoneEvent);
  ResetEvent(HandlerShowingEvent());
  bool handed = true;
  if (!lowOnStack && ProcessBlocked()) {
    ArmStallWatchdog(self);
    try {
      ProcessRecord(record);
    } catch (...) {
      // The faulting thread goes on to its end in any case.
    }
    SetEvent(DoneEvent);
  } else {
    ArmStallWatchdog(HandlerThreadId());
    DWORD written = 0;
    handed = WriteFile(HandlerPipe(), &record, sizeof record, &written, nullptr) && written == sizeof record;
    if (handed)
      WaitForHandler(DoneEvent, self == MainThreadId && !lowOnStack);
    else
      SetEvent(DoneEvent);  // nothing to watch
  }
  DisarmStallWatchdog();
  TakeReserve();
  ResumeFreezeWatchdog();
  GateOwner = 0;
  LeaveCriticalSection(&Gate);
  return handed;
}

// The module that holds `address`, found without the loader lock: a fault may come while
// another thread holds it for ever.
std::uintptr_t ModuleOf(std::uintptr_t address) {
  MEMORY_BASIC_INFORMATION info;
  if (!VirtualQuery(reinterpret_cast<void*>(address), &info, sizeof info) || info.Type != MEM_IMAGE) return 0;
  return reinterpret_cast<std::uintptr_t>(info.AllocationBase);
}

// A fault of the reporter's own composing thread outside every item: the report as far as it
// got is saved, marked incomplete, and the process ends as after any fault. The save runs
// under a guard of its own, since what failed may fail again.
[[noreturn]] void EndAfterOwnFault(const EXCEPTION_RECORD& er) {
  std::string why =
      FormatText("internal error in %s (exception %08lX at %08llX); the program was ended",
                 *CurrentStep() ? CurrentStep() : "the reporter", static_cast<unsigned long>(er.ExceptionCode),
                 static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(er.ExceptionAddress)));
  Guarded("the last save", [&] { SaveIncompleteReport(why); });
  TerminateProcess(GetCurrentProcess(), 1);
  for (;;) Sleep(INFINITE);
}

LONG WINAPI UnhandledFilter(EXCEPTION_POINTERS* info) {
  if (RecoverGuardedFault(info)) return EXCEPTION_CONTINUE_EXECUTION;
  if (Installed && GetCurrentThreadId() == ComposingThread()) EndAfterOwnFault(*info->ExceptionRecord);
  const EXCEPTION_RECORD* er = info->ExceptionRecord;
  TThreadRegisters regs = RegistersOf(*info->ContextRecord);
  THandoverRecord record{};
  record.ThreadId = GetCurrentThreadId();
  record.Type = std::uintptr_t(TExceptionType::Exception);
  record.Address = reinterpret_cast<std::uintptr_t>(er->ExceptionAddress);
  record.StackPointer = regs.StackPointer;
  record.FramePointer = regs.FramePointer;
  record.Context = reinterpret_cast<std::uintptr_t>(info->ContextRecord);
  record.Source = std::uintptr_t(TCaptureSource::UnhandledFilter);
  record.Related = reinterpret_cast<std::uintptr_t>(er);
  bool overflow = er->ExceptionCode == EXCEPTION_STACK_OVERFLOW;
  if (!overflow) record.Module = ModuleOf(record.Address);
  // Returning means the reporter could not take the exception: the system's own end follows.
  return HandOver(record, overflow) ? EXCEPTION_EXECUTE_HANDLER : EXCEPTION_CONTINUE_SEARCH;
}

// Hands over a caught exception or a runtime failure, with the caller's registers.
void HandOverCaught(TCaughtException& caught, TCaptureSource source, bool canContinue) {
  if (caught.Silent) {
    if (!canContinue) TerminateProcess(GetCurrentProcess(), 1);
    return;
  }
  CONTEXT context{};
  RtlCaptureContext(&context);
  TThreadRegisters regs = RegistersOf(context);
  THandoverRecord record{};
  record.ThreadId = GetCurrentThreadId();
  record.Type = std::uintptr_t(TExceptionType::Exception);
  record.ExceptionObject = reinterpret_cast<std::uintptr_t>(&caught);
  record.Address = regs.ProgramCounter;
  record.CanContinue = canContinue;
  record.StackPointer = regs.StackPointer;
  record.FramePointer = regs.FramePointer;
  record.Context = reinterpret_cast<std::uintptr_t>(&context);
  record.Source = std::uintptr_t(source);
  record.Module = ModuleOf(record.Address);
  HandOver(record, false);
}

// A failure that carries no exception object; the process cannot go on after it.
void ReportFailure(const char* className, const char* message, TCaptureSource source) {
  TCaughtException caught;
  caught.ClassName = className;
  caught.Message = message;
  HandOverCaught(caught, source, false);
  TerminateProcess(GetCurrentProcess(), 1);
}

void OnTerminate() {
  if (std::exception_ptr error = std::current_exception()) {
    TCaughtException caught = DescribeCaught(error);
    HandOverCaught(caught, TCaptureSource::Terminate, false);
    TerminateProcess(GetCurrentProcess(), 1);
  }
  ReportFailure("ETerminate", "The program ended through std::terminate.", TCaptureSource::Terminate);
}

void OnAbortSignal(int) { ReportFailure("EAbnormalEnd", "The program called abort().", TCaptureSource::Abort); }

void OnInvalidParameter(const wchar_t*, const wchar_t*, const wchar_t*, unsigned, std::uintptr_t) {
  ReportFailure("EInvalidParameter", "A runtime function was called with an invalid parameter.",
                TCaptureSource::InvalidParameter);
}

void OnOutOfMemory() { ReportFailure("EOutOfMemory", "Out of memory.", TCaptureSource::OutOfMemory); }

// `CheckFileCrc`: the program file as shipped, against the stamp it carries.
void CheckProgramFile(const TICrashSettings& settings) {
  std::string file;
  try {
    file = ReadFileDenyWrite(ProgramPath());
  } catch (...) {
    return;  // an unreadable file is no proof of damage
  }
  if (CheckFileCrc(file) == TFileCheck::Corrupt)
    MessageBoxA(nullptr, settings.BitFaultMsg().c_str(), settings.TitleBar().c_str(),
                MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

// The runtime makes the locks of its number formatting on first use and registers their
// cleanup with exit then. Registering takes the lock that exit holds while static objects
// end, so the first report composed during exit would wait for ever: make them now.
void PrepareNumberFormatting() {
  volatile double sample = 1.5;
  FormatText("%.1f", double(sample));
}

// The capture points of the runtime and the system; taken last, when the handler thread
// is ready for them.
void TakeOverRuntimeFailures() {
  std::set_terminate(OnTerminate);
  std::set_new_handler(OnOutOfMemory);
  std::signal(SIGABRT, OnAbortSignal);
  // The toolchain's own copy of this setter only keeps the handler for its own checks;
  // the runtime library's checks call the one registered inside that library.
  _set_invalid_parameter_handler(OnInvalidParameter);
  using TSetHandler = _invalid_parameter_handler(__cdecl*)(_invalid_parameter_handler);
  if (auto set = reinterpret_cast<TSetHandler>(
          reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("msvcrt.dll"), "_set_invalid_parameter_handler"))))
    set(OnInvalidParameter);
  SetUnhandledExceptionFilter(UnhandledFilter);
}

}  // namespace

DWORD ProgramMainThreadId() { return MainThreadId; }

void HandOverFreeze() {
  // An exception handed over just now keeps the main thread waiting: that is no freeze.
  if (!Installed || !TryEnterCriticalSection(&Gate)) return;
  THandoverRecord record{};
  record.ThreadId = GetCurrentThreadId();
  record.Type = std::uintptr_t(TExceptionType::Freeze);
  record.CanContinue = 1;
  record.Source = std::uintptr_t(TCaptureSource::FreezeWatchdog);
  HandOver(record, false);
  LeaveCriticalSection(&Gate);
}

void InstallCapturePoints() {
  static bool attempted = false;
  if (attempted) return;
  attempted = true;
  MainThreadId = GetCurrentThreadId();
  NoteProgramPath();
  QueryPerformanceCounter(&StartCounter);
  NoteReporterStart();
  auto settings = SettingsForModule(CrashSystem().ExeModule());
  if (!settings->Valid() || !settings->Enabled()) return;
  if (settings->CheckFileCrc()) CheckProgramFile(*settings);
  TakeOverRestartBlock();
  if (!OpenThreadNameTable()) {
    CrashSystem().ShowInternalError("internal error (opening global buffer)");
    ExitProcess(1);
  }
  RegisterThread(MainThreadId, "main thread", nullptr, 0, 0);
  InitializeCriticalSection(&Gate);
  DoneEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  LoadProgramSymbols(ProgramPath());
  PrepareNumberFormatting();
  EnableFaultGuards();
  if (!DoneEvent || !StartHandlerThread() || !StartStallWatchdog(DoneEvent, HandlerShowingEvent())) return;
  NoteReportDefaults(BugRepFilePath(*settings, FolderOf(ProgramPath())), BugRepFileRules(*settings),
                     settings->FrozenMsg());
  FoldPendingReports(BugRepFileRules(*settings));
  TakeReserve();
  LoaderLockHeld();  // finds the process block now, not in the middle of a fault
  HookThreadEntries();
  TThread::SetStartHook([](const char* className) { RegisterThread(GetCurrentThreadId(), nullptr, className, 0, 0); });
  TakeOverRuntimeFailures();
  Installed = true;
}

void InstallProgramStage() {
  static bool done = false;
  if (!Installed || done) return;
  done = true;
  // Window procedures and other callbacks catch at their boundary and call the funnel;
  // what reaches it there may go on after the report.
  Application.SetExceptionHandler(
      [](std::exception_ptr error) { ReportCaughtException(error, TCaptureSource::Funnel, true); });
  auto settings = SettingsForModule(CrashSystem().ExeModule());
  if (settings->CheckFreeze() && StartFreezeWatchdog(settings->FreezeTimeout())) std::atexit(StopFreezeWatchdog);
}

TCaughtException DescribeCaught(std::exception_ptr error) {
  TCaughtException caught;
  caught.Error = error;
  try {
    std::rethrow_exception(error);
  } catch (const Exception& e) {
    caught.ClassName = std::string(e.ClassName());
    caught.Message = e.Message();
    caught.Silent = e.InheritsFrom("EAbort");
  } catch (const std::bad_alloc& e) {
    caught.ClassName = "EOutOfMemory";
    caught.Message = e.what();
  } catch (const std::exception& e) {
    caught.ClassName = "Exception";
    caught.Message = e.what();
  } catch (...) {
    caught.ClassName = "EUnknownException";
    caught.Message = "An exception of an unknown type.";
  }
  return caught;
}

}  // namespace vm::capture

// Pure virtual calls end here instead of in the runtime's own message and abort.
extern "C" void __cxa_pure_virtual() {
  vm::capture::ReportFailure("EPureVirtualCall", "A pure virtual function was called.", vm::TCaptureSource::PureCall);
}

namespace vm {

bool CrashReporterInstalled() { return capture::Installed; }
std::int64_t ReporterStartCounter() { return capture::StartCounter.QuadPart; }

void ReportCaughtException(std::exception_ptr error, TCaptureSource source, bool canContinue) {
  capture::TCaughtException caught = capture::DescribeCaught(error);
  capture::HandOverCaught(caught, source, canContinue);
}

}  // namespace vm

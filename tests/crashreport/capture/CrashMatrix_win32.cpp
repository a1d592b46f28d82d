// The crash matrix: a small program that installs the reporter like veilmark.exe does,
// opens a window, and then fails in the way its argument names. Driven by
// test_crash_matrix.py, which checks the exit code, the report and the box of each case.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "base/Exception.h"
#include "crashreport/CrashReporter.h"
#include "crashreport/settings/CrashSettings.h"
#include "crashreport/settings/CrashSettingsSystem.h"
#include "toolkit/Application_win32.h"
#include "toolkit/Thread_win32.h"

// The base's constructor calls the pure function through a pointer the compiler cannot
// see through, so the call really goes through the base's table. Outside the anonymous
// namespace: there the compiler knows every derived class and drops the call.
struct TBase;
TBase* volatile Constructing = nullptr;
void CallPure();
struct TBase {
  TBase() {
    Constructing = this;
    CallPure();
  }
  virtual void Pure() = 0;
  virtual ~TBase() = default;
};
void CallPure() { Constructing->Pure(); }
struct TDerived : TBase {
  void Pure() override {}
};

namespace {

using namespace vm;

std::string Case;
HWND Window = nullptr;
LARGE_INTEGER FaultAt{};
constexpr UINT kThrowMessage = WM_APP + 1;

std::string BesideProgram(const char* name) {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string p = path;
  return p.substr(0, p.find_last_of('\\') + 1) + name;
}

void WriteNote(const char* name, const std::string& text) {
  if (FILE* f = std::fopen(BesideProgram(name).c_str(), "ab")) {
    std::fputs(text.c_str(), f);
    std::fclose(f);
  }
}

// Kept out of line and behind a volatile pointer so that the compiler keeps every fault.
int* volatile NullPointer = nullptr;
void WriteThroughNull() { *NullPointer = 1; }

// Deeper than any stack: the limit only keeps the compiler from calling this endless.
volatile int DepthLimit = 1 << 30;
int Recurse(int depth) {
  volatile char pad[4096];
  pad[0] = char(depth);
  return depth < DepthLimit ? Recurse(depth + 1) + pad[0] : 0;
}

// The class the shipped settings' first filter shows in the simple box.
class EDBEditError : public ExceptionClass<EDBEditError, Exception> {
public:
  static constexpr const char* kClassName = "EDBEditError";
  using ExceptionClass::ExceptionClass;
};

void ThrowError() { throw Exception("Thrown on purpose in a window procedure."); }

LRESULT CALLBACK WindowProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  // As the toolkit's forms do: catch at the boundary and hand over to the funnel.
  try {
    if (msg == kThrowMessage) {
      if (w == 1) throw EAbort("Aborted on purpose.");
      if (w == 2) throw EDBEditError("Field value required. Edit not saved.");
      ThrowError();
    }
  } catch (...) {
    Application.HandleException(std::current_exception());
    return 0;
  }
  return DefWindowProcA(h, msg, w, l);
}

void OpenWindow() {
  WNDCLASSA wc{};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hbrBackground = HBRUSH(COLOR_WINDOW + 1);
  wc.lpszClassName = "CrashMatrixWindow";
  RegisterClassA(&wc);
  Window = CreateWindowA("CrashMatrixWindow", "crash matrix", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 400, 200,
                         nullptr, nullptr, wc.hInstance, nullptr);
  UpdateWindow(Window);
}

DWORD WINAPI FaultingThread(LPVOID) {
  WriteThroughNull();
  return 0;
}
DWORD WINAPI OverflowThread(LPVOID) { return DWORD(Recurse(0)); }
DWORD WINAPI ThrowingThread(LPVOID) { throw Exception("Thrown on purpose in a second thread."); }
DWORD WINAPI IdleThread(LPVOID) {
  Sleep(60000);
  return 0;
}

// Runs `start` in a new thread and waits for it (the reporter ends the process first).
void InThread(LPTHREAD_START_ROUTINE start) {
  HANDLE h = CreateThread(nullptr, 0, start, nullptr, 0, nullptr);
  WaitForSingleObject(h, 60000);
}

char* volatile Kept = nullptr;  // an allocation the compiler may not leave out

// A static object whose end throws: the exception meets std::terminate at exit.
void (*volatile ThrowAtExit)() = nullptr;
struct TAtExit {
  ~TAtExit() {
    if (ThrowAtExit) ThrowAtExit();
  }
} AtExit;
void ThrowNow() { throw Exception("Thrown on purpose at exit."); }

// A static object of the program, made before main and after the reporter's capture points;
// main has not parsed the arguments yet, so it looks at the command line itself.
bool CommandLineEndsWith(const char* word) {
  std::string line = GetCommandLineA();
  while (!line.empty() && (line.back() == ' ' || line.back() == '"')) line.pop_back();
  return line.size() >= std::strlen(word) &&
         line.compare(line.size() - std::strlen(word), std::string::npos, word) == 0;
}
void ThrowInStaticObject() { throw Exception("Thrown on purpose while static objects are made."); }
struct TStaticObject {
  TStaticObject() {
    if (CommandLineEndsWith("static-throw")) ThrowInStaticObject();
    if (CommandLineEndsWith("static-fault")) WriteThroughNull();
  }
} StaticObject;

// The freeze case. With a freeze timeout of one second the watchdog asks every 100 ms: the
// main thread first stutters (short stalls, each answered in the end), then freezes until
// two freezes are reported, then answers again. Each report notes the phase it came in and
// how long after the phase began, or after the previous report ended.
const char* volatile FreezePhase = "";
volatile LONG FreezesReported = 0;
LARGE_INTEGER FreezeSince{};

double MsSince(const LARGE_INTEGER& since) {
  LARGE_INTEGER now, freq;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&freq);
  return double(now.QuadPart - since.QuadPart) * 1000.0 / double(freq.QuadPart);
}

void NoteFreeze(THandlerCall& call) {
  if (Case != "freeze") return;
  if (call.Phase == THandlerPhase::BeforeReport) {
    char line[96];
    std::snprintf(line, sizeof line, "%s %.0f\n", FreezePhase, MsSince(FreezeSince));
    WriteNote("freezes.txt", line);
  } else if (call.Phase == THandlerPhase::Continuing) {
    QueryPerformanceCounter(&FreezeSince);
    InterlockedIncrement(&FreezesReported);
  }
}

void PumpFor(DWORD ms) {
  const ULONGLONG end = GetTickCount64() + ms;
  MSG msg;
  while (GetTickCount64() < end) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  }
}

void StayFrozen() {
  for (int i = 0; i < 1500 && FreezesReported < 2; ++i) Sleep(20);
}

int FreezeAndThaw() {
  FreezePhase = "stuttering";
  QueryPerformanceCounter(&FreezeSince);
  for (int i = 0; i < 6; ++i) {
    Sleep(400);  // about four unanswered rounds, then answers
    PumpFor(300);
  }
  FreezePhase = "frozen";
  QueryPerformanceCounter(&FreezeSince);
  StayFrozen();
  FreezePhase = "answering";
  PumpFor(2000);
  return 0;
}

// Timing of the 5-thread case: from the fault to the finished report and to the box.
void NoteTiming(THandlerCall& call) {
  if (Case != "timing") return;
  LARGE_INTEGER now, freq;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&freq);
  double ms = double(now.QuadPart - FaultAt.QuadPart) * 1000.0 / double(freq.QuadPart);
  char line[96];
  if (call.Phase == THandlerPhase::ReportStarted)
    std::snprintf(line, sizeof line, "report complete %.1f ms\n", ms);
  else if (call.Phase == THandlerPhase::BeforeShow)
    std::snprintf(line, sizeof line, "box shown %.1f ms\n", ms);
  else
    return;
  WriteNote("timing.txt", line);
}

// A handler that needs a lock the faulting thread holds: it never gets to the box.
CRITICAL_SECTION HeldByFault;
void WaitForHeldLock(THandlerCall&) {
  if (Case != "stuck-handler") return;
  EnterCriticalSection(&HeldByFault);
  LeaveCriticalSection(&HeldByFault);
}

// A registered handler that faults on the handler thread: the handler is left out, the
// report goes on.
void FaultInHandler(THandlerCall& call) {
  if (Case == "handler-fault" && call.Phase == THandlerPhase::BeforeReport) WriteThroughNull();
}

// A handler that works longer than the stall limit before it returns, spending processor
// time all along, as a long computation or a slow disk's driver would.
void WorkLong(THandlerCall& call) {
  if (Case != "slow-handler" || call.Phase != THandlerPhase::BeforeReport) return;
  const ULONGLONG end = GetTickCount64() + 3000;
  volatile unsigned long long sum = 0;
  while (GetTickCount64() < end) sum = sum + 1;
  WriteNote("worked.txt", "worked 3000 ms\n");
}

// A thread whose stack holds an unreadable stretch where its outer frames keep their
// saved registers and return addresses: a walk of it meets a frame it cannot read.
HANDLE BrokenStackReady = nullptr;
void ProtectAndSleep(std::uintptr_t above) {
  DWORD old = 0;
  std::uintptr_t page = above & ~std::uintptr_t(0xfff);
  VirtualProtect(reinterpret_cast<void*>(page - 0x1000), 0x2000, PAGE_NOACCESS, &old);
  SetEvent(BrokenStackReady);
  Sleep(INFINITE);
}
int BigFrame(volatile int* marker) {
  volatile char pad[8192];
  pad[0] = 0;
  ProtectAndSleep(reinterpret_cast<std::uintptr_t>(marker));
  return pad[0];
}
DWORD WINAPI BrokenStackThread(LPVOID) {
  volatile int marker = 0;
  return DWORD(BigFrame(&marker));
}

// A thread that takes the loader lock and keeps it, as one stuck in a library's start-up
// would: from then on no thread can start and no library load.
HANDLE LoaderLockTaken = nullptr;
DWORD WINAPI HoldLoaderLock(LPVOID) {
  using TLock = LONG(WINAPI*)(ULONG, ULONG*, ULONG_PTR*);
  auto lock = reinterpret_cast<TLock>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "LdrLockLoaderLock")));
  ULONG_PTR cookie = 0;
  if (lock) lock(0, nullptr, &cookie);
  SetEvent(LoaderLockTaken);
  Sleep(120000);
  return 0;
}

// A thread of the toolkit's class: the report titles it by its class.
struct TFaultingWorker : TThread {
  TFaultingWorker() : TThread("TFaultingWorker") {}
  void Execute() override { WriteThroughNull(); }
};

int Run() {
  if (Case == "av-main")
    WriteThroughNull();
  else if (Case == "av-thread")
    InThread(FaultingThread);
  else if (Case == "overflow-main")
    return Recurse(0);
  else if (Case == "overflow-thread")
    InThread(OverflowThread);
  else if (Case == "throw-wndproc")
    SendMessageA(Window, kThrowMessage, 0, 0);
  else if (Case == "throw-thread")
    InThread(ThrowingThread);
  else if (Case == "throw-exit")
    ThrowAtExit = ThrowNow;
  else if (Case == "abort")
    std::abort();
  else if (Case == "purecall") {
    TDerived derived;
  } else if (Case == "invalid-parameter") {
    // What the runtime library's checks do with a bad parameter. Wine's runtime has no
    // setter for its own handler, so its checks only log: call the registered one directly.
    _get_invalid_parameter_handler()(nullptr, nullptr, nullptr, 0, 0);
  } else if (Case == "out-of-memory") {
    volatile std::size_t huge = ~std::size_t(0) / 4;
    Kept = new char[huge];
  } else if (Case == "eabort")
    SendMessageA(Window, kThrowMessage, 1, 0);
  else if (Case == "edit-error")
    SendMessageA(Window, kThrowMessage, 2, 0);
  else if (Case == "autoclip") {
    static auto settings = SettingsForModule(CrashSystem().ExeModule());
    settings->SetAutoClip(true);
    SendMessageA(Window, kThrowMessage, 0, 0);
  } else if (Case == "twice") {
    // One place, twice: a bound the compiler cannot see keeps the loop from being unrolled.
    static volatile int times = 2;
    for (int i = 0; i < times; ++i) SendMessageA(Window, kThrowMessage, 0, 0);
  } else if (Case == "foreign-thread") {
    // Started past the reporter's import hooks: a thread the program did not create itself.
    auto create = reinterpret_cast<decltype(&CreateThread)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "CreateThread")));
    HANDLE h = create(nullptr, 0, FaultingThread, nullptr, 0, nullptr);
    WaitForSingleObject(h, 60000);
  } else if (Case == "autorestart") {
    if (CrashHistory().At(0) != 0) {
      WriteNote("restarted.txt", "restarted with history\n");
      return 0;
    }
    // Held while the program runs: the in-memory change lives as long as a reference does.
    static auto settings = SettingsForModule(CrashSystem().ExeModule());
    settings->SetAutoRestart(30);
    settings->SetAutoDelay(2);  // the tenth box's restart button counts down for 2 seconds
    for (int i = 0; i < 10; ++i) SendMessageA(Window, kThrowMessage, 0, 0);
    return 3;  // not reached when the tenth exception restarts
  } else if (Case == "stuck-handler") {
    InitializeCriticalSection(&HeldByFault);
    EnterCriticalSection(&HeldByFault);
    WriteThroughNull();
  } else if (Case == "handler-fault" || Case == "slow-handler") {
    SendMessageA(Window, kThrowMessage, 0, 0);
  } else if (Case == "walk-fault") {
    BrokenStackReady = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    CreateThread(nullptr, 0, BrokenStackThread, nullptr, 0, nullptr);
    WaitForSingleObject(BrokenStackReady, 10000);
    SendMessageA(Window, kThrowMessage, 0, 0);
  } else if (Case == "quiet") {
    return 0;  // starts and ends: what a start does with reports left behind
  } else if (Case == "toolkit-thread") {
    TFaultingWorker worker;
    worker.Start();
    worker.WaitFor(60000);
  } else if (Case == "blocked") {
    LoaderLockTaken = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    CreateThread(nullptr, 0, HoldLoaderLock, nullptr, 0, nullptr);
    WaitForSingleObject(LoaderLockTaken, 10000);
    WriteThroughNull();
  } else if (Case == "freeze") {
    return FreezeAndThaw();
  } else if (Case == "timing") {
    for (int i = 0; i < 4; ++i) CreateThread(nullptr, 0, IdleThread, nullptr, 0, nullptr);
    Sleep(200);
    QueryPerformanceCounter(&FaultAt);
    WriteThroughNull();
  } else
    return 99;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Case = argc > 1 ? argv[1] : "";
  if (Case == "freeze") {
    // The watchdog is off in the shipped settings; it starts with the second install stage.
    static auto settings = SettingsForModule(CrashSystem().ExeModule());
    settings->SetCheckFreeze(true);
    settings->SetFreezeTimeout(1000);
  }
  // The cases about the stall limit take it at two seconds; the rule is the same at thirty.
  if (Case == "slow-handler" || Case == "stuck-handler" || Case == "blocked") SetReporterStallLimit(2000);
  InstallCrashReporter();
  if (!CrashReporterInstalled()) return 98;
  RegisterExceptionHandler(NoteTiming);
  RegisterExceptionHandler(NoteFreeze);
  RegisterExceptionHandler(WaitForHeldLock);
  RegisterExceptionHandler(FaultInHandler);
  RegisterExceptionHandler(WorkLong);
  OpenWindow();
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  return Run();
}

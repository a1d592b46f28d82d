// The freeze watchdog: a thread at highest priority asks the main thread for a sign of life
// through a hidden window of its own, one round every tenth of the freeze timeout. Ten
// rounds in a row without an answer are a freeze, reported on the main thread's stack.
// After each report the rounds grow by half, so that a program that stays frozen is not
// buried in reports; any answer starts over with the first interval.
#include <windows.h>

#include <atomic>

#include "crashreport/capture/Capture_win32.h"

namespace vm::capture {

namespace {

constexpr UINT kAsk = WM_APP + 1, kAnswer = WM_APP + 2;
constexpr WPARAM kSign = 777;  // both parameters of the answer
constexpr int kRounds = 10;

HWND Window = nullptr;
HANDLE Stop = nullptr;
DWORD WatchId = 0;
DWORD FirstInterval = 0;
std::atomic<bool> Paused{false};
std::atomic<int> Misses{0};

LRESULT CALLBACK AnswerProc(HWND window, UINT msg, WPARAM w, LPARAM l) {
  if (msg != kAsk) return DefWindowProcA(window, msg, w, l);
  PostThreadMessageA(WatchId, kAnswer, kSign, LPARAM(kSign));
  return 0;
}

// One round: waits all of `ms` (a stop ends it early) and tells whether any answer came.
// A late answer to an earlier round counts: the main thread is alive now.
bool AnsweredWithin(DWORD ms) {
  const ULONGLONG end = GetTickCount64() + ms;
  bool answered = false;
  for (;;) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
      if (msg.message == kAnswer && msg.wParam == kSign && msg.lParam == LPARAM(kSign)) answered = true;
    const ULONGLONG now = GetTickCount64();
    if (now >= end) return answered;
    if (MsgWaitForMultipleObjects(1, &Stop, FALSE, DWORD(end - now), QS_POSTMESSAGE) == WAIT_OBJECT_0) return answered;
  }
}

bool Stopped() { return WaitForSingleObject(Stop, 0) == WAIT_OBJECT_0; }

DWORD WINAPI WatchMain(LPVOID) {
  RegisterThread(GetCurrentThreadId(), "AntiFreezeThread", nullptr, 0, 0);
  DWORD interval = FirstInterval;
  while (!Stopped()) {
    // While an exception is handed over the main thread may wait or be suspended: no rounds.
    if (Paused) {
      WaitForSingleObject(Stop, interval);
      continue;
    }
    PostMessageA(Window, kAsk, kSign, LPARAM(kSign));
    if (AnsweredWithin(interval)) {
      Misses = 0;
      interval = FirstInterval;
      continue;
    }
    if (Paused || Stopped() || ++Misses < kRounds) continue;
    HandOverFreeze();  // the hand-over resets the count when the handler is done
    interval += interval / 2;
  }
  return 0;
}

}  // namespace

bool StartFreezeWatchdog(int timeoutMs) {
  if (Window || timeoutMs <= 0) return Window != nullptr;
  WNDCLASSA wc{};
  wc.lpfnWndProc = AnswerProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "CrashReporterFreezeAnswer";
  RegisterClassA(&wc);
  // A message-only window: never shown, but served by the main thread's message loop.
  Window = CreateWindowA(wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  Stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  FirstInterval = DWORD(timeoutMs / kRounds > 0 ? timeoutMs / kRounds : 1);
  HANDLE thread =
      Window && Stop ? CreateThread(nullptr, 64 * 1024, WatchMain, nullptr, CREATE_SUSPENDED, &WatchId) : nullptr;
  if (!thread) return false;
  SetThreadPriority(thread, THREAD_PRIORITY_HIGHEST);
  ResumeThread(thread);
  CloseHandle(thread);
  return true;
}

void StopFreezeWatchdog() {
  if (Stop) SetEvent(Stop);
}

void PauseFreezeWatchdog() { Paused = true; }

void ResumeFreezeWatchdog() {
  Misses = 0;
  Paused = false;
}

}  // namespace vm::capture

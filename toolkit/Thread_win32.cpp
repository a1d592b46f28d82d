#include "toolkit/Thread_win32.h"

#include <exception>

#include "toolkit/Application_win32.h"

namespace vm {

TThread::TStartHook TThread::FStartHook = nullptr;

TThread::~TThread() {
  // The object must outlive its thread; an owner that forgot to wait gets a bounded one.
  if (FHandle) {
    WaitFor(10000);
    CloseHandle(FHandle);
  }
}

bool TThread::Start() {
  if (FHandle) return false;
  FHandle = CreateThread(nullptr, 0, Entry, this, 0, &FThreadId);
  return FHandle != nullptr;
}

bool TThread::WaitFor(DWORD ms) const { return FHandle && WaitForSingleObject(FHandle, ms) == WAIT_OBJECT_0; }

DWORD WINAPI TThread::Entry(LPVOID self) {
  auto* thread = static_cast<TThread*>(self);
  if (FStartHook) FStartHook(thread->FClassName.c_str());
  // A C++ exception cannot leave a thread's start routine: it goes to the funnel, and the
  // thread ends.
  try {
    thread->Execute();
  } catch (...) {
    Application.HandleException(std::current_exception());
    return 1;
  }
  return 0;
}

}  // namespace vm

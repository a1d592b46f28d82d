// The toolkit's thread class: a subclass names itself and does its work in Execute. An
// exception that leaves Execute ends in the application's funnel and ends the thread only;
// the crash reporter titles the thread by its class name in reports.
#pragma once

#include <windows.h>

#include <string>

namespace vm {

class TThread {
public:
  // Called first thing on every new thread of the class (the crash reporter sets it).
  using TStartHook = void (*)(const char* className);
  static void SetStartHook(TStartHook hook) { FStartHook = hook; }

  explicit TThread(std::string className) : FClassName(std::move(className)) {}
  virtual ~TThread();
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  const std::string& ClassName() const { return FClassName; }
  bool Start();
  // True when the thread has ended within `ms`.
  bool WaitFor(DWORD ms) const;
  DWORD ThreadId() const { return FThreadId; }

protected:
  virtual void Execute() = 0;

private:
  static DWORD WINAPI Entry(LPVOID self);
  static TStartHook FStartHook;
  std::string FClassName;
  HANDLE FHandle = nullptr;
  DWORD FThreadId = 0;
};

}  // namespace vm

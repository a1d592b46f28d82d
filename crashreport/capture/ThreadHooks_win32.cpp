// Thread entry points: the program's imports of CreateThread, CreateRemoteThread (into this
// process) and QueueUserWorkItem are pointed at wrappers, so that every thread the program
// starts runs inside the reporter's frame (a C++ exception that leaves its start routine is
// reported, not lost in std::terminate's default) and enters the thread-name table with the
// thread and the address that created it. Faults in such threads, and in threads nobody of
// ours created, still end in the unhandled-exception filter.
#include <windows.h>

#include <cstring>

#include "crashreport/CrashReporter.h"
#include "crashreport/capture/Capture_win32.h"

namespace vm::capture {

namespace {

using TCreateThread = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD, LPDWORD);
using TCreateRemoteThread = HANDLE(WINAPI*)(HANDLE, LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID,
                                            DWORD, LPDWORD);
using TQueueUserWorkItem = BOOL(WINAPI*)(LPTHREAD_START_ROUTINE, PVOID, ULONG);

TCreateThread RealCreateThread = nullptr;
TCreateRemoteThread RealCreateRemoteThread = nullptr;
TQueueUserWorkItem RealQueueUserWorkItem = nullptr;

// What a wrapped start routine needs; lives in the process heap until the thread starts.
struct TStart {
  LPTHREAD_START_ROUTINE Routine;
  void* Param;
  DWORD CreatorId;
  std::uintptr_t CreatorAddress;
  bool WorkItem;
};

// The return address into the hook's caller: the place that started the thread. Written
// into each hook's own body (frame 0 is the hook itself, frame 1 its caller); the hooks
// are reached through import slots only, so they are never inlined.
#define VM_CALLER_ADDRESS(var) \
  void* var##Frames[2] = {};   \
  std::uintptr_t var =         \
      RtlCaptureStackBackTrace(0, 2, var##Frames, nullptr) == 2 ? reinterpret_cast<std::uintptr_t>(var##Frames[1]) : 0

TStart* NewStart(LPTHREAD_START_ROUTINE routine, void* param, bool workItem, std::uintptr_t creator) {
  auto* s = static_cast<TStart*>(HeapAlloc(GetProcessHeap(), 0, sizeof(TStart)));
  if (s) *s = {routine, param, GetCurrentThreadId(), creator, workItem};
  return s;
}

DWORD WINAPI RunWrapped(LPVOID param) {
  TStart start = *static_cast<TStart*>(param);
  HeapFree(GetProcessHeap(), 0, param);
  DWORD id = GetCurrentThreadId();
  RegisterThread(id, nullptr, nullptr, start.CreatorAddress, start.CreatorId);
  DWORD result = 1;
  try {
    result = start.Routine(start.Param);
  } catch (...) {
    ReportCaughtException(std::current_exception(), TCaptureSource::ThreadEntry, false);
  }
  // A pool thread goes on serving others: only its entry for this work item ends.
  UnregisterThread(id);
  return result;
}

HANDLE WINAPI HookedCreateThread(LPSECURITY_ATTRIBUTES sa, SIZE_T stack, LPTHREAD_START_ROUTINE routine, LPVOID param,
                                 DWORD flags, LPDWORD id) {
  VM_CALLER_ADDRESS(creator);
  TStart* s = NewStart(routine, param, false, creator);
  if (!s) return RealCreateThread(sa, stack, routine, param, flags, id);
  HANDLE h = RealCreateThread(sa, stack, RunWrapped, s, flags, id);
  if (!h) HeapFree(GetProcessHeap(), 0, s);
  return h;
}

HANDLE WINAPI HookedCreateRemoteThread(HANDLE process, LPSECURITY_ATTRIBUTES sa, SIZE_T stack,
                                       LPTHREAD_START_ROUTINE routine, LPVOID param, DWORD flags, LPDWORD id) {
  // Only threads of this process can run our wrapper.
  VM_CALLER_ADDRESS(creator);
  TStart* s = GetProcessId(process) == GetCurrentProcessId() ? NewStart(routine, param, false, creator) : nullptr;
  if (!s) return RealCreateRemoteThread(process, sa, stack, routine, param, flags, id);
  HANDLE h = RealCreateRemoteThread(process, sa, stack, RunWrapped, s, flags, id);
  if (!h) HeapFree(GetProcessHeap(), 0, s);
  return h;
}

BOOL WINAPI HookedQueueUserWorkItem(LPTHREAD_START_ROUTINE routine, PVOID param, ULONG flags) {
  VM_CALLER_ADDRESS(creator);
  TStart* s = NewStart(routine, param, true, creator);
  if (!s) return RealQueueUserWorkItem(routine, param, flags);
  BOOL ok = RealQueueUserWorkItem(RunWrapped, s, flags);
  if (!ok) HeapFree(GetProcessHeap(), 0, s);
  return ok;
}

// Points every import slot of `module` that holds `real` at `hook`.
void PatchImports(HMODULE module, void* real, void* hook) {
  auto* base = reinterpret_cast<BYTE*>(module);
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (!dir.VirtualAddress) return;
  for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); imp->Name; ++imp) {
    for (auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk); slot->u1.Function; ++slot) {
      if (reinterpret_cast<void*>(slot->u1.Function) != real) continue;
      DWORD old = 0;
      if (!VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, PAGE_READWRITE, &old)) continue;
      slot->u1.Function = reinterpret_cast<decltype(slot->u1.Function)>(hook);
      VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, old, &old);
    }
  }
}

template <class F>
F Lookup(const char* name) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(kernel, name)));
}

}  // namespace

void HookThreadEntries() {
  if (RealCreateThread) return;
  RealCreateThread = Lookup<TCreateThread>("CreateThread");
  RealCreateRemoteThread = Lookup<TCreateRemoteThread>("CreateRemoteThread");
  RealQueueUserWorkItem = Lookup<TQueueUserWorkItem>("QueueUserWorkItem");
  HMODULE exe = GetModuleHandleA(nullptr);
  PatchImports(exe, reinterpret_cast<void*>(RealCreateThread), reinterpret_cast<void*>(&HookedCreateThread));
  PatchImports(exe, reinterpret_cast<void*>(RealCreateRemoteThread),
               reinterpret_cast<void*>(&HookedCreateRemoteThread));
  PatchImports(exe, reinterpret_cast<void*>(RealQueueUserWorkItem), reinterpret_cast<void*>(&HookedQueueUserWorkItem));
}

}  // namespace vm::capture

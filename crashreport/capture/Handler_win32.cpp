// The handler thread, made at installation, with its pipe and what outlives one exception:
// the registered handlers and the time history, which a restart hands to the new process.
// What the thread does with each hand-over record is in RecordEffects_win32.cpp.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <span>

#include "base/FileIO.h"
#include "crashreport/CrashReporter.h"
#include "crashreport/capture/Capture_win32.h"
#include "crashreport/capture/SystemExceptionText.h"
#include "crashreport/dialog/ProgressAlert_win32.h"
#include "crashreport/report/CrashException.h"

namespace vm::capture {

namespace {

HANDLE PipeRead = nullptr, PipeWrite = nullptr, Thread = nullptr, Showing = nullptr;
DWORD ThreadId = 0;
TExceptionHistory TheHistory;
// Ready before any static object is made and never destroyed (TEverLasting).
constinit TEverLasting<std::vector<TExceptionHandlerFn>> HandlerList;
std::vector<TExceptionHandlerFn>& Handlers = HandlerList.Value;

DWORD WINAPI HandlerMain(LPVOID) {
  RegisterThread(GetCurrentThreadId(), "HandleExceptionThread", nullptr, 0, 0);
  for (;;) {
    THandoverRecord record;
    DWORD got = 0, total = 0;
    auto* bytes = reinterpret_cast<char*>(&record);
    while (total < sizeof record && ReadFile(PipeRead, bytes + total, DWORD(sizeof record - total), &got, nullptr) &&
           got)
      total += got;
    if (total < sizeof record) return 0;
    try {
      ProcessRecord(record);
    } catch (...) {
      // The faulting thread is released in any case.
    }
    SetEvent(reinterpret_cast<HANDLE>(record.DoneEvent));
  }
}

}  // namespace

// A failing handler, by a throw or a fault, must not stop the report; it is left out.
void CallRegisteredHandlers(THandlerCall& call) {
  for (auto& handler : Handlers) Guarded("exception handler", [&] { handler(call); });
}

void RestartProgram() {
  std::string program = ProgramPath();
  std::string commandLine = GetCommandLineA();
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                      &si, &pi))
    TerminateProcess(GetCurrentProcess(), 1);
  HANDLE block = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, DWORD(kRestartBlockSize),
                                    RestartBlockName(pi.dwProcessId).c_str());
  void* view = block ? MapViewOfFile(block, FILE_MAP_WRITE, 0, 0, kRestartBlockSize) : nullptr;
  HANDLE theirs = nullptr;
  if (view && DuplicateHandle(GetCurrentProcess(), block, pi.hProcess, &theirs, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    TRestartBlock b{GetCurrentProcessId(), std::uint32_t(reinterpret_cast<std::uintptr_t>(theirs)), TheHistory};
    auto bytes = EncodeRestartBlock(b);
    std::memcpy(view, bytes.data(), bytes.size());
  }
  ResumeThread(pi.hThread);
  TerminateProcess(GetCurrentProcess(), 2);
}

bool StartHandlerThread() {
  InstallProgressAlert();
  SetReportItemRunner(RunGuarded);
  Showing = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!Showing || !CreatePipe(&PipeRead, &PipeWrite, nullptr, 64 * sizeof(THandoverRecord))) return false;
  Thread = CreateThread(nullptr, 256 * 1024, HandlerMain, nullptr, 0, &ThreadId);
  return Thread != nullptr;
}
DWORD HandlerThreadId() { return ThreadId; }
HANDLE HandlerThreadHandle() { return Thread; }
HANDLE HandlerPipe() { return PipeWrite; }
HANDLE HandlerShowingEvent() { return Showing; }
TExceptionHistory& History() { return TheHistory; }

void DescribeSystemException(const EXCEPTION_RECORD& er, std::string& className, std::string& message) {
  std::uint64_t parameters[EXCEPTION_MAXIMUM_PARAMETERS] = {};
  DWORD count = std::min<DWORD>(er.NumberParameters, EXCEPTION_MAXIMUM_PARAMETERS);
  for (DWORD i = 0; i < count; ++i) parameters[i] = er.ExceptionInformation[i];
  auto address = reinterpret_cast<std::uintptr_t>(er.ExceptionAddress);
  TExceptionText text = vm::DescribeSystemException(er.ExceptionCode, std::span(parameters, count), address,
                                                    DescribeAddress(address, false).Module);
  className = std::move(text.ClassName);
  message = std::move(text.Message);
}

void TakeOverRestartBlock() {
  HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, RestartBlockName(GetCurrentProcessId()).c_str());
  if (!mapping) return;
  if (const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, kRestartBlockSize)) {
    TRestartBlock block = DecodeRestartBlock(static_cast<const std::uint8_t*>(view));
    UnmapViewOfFile(view);
    CloseHandle(reinterpret_cast<HANDLE>(std::uintptr_t(block.BlockHandle)));
    // The predecessor ends at once after resuming us; ten seconds is far beyond that.
    if (HANDLE old = OpenProcess(SYNCHRONIZE, FALSE, block.OldProcessId)) {
      WaitForSingleObject(old, 10000);
      CloseHandle(old);
    }
    TheHistory = block.History;
  }
  CloseHandle(mapping);
}

}  // namespace vm::capture

namespace vm {

void RegisterExceptionHandler(TExceptionHandlerFn handler) { capture::Handlers.push_back(std::move(handler)); }
TExceptionHistory CrashHistory() { return capture::TheHistory; }

}  // namespace vm

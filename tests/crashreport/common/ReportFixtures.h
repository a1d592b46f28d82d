// Fixture records for the report tests: a crash in the main thread of a program with a
// worker thread it created, a suspended thread whose stack cannot be read, and one of the
// reporter's own threads, which the report leaves out.
#pragma once

#include <string>
#include <vector>

#include "crashreport/report/ReportRecords.h"

namespace vm::test {

inline TStackItem Item(std::uint64_t address, std::uint32_t rel, std::string module, std::string unit, int line,
                       int relLine, std::string function) {
  return {address, rel, std::move(module), std::move(unit), line, relLine, std::move(function)};
}

inline THeaderFacts FixtureHeaderFacts() {
  THeaderFacts f;
  f.ExceptionTime = {2026, 1, 5, 9, 7, 3, 45};
  f.ComputerName = "WORKSTATION7";
  f.UserName = "jane";
  f.UserIsAdmin = true;
  f.RegisteredOwner = "Jane Doe";
  f.RegisteredOrganization = "Quembrix Limited";
  f.OperatingSystem = "Windows 10 Pro";
  f.OsBuild = 19045;
  f.SystemLanguage = "English";
  f.SystemUpTimeMs = (2 * 86400 + 3 * 3600 + 59) * 1000ull;  // 2 days 3 hours 0 minutes 59 seconds
  f.ProgramUpTimeMs = 754;
  f.ProcessorName = "Intel(R) Core(TM) i5-8250U CPU @ 1.60GHz";
  f.ProcessorCount = 4;
  f.PhysicalFree = 3000ull << 20 | 600u << 10;  // 3000.59 MB rounds up
  f.PhysicalTotal = 8192ull << 20;
  f.FreeDisk = {{'C', 52613349376ull}, {'D', 1536ull << 20}};
  f.Display = TDisplayMode{1920, 1080, 32};
  f.ProcessId = 0x1f4c;
  f.AllocatedMemory = 12345678;
  f.Executable = "veilmark.exe";
  f.ExecDateTime = TLocalTime{2025, 12, 1, 14, 30, 0, 0};
  f.Version = "1.0.0.0";
  f.CompiledWith = "GCC 12.2.0 (C++20)";
  return f;
}

constexpr std::uint32_t kMainThread = 0x1a2c, kWorkerThread = 0x2b10, kStuckThread = 0x3c04, kOwnThread = 0x4000;

inline TExceptionFacts FixtureExceptionFacts() {
  TExceptionFacts e;
  e.ClassName = "EAccessViolation";
  e.Message = "Access violation at address 00401234\r\nin module 'veilmark.exe'.   Read of address 00000000.";
  e.Location = Item(0x00401234, 0x14, "veilmark.exe", "FormVeilmark", 210, 12, "TFormVeilmark.ChangeID");
  e.CrashedThreadId = kMainThread;
  e.MainThreadId = kMainThread;
  return e;
}

// The system's thread list, in its own order.
inline std::vector<TThreadRecord> FixtureThreads() {
  TThreadRecord own;
  own.Id = kOwnThread;
  own.Name = "-";
  TThreadRecord worker;
  worker.Id = kWorkerThread;
  worker.ClassName = "TUpdateThread";
  worker.Current = Item(0x00406000, 0x2c, "veilmark.exe", "UpdateCheck", 120, 35, "TUpdateThread.Execute");
  worker.Creator = TThreadCreator{kMainThread, "main thread", "",
                                  Item(0x00405678, 0x8, "veilmark.exe", "UpdateCheck", 88, 3, "TUpdateCheck.Start")};
  TThreadRecord main;
  main.Id = kMainThread;
  main.Name = "main thread";
  main.Current = FixtureExceptionFacts().Location;
  TThreadRecord stuck;
  stuck.Id = kStuckThread;
  stuck.Suspended = true;
  stuck.Priority = 2;
  stuck.Current = Item(0x7c90e514, 0, "", "", 0, -1, "");
  return {own, worker, main, stuck};
}

inline std::vector<TStackItem> FixtureMainStack() {
  return {
      FixtureExceptionFacts().Location,
      Item(0x00402010, 0x1f0, "veilmark.exe", "Toolkit", 57, -1, "TApplication.Run"),  // start line unknown
      Item(0x00403000, 0, "veilmark.exe", "", 0, -1, ""),                              // no function: left out
      Item(0x7c816fd7, 0x34, "kernel32.dll", "", 0, -1, "BaseThreadInitThunk"),
  };
}

inline std::vector<TStackItem> FixtureWorkerStack() {
  return {
      Item(0x00406000, 0x2c, "veilmark.exe", "UpdateCheck", 120, 35, "TUpdateThread.Execute"),
      Item(0x00407000, 0x100, "veilmark.exe", "Toolkit", 30, 4, "ThreadProc"),
  };
}

}  // namespace vm::test

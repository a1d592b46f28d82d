// The plain records a bug report is composed from. The capture side fills them (from the
// system, the stack walker and the symbol table); the composer only lays them out, so it
// can be tested with fixtures and never asks the system anything itself.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "crashreport/settings/CrashSettingsSystem.h"

namespace vm {

// One line of a thread's call stack, as the symbol lookup resolved it.
struct TStackItem {
  std::uint64_t Address = 0;
  std::uint32_t RelAddr = 0;  // offset from the function start; 0 when the start is unknown
  std::string Module;         // file name, no folder; empty: outside every known module
  std::string Unit;           // source unit
  int Line = 0;               // 0: no line number
  int RelLine = -1;           // line relative to the function's first line; -1: start line unknown
  std::string Function;       // empty: no function known (such items are left out)
};

// The thread that started another one, and where.
struct TThreadCreator {
  std::uint32_t ThreadId = 0;
  std::string Name;        // the creator's name in the thread-name table, or empty
  std::string ClassName;   // framework thread class of the creator, or empty
  TStackItem Address;      // the creating call
};

struct TThreadRecord {
  std::uint32_t Id = 0;
  std::string Name;        // from the thread-name table, or empty
  std::string ClassName;   // when created through the framework's thread class
  bool Suspended = false;
  int Priority = 0;        // 0 normal
  TStackItem Current;      // the thread's current address (the exception address when crashed)
  std::optional<TThreadCreator> Creator;
};

// Exception type of the record.
enum class TExceptionType { Exception = 0, Freeze = 1, Hidden = 2 };

// The facts of the exception that the report shows.
struct TExceptionFacts {
  TExceptionType Type = TExceptionType::Exception;
  std::string ClassName, Message;
  TStackItem Location;            // the exception address, resolved
  std::uint32_t CrashedThreadId = 0;
  std::uint32_t MainThreadId = 0;
  bool HasContext = false;        // a processor context was handed over
};

struct TDiskFree {
  char Drive = 'C';               // capital letter
  std::uint64_t FreeBytes = 0;
};

struct TDisplayMode {
  int Width = 0, Height = 0, Bits = 0;
};

// Every fact of the report header; a fact the system could not give stays empty and its row
// is left out.
struct THeaderFacts {
  TLocalTime ExceptionTime;
  std::optional<std::string> ComputerName, WtsClientName;
  std::optional<std::string> UserName;
  bool UserIsAdmin = false;
  std::optional<std::string> RegisteredOwner;
  std::string RegisteredOrganization;
  std::optional<std::string> OperatingSystem;  // name and edition, e.g. "Windows 10 Pro"
  std::optional<std::uint32_t> OsBuild;
  std::optional<std::string> SystemLanguage;
  std::optional<std::uint64_t> SystemUpTimeMs, ProgramUpTimeMs;
  std::optional<std::string> ProcessorName;
  int ProcessorCount = 1;
  std::optional<std::uint64_t> PhysicalFree, PhysicalTotal;  // bytes
  std::optional<std::pair<int, int>> SystemResources;        // free GDI / user percent
  std::vector<TDiskFree> FreeDisk;  // the system folder's drive, then the program's when it differs
  std::optional<TDisplayMode> Display;
  std::optional<std::uint32_t> ProcessId;
  std::optional<std::uint64_t> AllocatedMemory;  // committed bytes of the process
  std::optional<std::string> CommandLine;        // only when started with arguments
  std::string Executable;                        // file name
  std::optional<std::string> CurrentModule;      // when the settings' module is not the executable
  std::optional<TLocalTime> ExecDateTime;        // last write of the executable, or of CurrentModule
  std::optional<std::string> Version;
  std::optional<std::string> BdeVersion;
  std::string CompiledWith;
  char DecimalSeparator = '.';
  std::vector<std::pair<std::string, std::string>> PluginItems;
};

}  // namespace vm

// Stacks and symbols: every reported thread is walked along its frame chain (other threads
// suspended meanwhile), and each address becomes module, unit, line and function through
// the program's own symbol table, or a system library's exports.
#include <windows.h>
// After windows.h:
#include <tlhelp32.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "base/FileIO.h"
#include "crashreport/capture/Capture_win32.h"

namespace vm::capture {

namespace {

// Loaded once and never freed: stacks are still symbolised while static objects end at exit.
const TSymbolTable* ProgramSymbols = nullptr;
// The program file's name, known without asking the loader. Plain bytes: it is set while
// the capture points are taken, before the program's static objects are made.
char ProgramName[MAX_PATH] = "";

// The module that holds `address`, found without the loader lock.
HMODULE ModuleAt(std::uintptr_t address) {
  MEMORY_BASIC_INFORMATION info;
  if (!VirtualQuery(reinterpret_cast<void*>(address), &info, sizeof info) || info.Type != MEM_IMAGE) return nullptr;
  return static_cast<HMODULE>(info.AllocationBase);
}

// The end of the committed region that holds the stack pointer: walks stay below it.
std::uintptr_t StackRegionEnd(std::uintptr_t sp) {
  MEMORY_BASIC_INFORMATION info;
  if (!sp || !VirtualQuery(reinterpret_cast<void*>(sp), &info, sizeof info) || info.State != MEM_COMMIT) return 0;
  return reinterpret_cast<std::uintptr_t>(info.BaseAddress) + info.RegionSize;
}

// The exported function of a loaded system library nearest below `rva`.
bool NearestExport(const BYTE* base, DWORD rva, std::string& name, DWORD& start) {
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (!dir.VirtualAddress || !dir.Size) return false;
  auto* exp = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
  auto* functions = reinterpret_cast<const DWORD*>(base + exp->AddressOfFunctions);
  auto* names = reinterpret_cast<const DWORD*>(base + exp->AddressOfNames);
  auto* ordinals = reinterpret_cast<const WORD*>(base + exp->AddressOfNameOrdinals);
  DWORD best = 0;
  const char* bestName = nullptr;
  for (DWORD i = 0; i < exp->NumberOfNames; ++i) {
    DWORD f = functions[ordinals[i]];
    // Forwarded exports point into the export directory, not at code.
    if (f >= dir.VirtualAddress && f < dir.VirtualAddress + dir.Size) continue;
    if (f <= rva && f >= best) {
      best = f;
      bestName = reinterpret_cast<const char*>(base + names[i]);
    }
  }
  if (!bestName) return false;
  name = bestName;
  start = best;
  return true;
}

std::vector<TStackItem> Describe(const std::vector<std::uintptr_t>& frames) {
  std::vector<TStackItem> items;
  for (size_t i = 0; i < frames.size(); ++i) items.push_back(DescribeAddress(frames[i], i > 0));
  return items;
}

}  // namespace

bool ReadStackWord(std::uintptr_t address, std::uintptr_t& value) {
  // The region of the last read serves the next ones: a walk stays in one stack.
  static thread_local std::uintptr_t low = 0, high = 0;
  if (address < low || address + sizeof value > high) {
    MEMORY_BASIC_INFORMATION info;
    if (!VirtualQuery(reinterpret_cast<void*>(address), &info, sizeof info)) return false;
    if (info.State != MEM_COMMIT || (info.Protect & (PAGE_NOACCESS | PAGE_GUARD)) || info.Protect == 0) return false;
    low = reinterpret_cast<std::uintptr_t>(info.BaseAddress);
    high = low + info.RegionSize;
    if (address + sizeof value > high) return false;
  }
  std::memcpy(&value, reinterpret_cast<const void*>(address), sizeof value);
  return true;
}

void LoadProgramSymbols(const std::string& programFile) {
  lstrcpynA(ProgramName, FileNameOf(programFile).c_str(), MAX_PATH);
  try {
    auto table = ReadEmbeddedSymbols(ReadFileDenyWrite(programFile));
    if (table && !ProgramSymbols) ProgramSymbols = new TSymbolTable(std::move(*table));
  } catch (...) {
    // Without the table, addresses in the program show their module only.
  }
}

TStackItem DescribeAddress(std::uintptr_t address, bool returnAddress) {
  TStackItem item;
  item.Address = address;
  // A return address points behind its call, possibly into the next line or function.
  std::uintptr_t probe = returnAddress ? address - 1 : address;
  // Address 0 would name the program itself.
  HMODULE module = probe ? ModuleAt(probe) : nullptr;
  if (!module) return item;
  const bool program = module == GetModuleHandleA(nullptr);
  // Another module's name needs the loader, which a thread that holds its lock (a blocked
  // process) keeps from us: such an address shows no module then.
  const DWORD owner = LoaderLockOwner();
  if (!program && owner && owner != GetCurrentThreadId()) return item;
  item.Module = program ? ProgramName : FileNameOf(ModulePath(module));
  auto base = reinterpret_cast<std::uintptr_t>(module);
  auto rva = DWORD(probe - base);
  if (program) {
    if (!ProgramSymbols) return item;
    auto info = ProgramSymbols->Lookup(rva);
    if (!info) return item;
    item.Function = info->Function;
    item.Unit = info->Unit;
    item.Line = int(info->Line);
    if (!info->Function.empty()) item.RelAddr = std::uint32_t(address - (base + info->FunctionRva));
    if (info->Line && info->FunctionLine && info->Line >= info->FunctionLine)
      item.RelLine = int(info->Line - info->FunctionLine);
    return item;
  }
  std::string name;
  DWORD start = 0;
  if (NearestExport(reinterpret_cast<const BYTE*>(module), rva, name, start)) {
    item.Function = name;
    item.RelAddr = std::uint32_t(address - (base + start));
  }
  return item;
}

std::vector<std::uintptr_t> RawStack(const CONTEXT& context) {
  std::vector<std::uintptr_t> frames;
  frames.reserve(kMaxStackFrames);
  if (std::uintptr_t end = StackRegionEnd(RegistersOf(context).StackPointer)) WalkStack(context, end, frames);
  return frames;
}

std::vector<TThreadFacts> CaptureThreads(DWORD crashedId, const CONTEXT* crashed, DWORD mainId,
                                         const std::vector<DWORD>& skip, bool allThreads) {
  auto facts = [&](DWORD id) {
    TThreadFacts t;
    t.Thread.Id = id;
    if (auto entry = LookUpThread(id)) {
      t.Thread.Name = entry->Name;
      t.Thread.ClassName = entry->ClassName;
      if (entry->CreatorId) {
        TThreadCreator creator;
        creator.ThreadId = entry->CreatorId;
        if (auto by = LookUpThread(entry->CreatorId)) {
          creator.Name = by->Name;
          creator.ClassName = by->ClassName;
        }
        if (entry->CreatorAddress) creator.Address = DescribeAddress(entry->CreatorAddress, true);
        t.Thread.Creator = creator;
      }
    }
    return t;
  };
  // The thread being walked just now: suspended, it must be let go whatever the walk meets.
  HANDLE suspended = nullptr;
  std::vector<std::uintptr_t> frames;
  frames.reserve(kMaxStackFrames);
  auto walkOther = [&](TThreadFacts& t) {
    t = facts(t.Thread.Id);
    const DWORD id = t.Thread.Id;
    HANDLE h = OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | THREAD_QUERY_INFORMATION, FALSE, id);
    if (!h) {
      t.StackReadable = false;
      return;
    }
    frames.clear();
    DWORD previous = SuspendThread(h);
    if (previous != DWORD(-1)) suspended = h;
    t.Thread.Suspended = previous != DWORD(-1) && previous > 0;
    t.Thread.Priority = GetThreadPriority(h);
    CONTEXT context{};
    context.ContextFlags = CONTEXT_CONTROL | CONTEXT_INTEGER;
    t.StackReadable = false;
    if (previous != DWORD(-1) && GetThreadContext(h, &context)) {
      std::uintptr_t end = StackRegionEnd(RegistersOf(context).StackPointer);
      // While it is suspended nothing is allocated, and a thread that holds the loader
      // lock is not walked at all: the walk's lookups would wait for it for ever.
      t.StackReadable = end != 0 && LoaderLockOwner() != id;
      if (t.StackReadable) WalkStack(context, end, frames);
    }
    if (suspended) ResumeThread(suspended);
    suspended = nullptr;
    CloseHandle(h);
    if (t.StackReadable) t.Items = Describe(frames);
    if (!t.Items.empty()) t.Thread.Current = t.Items.front();
  };
  // Each walk is an item of its own: a fault in it leaves the internal-error line.
  auto walkGuarded = [&](DWORD id) {
    TThreadFacts t;
    t.Thread.Id = id;
    if (!Guarded("stack walk", [&] { walkOther(t); })) {
      if (suspended) ResumeThread(suspended);
      suspended = nullptr;
      TGuardFault fault = LastGuardFault();
      TThreadFacts failed;
      failed.Thread.Id = id;
      failed.StackReadable = false;
      failed.Failure = TThreadFacts::TFailure{fault.Step, {}};
      if (fault.Address) failed.Failure->OwnStack.push_back(DescribeAddress(fault.Address, false));
      t = std::move(failed);
    }
    return t;
  };

  std::vector<TThreadFacts> threads;
  if (crashed) {
    // The crashed thread waits for the report: walked as it stands, not suspended.
    TThreadFacts first;
    TThreadRegisters regs = RegistersOf(*crashed);
    bool walked = Guarded("stack walk", [&] {
      first = facts(crashedId);
      std::uintptr_t end = StackRegionEnd(regs.StackPointer);
      first.StackReadable = end != 0;
      if (end) {
        WalkStack(*crashed, end, frames);
        first.Items = Describe(frames);
      }
    });
    if (!walked) {
      first = {};
      first.Thread.Id = crashedId;
      first.Failure = TThreadFacts::TFailure{LastGuardFault().Step, {}};
      if (LastGuardFault().Address) first.Failure->OwnStack.push_back(DescribeAddress(LastGuardFault().Address, false));
    }
    if (first.Items.empty() && regs.ProgramCounter) first.Items.push_back(DescribeAddress(regs.ProgramCounter, false));
    if (!first.Items.empty()) first.Thread.Current = first.Items.front();
    threads.push_back(std::move(first));
  } else {
    threads.push_back(walkGuarded(crashedId));
  }
  if (!allThreads) return threads;
  if (mainId != crashedId) threads.push_back(walkGuarded(mainId));

  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return threads;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  DWORD self = GetCurrentThreadId(), pid = GetCurrentProcessId();
  for (BOOL ok = Thread32First(snapshot, &entry); ok; ok = Thread32Next(snapshot, &entry)) {
    DWORD id = entry.th32ThreadID;
    if (entry.th32OwnerProcessID != pid || id == self || id == crashedId || id == mainId) continue;
    if (std::find(skip.begin(), skip.end(), id) != skip.end()) continue;
    // The reporter's internal threads and the watchdog are not listed.
    if (auto named = LookUpThread(id);
        named && (named->Name == "-" || named->Name == "AntiFreezeThread" || named->Name == "HandleExceptionThread"))
      continue;
    threads.push_back(walkGuarded(id));
  }
  CloseHandle(snapshot);
  return threads;
}

}  // namespace vm::capture

// The process-wide thread-name table: a small named block, "ZentrapixThreadNameBuf$<pid>",
// that every module of the process linking the reporter finds by name. It holds the
// block's reference count and mapping, two mutexes and the head of a list in the process
// heap: the first mutex guards the list, the second the opening and closing of the block.
// Readers wait at most 50 ms, so a thread that died holding the list never stops a report.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "crashreport/capture/Capture_win32.h"

namespace vm::capture {

namespace {

struct TNameEntry {
  TNameEntry* Next;
  DWORD ThreadId;
  DWORD CreatorId;
  std::uintptr_t CreatorAddress;
  char Name[64];
  char ClassName[64];
};

// Five machine words: 20 bytes in the shipped 32-bit program.
struct TNameBlock {
  std::uintptr_t RefCount;
  HANDLE Mapping;
  HANDLE ListMutex;
  HANDLE OpenMutex;
  TNameEntry* Head;
};
static_assert(sizeof(TNameBlock) == 5 * sizeof(void*));

TNameBlock* Block = nullptr;

void CopyText(char (&to)[64], const char* from) { std::snprintf(to, sizeof to, "%s", from ? from : ""); }

class TListLock {
public:
  explicit TListLock(DWORD ms) : FOwned(Block && WaitForSingleObject(Block->ListMutex, ms) != WAIT_TIMEOUT) {}
  ~TListLock() {
    if (FOwned) ReleaseMutex(Block->ListMutex);
  }
  bool Owned() const { return FOwned; }

private:
  bool FOwned;
};

}  // namespace

bool OpenThreadNameTable() {
  if (Block) return true;
  std::string name = ThreadNameBlockName(GetCurrentProcessId());
  HANDLE mapping =
      CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(TNameBlock), name.c_str());
  if (!mapping) return false;
  bool created = GetLastError() != ERROR_ALREADY_EXISTS;
  auto* block = static_cast<TNameBlock*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(TNameBlock)));
  if (!block) {
    CloseHandle(mapping);
    return false;
  }
  if (created) {
    block->OpenMutex = CreateMutexA(nullptr, FALSE, nullptr);
    block->ListMutex = CreateMutexA(nullptr, FALSE, nullptr);
    block->Mapping = mapping;
    if (!block->OpenMutex || !block->ListMutex) return false;
  }
  // Another module made the block first: its mutexes serve us too. Only the opening
  // module's handles are kept in the block; ours closes with the process.
  WaitForSingleObject(block->OpenMutex, 1000);
  ++block->RefCount;
  ReleaseMutex(block->OpenMutex);
  Block = block;
  return true;
}

void RegisterThread(DWORD id, const char* name, const char* className, std::uintptr_t creatorAddress, DWORD creatorId) {
  TListLock lock(1000);
  if (!lock.Owned()) return;
  TNameEntry* entry = Block->Head;
  while (entry && entry->ThreadId != id) entry = entry->Next;
  if (!entry) {
    entry = static_cast<TNameEntry*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(TNameEntry)));
    if (!entry) return;
    entry->ThreadId = id;
    entry->Next = Block->Head;
    Block->Head = entry;
  }
  if (name) CopyText(entry->Name, name);
  if (className) CopyText(entry->ClassName, className);
  if (creatorId) {
    entry->CreatorId = creatorId;
    entry->CreatorAddress = creatorAddress;
  }
}

void UnregisterThread(DWORD id) {
  TListLock lock(1000);
  if (!lock.Owned()) return;
  for (TNameEntry** link = &Block->Head; *link; link = &(*link)->Next) {
    if ((*link)->ThreadId != id) continue;
    TNameEntry* gone = *link;
    *link = gone->Next;
    HeapFree(GetProcessHeap(), 0, gone);
    return;
  }
}

std::optional<TThreadName> LookUpThread(DWORD id, bool* timedOut) {
  TListLock lock(50);
  if (timedOut) *timedOut = Block && !lock.Owned();
  if (!lock.Owned()) return std::nullopt;
  for (TNameEntry* e = Block->Head; e; e = e->Next)
    if (e->ThreadId == id) return TThreadName{e->Name, e->ClassName, e->CreatorAddress, e->CreatorId};
  return std::nullopt;
}

const BYTE* ProcessBlock() {
  using TQuery = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  auto query = reinterpret_cast<TQuery>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
  // ProcessBasicInformation (0): exit status, then the block's address.
  struct {
    LONG ExitStatus;
    const BYTE* PebBaseAddress;
    ULONG_PTR Rest[4];
  } basic{};
  if (!query || query(GetCurrentProcess(), 0, &basic, sizeof basic, nullptr) != 0) return nullptr;
  return basic.PebBaseAddress;
}

DWORD LoaderLockOwner() {
  const RTL_CRITICAL_SECTION* lock = LoaderLock();
  return lock ? DWORD(reinterpret_cast<std::uintptr_t>(lock->OwningThread)) : 0;
}
bool LoaderLockHeld() { return LoaderLockOwner() != 0; }

}  // namespace vm::capture

namespace vm {

void NameCurrentThread(const std::string& name) {
  capture::RegisterThread(GetCurrentThreadId(), name.c_str(), nullptr, 0, 0);
}

}  // namespace vm

// What the capture side collects for one exception, handed to the report composer:
// the exception itself, and every reported thread with its title and its stack items.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "crashreport/capture/CaptureLayouts.h"

namespace vm {

// One line of a thread's call stack.
struct TStackItem {
  std::uintptr_t Address = 0;
  std::uintptr_t RelAddress = 0;  // offset from the function start, 0 without one
  std::string Module;             // file name, "???" outside every module
  std::string Unit;
  std::uint32_t Line = 0;         // 0: unknown
  std::int64_t RelLine = 0;       // line relative to the function's first line
  bool HasRelLine = false;
  std::string Function;
};

struct TThreadFacts {
  std::uint32_t Id = 0;
  std::string Title;  // "main thread ($1f)", "thread $20", ...
  bool Suspended = false;
  int Priority = 0;
  bool StackReadable = true;
  std::vector<TStackItem> Items;
  // The thread that created this one and where, when the name table knows them.
  std::string CreatorTitle;
  std::optional<TStackItem> CreatedAt;
};

struct TCrashFacts {
  TExceptionType Type = TExceptionType::Exception;
  TCaptureSource Source = TCaptureSource::UnhandledFilter;
  std::string ClassName, Message;
  std::uintptr_t Address = 0;
  bool CanContinue = false;
  std::uint32_t ThreadId = 0, MainThreadId = 0;
  std::vector<TThreadFacts> Threads;  // the crashed thread first, then the main thread, then the others
};

}  // namespace vm

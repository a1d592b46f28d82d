#include "crashreport/report/CrashException.h"

#include <cmath>
#include <type_traits>

#include "base/Text.h"
#include "crashreport/report/ReportText.h"

namespace vm {

namespace {

struct TPluginSection {
  const char* Title;
  bool Wanted;
};

constexpr const char* kCallstackCrc = "callstack crc";
constexpr const char* kStackSoon = ">> stack will be calculated soon";
constexpr const char* kSectionSoon = ">> will be calculated soon";
std::atomic<std::uint64_t> gExceptionCounter{0};

bool RunCatching(const char*, void (*item)(void*), void* context) {
  try {
    item(context);
    return true;
  } catch (...) {
    return false;
  }
}
std::atomic<TReportItemRunner> gItemRunner{RunCatching};

template <class F>
bool RunItem(const char* step, F&& item) {
  using TItem = std::remove_reference_t<F>;
  return gItemRunner.load()(
      step, [](void* f) { (*static_cast<TItem*>(f))(); }, &item);
}

std::uint64_t RoundMB(std::uint64_t bytes) { return (bytes + (1u << 19)) >> 20; }

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) text += (i ? "\r\n" : "") + lines[i];
  return text;
}

std::string DiskText(const std::vector<TDiskFree>& disks, char separator) {
  std::string text;
  for (const TDiskFree& d : disks)
    text += (text.empty() ? "" : " ") + FormatText("(%c:) ", AsciiUpper(d.Drive)) + FormatSize(d.FreeBytes, separator);
  return text;
}

}  // namespace

void SetReportItemRunner(TReportItemRunner runner) { gItemRunner = runner ? runner : RunCatching; }

TICrashException::TICrashException(const TICrashSettings& settings, TExceptionFacts facts)
    : TICrashSettings(settings), FFacts(std::move(facts)) {}

std::uint64_t TICrashException::NextExceptionNumber() { return ++gExceptionCounter; }

void TICrashException::PutHeader(std::string_view name, std::string value) {
  {
    std::lock_guard lock(FLock);
    FHeader.Put(name, value);
    ++FChangeCount;
  }
  Changed();
}

void TICrashException::BuildHeader(const THeaderFacts& f) {
  FTime = f.ExceptionTime;
  const char sep = f.DecimalSeparator;
  // Each row under its own guard: a row that fails is left out, the others still come.
  auto row = [&](const char* name, auto&& value) {
    // Formatted under the guard, stored after it: a row that failed half-way leaves no lock held.
    std::optional<std::string> text;
    if (!RunItem("header row", [&] { text = value(); })) return;
    // An empty answer tells nothing; the row is left out as if the system had none.
    if (text && !text->empty()) PutHeader(name, std::move(*text));
  };
  using opt = std::optional<std::string>;
  BeginUpdate();
  row("date/time", [&]() -> opt { return FormatReportDateTime(f.ExceptionTime); });
  row("computer name", [&]() -> opt { return f.ComputerName; });
  row("wts client name", [&]() -> opt { return f.WtsClientName; });
  row("user name", [&]() -> opt {
    if (!f.UserName) return {};
    return *f.UserName + (f.UserIsAdmin ? "  <admin>" : "");
  });
  row("registered owner", [&]() -> opt {
    if (!f.RegisteredOwner || f.RegisteredOwner->empty()) return {};
    return *f.RegisteredOwner + (f.RegisteredOrganization.empty() ? "" : " / " + f.RegisteredOrganization);
  });
  row("operating system", [&]() -> opt {
    if (!f.OperatingSystem) return {};
    return *f.OperatingSystem + (f.OsBuild ? " build " + std::to_string(*f.OsBuild) : "");
  });
  row("system language", [&]() -> opt { return f.SystemLanguage; });
  row("system up time", [&]() -> opt {
    if (!f.SystemUpTimeMs) return {};
    return FormatDuration(*f.SystemUpTimeMs);
  });
  row("program up time", [&]() -> opt {
    if (!f.ProgramUpTimeMs) return {};
    return FormatProgramUpTime(*f.ProgramUpTimeMs);
  });
  if (f.ProcessorName)
    row(f.ProcessorCount > 1 ? "processors" : "processor", [&]() -> opt {
      if (f.ProcessorCount > 1) return std::to_string(f.ProcessorCount) + "x " + *f.ProcessorName;
      return *f.ProcessorName;
    });
  row("physical memory", [&]() -> opt {
    if (!f.PhysicalFree || !f.PhysicalTotal) return {};
    return FormatText("%llu/%llu MB (free/total)", static_cast<unsigned long long>(RoundMB(*f.PhysicalFree)),
                      static_cast<unsigned long long>(RoundMB(*f.PhysicalTotal)));
  });
  row("system resources", [&]() -> opt {
    if (!f.SystemResources) return {};
    return FormatText("%d%%/%d%% (gdi/user)", f.SystemResources->first, f.SystemResources->second);
  });
  row("free disk space", [&]() -> opt {
    if (f.FreeDisk.empty()) return {};
    return DiskText(f.FreeDisk, sep);
  });
  row("display mode", [&]() -> opt {
    if (!f.Display) return {};
    return FormatText("%dx%d, %d bit", f.Display->Width, f.Display->Height, f.Display->Bits);
  });
  row("process id", [&]() -> opt {
    if (!f.ProcessId) return {};
    return DollarHex(*f.ProcessId);
  });
  row("allocated memory", [&]() -> opt {
    if (!f.AllocatedMemory) return {};
    return FormatSize(*f.AllocatedMemory, sep);
  });
  row("command line", [&]() -> opt { return f.CommandLine; });
  row("executable", [&]() -> opt { return f.Executable; });
  row("current module", [&]() -> opt { return f.CurrentModule; });
  row(f.CurrentModule ? "module date/time" : "exec. date/time", [&]() -> opt {
    if (!f.ExecDateTime) return {};
    return FormatExecDateTime(*f.ExecDateTime);
  });
  row("version", [&]() -> opt {
    if (!f.Version || f.Version->empty()) return {};
    return f.Version;
  });
  row("bde version", [&]() -> opt { return f.BdeVersion; });
  row("compiled with", [&]() -> opt { return f.CompiledWith.empty() ? CompilerText() : f.CompiledWith; });
  row("Zentrapix version", [&]() -> opt { return std::string("3.0h"); });
  for (const auto& item : f.PluginItems) row(item.first.c_str(), [&]() -> opt { return item.second; });
  {
    std::lock_guard lock(FLock);
    FHeaderAnchor = FHeader.Count() ? FHeader.Name(FHeader.Count() - 1) : std::string();
  }
  row(kCallstackCrc, [&]() -> opt { return std::string(kCalculatedSoon); });
  row("exception number", [&]() -> opt { return std::to_string(NextExceptionNumber()); });
  if (FFacts.Type == TExceptionType::Freeze) {
    row("exception message", [&]() -> opt { return CleanExceptionMessage(FrozenMsg()); });
  } else {
    row("exception class", [&]() -> opt { return FFacts.ClassName; });
    row("exception message", [&]() -> opt {
      if (FFacts.Message == FFacts.ClassName) return {};
      return CleanExceptionMessage(FFacts.Message);
    });
  }
  TICrashFields added = AdditionalFields();
  for (int i = 0; i < added.Count(); ++i) SetHeaderField(added.Name(i), added.Value(i));
  EndUpdate();
}

void TICrashException::SetHeaderField(std::string_view name, std::string_view value) {
  std::string text = Trim(value);
  {
    std::lock_guard lock(FLock);
    int at = FHeader.IndexOf(name);
    if (at >= 0 && text.empty())
      FHeader.Delete(at);
    else if (at >= 0)
      FHeader.SetValue(at, text);
    else if (!text.empty()) {
      int anchor = FHeader.IndexOf(FHeaderAnchor);
      if (anchor < 0) anchor = FHeader.IndexOf(kCallstackCrc);
      FHeader.Insert(anchor < 0 ? FHeader.Count() : anchor, Trim(name), text);
    } else
      return;
    ++FChangeCount;
  }
  Changed();
}

TICrashFields TICrashException::HeaderFields() const {
  std::lock_guard lock(FLock);
  return FHeader;
}

TStackLineOptions TICrashException::LineOptions() const { return {ShowRelAddrs(), ShowRelLines(), HideUglyItems()}; }

void TICrashException::BuildSections(const std::vector<TThreadRecord>& threads) {
  const bool freeze = FFacts.Type == TExceptionType::Freeze;
  const std::uint32_t first = freeze ? FFacts.MainThreadId : FFacts.CrashedThreadId;
  auto find = [&](std::uint32_t id) -> const TThreadRecord* {
    for (const TThreadRecord& t : threads)
      if (t.Id == id) return &t;
    return nullptr;
  };
  FThreads.clear();
  if (const TThreadRecord* t = find(first))
    FThreads.push_back(*t);
  else {
    // The crashed thread always leads, even when the system's list missed it.
    TThreadRecord missing;
    missing.Id = first;
    missing.Current = FFacts.Location;
    FThreads.push_back(missing);
  }
  if (FFacts.MainThreadId != first)
    if (const TThreadRecord* t = find(FFacts.MainThreadId)) FThreads.push_back(*t);
  if (ListThreads())
    for (const TThreadRecord& t : threads)
      if (t.Id != first && t.Id != FFacts.MainThreadId && !IsHiddenThreadName(t.Name)) FThreads.push_back(t);
  FStacks.assign(FThreads.size(), {});
  FThreadSection.clear();
  const TStackLineOptions options = LineOptions();
  // Each section's first lines under a guard of their own, before the lock is taken.
  std::vector<std::pair<std::string, std::string>> sections;
  for (const TThreadRecord& t : FThreads) {
    std::string title, content;
    if (!RunItem("section", [&] {
          title = ThreadSectionTitle(t);
          content = FormatStackLines({t.Current}, options).at(0) + "\r\n" + kStackSoon;
        })) {
      title = ThreadTitle(t.Id, "", "") + ":";
      content = kStackSoon;
    }
    sections.emplace_back(std::move(title), std::move(content));
  }
  {
    std::lock_guard lock(FLock);
    for (const auto& [title, content] : sections) {
      FThreadSection.push_back(FSections.Count());
      FSections.Insert(FSections.Count(), title, content);
    }
    for (const TPluginSection& plugin : {TPluginSection{"cpu registers", CpuRegs() && FFacts.HasContext},
                                         TPluginSection{"stack dump", StackDump() && FFacts.HasContext},
                                         TPluginSection{"disassembling", ShowDisAsm()}})
      if (plugin.Wanted) FSections.Insert(FSections.Count(), plugin.Title, kSectionSoon);
    ++FChangeCount;
  }
  Changed();
}

void TICrashException::SetThreadStack(int thread, const std::vector<TStackItem>& items) {
  const TThreadRecord& t = FThreads.at(size_t(thread));
  const TStackLineOptions options = LineOptions();
  std::vector<TStackItem> kept;
  for (const TStackItem& item : items)
    if (IsKeptStackItem(item, options)) kept.push_back(item);
  std::string content;
  bool done = RunItem("stack lines", [&] {
    std::vector<TStackItem> shown = kept;
    if (t.Creator) shown.push_back(t.Creator->Address);
    std::vector<std::string> lines = FormatStackLines(shown, options);
    if (t.Creator) {
      lines.insert(lines.end() - 1,
                   ">> created by " + ThreadTitle(t.Creator->ThreadId, t.Creator->Name, t.Creator->ClassName) + " at:");
    }
    content = JoinLines(lines);
  });
  if (!done)
    content = ">> internal error in stack lines:\r\n>> original exception location: " +
              FormatText("%08llx", static_cast<unsigned long long>(FFacts.Location.Address));
  {
    std::lock_guard lock(FLock);
    FStacks.at(size_t(thread)) = std::move(kept);
    FSections.SetValue(FThreadSection.at(size_t(thread)), content);
    ++FChangeCount;
  }
  Changed();
}

void TICrashException::SetThreadNotAccessible(int thread) {
  std::string content = ">> stack not accessible";
  if (thread == 0 && FThreads.at(0).Id == FFacts.CrashedThreadId)
    content += ", exception location: \r\n" + FormatStackLines({FFacts.Location}, LineOptions()).at(0);
  {
    std::lock_guard lock(FLock);
    FStacks.at(size_t(thread)).clear();
    FSections.SetValue(FThreadSection.at(size_t(thread)), content);
    ++FChangeCount;
  }
  Changed();
}

void TICrashException::SetThreadInternalError(int thread, std::string_view step,
                                              const std::vector<TStackItem>& ownStack) {
  std::string content;
  if (!RunItem("internal error",
               [&] { content = InternalErrorContent(step, ownStack, &FFacts.Location, LineOptions()); }))
    content = ">> internal error in " + std::string(step) + ":";
  {
    std::lock_guard lock(FLock);
    FStacks.at(size_t(thread)).clear();
    FSections.SetValue(FThreadSection.at(size_t(thread)), content);
    ++FChangeCount;
  }
  Changed();
}

void TICrashException::SetSection(std::string_view title, std::string_view content) {
  {
    std::lock_guard lock(FLock);
    int at = FSections.IndexOf(title);
    if (at < 0)
      FSections.Insert(FSections.Count(), title, content);
    else
      FSections.SetValue(at, content);
    ++FChangeCount;
  }
  Changed();
}

TICrashFields TICrashException::Sections() const {
  std::lock_guard lock(FLock);
  return FSections;
}

void TICrashException::Complete() {
  {
    std::lock_guard lock(FLock);
    std::vector<std::vector<TStackItem>> others(FStacks.begin() + (FStacks.empty() ? 0 : 1), FStacks.end());
    FChecksums = ComputeCallstackChecksums(FStacks.empty() ? std::vector<TStackItem>() : FStacks[0], others);
    FHeader.Put(kCallstackCrc, CallstackCrcText(FChecksums));
    ++FChangeCount;
  }
  FCompleted = true;
  Changed();
  RunCallbacks(TCallbackKind::Completed);
}

TCallstackChecksums TICrashException::CallstackChecksums() const {
  std::lock_guard lock(FLock);
  return FChecksums;
}

std::string TICrashException::BugReport() const {
  std::uint64_t at;
  TICrashFields header, sections;
  {
    std::lock_guard lock(FLock);
    if (FCachedAt == FChangeCount) return FCachedText;
    at = FChangeCount;
    header = FHeader;
    sections = FSections;
  }
  // Built without the lock, so that a slow reader never holds up the completion thread;
  // kept only when nothing changed meanwhile.
  std::string text = ComposeReportText(header, sections);
  std::lock_guard lock(FLock);
  if (FChangeCount == at) {
    FCachedText = text;
    FCachedAt = at;
  }
  return text;
}

void TICrashException::SetBugReport(std::string_view text) {
  {
    std::lock_guard lock(FLock);
    ++FChangeCount;
    FCachedText = text;
    FCachedAt = FChangeCount;
  }
  Changed();
}

void TICrashException::BeginUpdate() {
  std::lock_guard lock(FLock);
  ++FUpdateDepth;
}

void TICrashException::EndUpdate() {
  bool run;
  {
    std::lock_guard lock(FLock);
    run = --FUpdateDepth == 0 && FChangedInUpdate;
    if (FUpdateDepth == 0) FChangedInUpdate = false;
  }
  if (run) RunCallbacks(TCallbackKind::Changed);
}

std::uint64_t TICrashException::ChangeCount() const {
  std::lock_guard lock(FLock);
  return FChangeCount;
}

void TICrashException::Changed() {
  {
    std::lock_guard lock(FLock);
    if (FUpdateDepth > 0) {
      FChangedInUpdate = true;
      return;
    }
  }
  RunCallbacks(TCallbackKind::Changed);
}

int TICrashException::RegisterCallback(TCallbackKind kind, TCallback callback) {
  std::lock_guard lock(FLock);
  FCallbacks.push_back({FNextCallbackId, kind, std::move(callback)});
  return FNextCallbackId++;
}

void TICrashException::UnregisterCallback(int id) {
  std::lock_guard lock(FLock);
  std::erase_if(FCallbacks, [id](const TRegistered& r) { return r.Id == id; });
}

void TICrashException::RunCallbacks(TCallbackKind kind) {
  std::vector<TCallback> due;
  {
    std::lock_guard lock(FLock);
    for (const TRegistered& r : FCallbacks)
      if (r.Kind == kind) due.push_back(r.Callback);
  }
  // Outside the lock: a callback reads the report, and may unregister itself.
  for (TCallback& callback : due) {
    try {
      callback(*this);
    } catch (...) {
    }
  }
}

}  // namespace vm

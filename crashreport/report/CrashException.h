// The exception record as far as the bug report goes: header fields, sections, the report
// text and its checksums, built from plain records. The capture side creates it, fills it
// in this order and hands it on:
//   TICrashException record(settings, facts);
//   record.BuildHeader(headerFacts);           // "callstack crc" reads "will be calculated soon"
//   record.BuildSections(threads);             // every section "will be calculated soon"
//   record.SetThreadStack(i, items) / SetThreadNotAccessible(i)   (any thread, any order)
//   record.Complete();                         // checksums, "callstack crc", callbacks
// Readers on other threads call BugReport() at any time.
// Tests: tests/crashreport/report/CrashExceptionTest.cpp (golden report).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "crashreport/report/ReportFormat.h"
#include "crashreport/report/ReportRecords.h"
#include "crashreport/screenshot/INVBitmap.h"
#include "crashreport/settings/CrashFields.h"
#include "crashreport/settings/CrashSettings.h"

namespace vm {

inline constexpr const char* kCalculatedSoon = "will be calculated soon";

// Runs one item of a report (a header row, a section's lines); false when it failed. The
// plain runner catches C++ exceptions; the capture side puts in one that also survives a
// hardware fault inside the item.
using TReportItemRunner = bool (*)(const char* step, void (*item)(void*), void* context);
void SetReportItemRunner(TReportItemRunner runner);

class TICrashException : public TICrashSettings {
public:
  // Starts with a private copy of `settings`: per-exception changes stay in this record.
  TICrashException(const TICrashSettings& settings, TExceptionFacts facts);

  const TExceptionFacts& Facts() const { return FFacts; }
  TExceptionType ExceptionType() const { return FFacts.Type; }
  const std::string& ExceptionClass() const { return FFacts.ClassName; }
  const std::string& ExceptionMessage() const { return FFacts.Message; }

  // The header rows in their order, each under its own guard; takes the next exception number.
  void BuildHeader(const THeaderFacts& facts);
  // A field added later (AddFields, assistant pages): inserted in front of the row added
  // last before "callstack crc", replacing an existing one; an empty value removes it.
  // Values are trimmed.
  void SetHeaderField(std::string_view name, std::string_view value);
  TICrashFields HeaderFields() const;  // a copy taken under the lock

  // The sections in report order: crashed thread, main thread, others (with `ListThreads`),
  // then "cpu registers", "stack dump", "disassembling" as the settings ask. `threads` is
  // the system's thread list; hidden threads are dropped. Returns nothing; the reported
  // threads are ReportedThreads(), in section order.
  void BuildSections(const std::vector<TThreadRecord>& threads);
  const std::vector<TThreadRecord>& ReportedThreads() const { return FThreads; }
  // Writes a thread's stack (index into ReportedThreads()).
  void SetThreadStack(int thread, const std::vector<TStackItem>& items);
  void SetThreadNotAccessible(int thread);
  // A thread whose walk failed: the internal-error line of `step`, the reporter's own
  // stack at the failure, and the exception's location.
  void SetThreadInternalError(int thread, std::string_view step, const std::vector<TStackItem>& ownStack);
  // Any section by title (registers, plug-ins); appended when missing.
  void SetSection(std::string_view title, std::string_view content);
  TICrashFields Sections() const;

  // Computes the checksums from the stacks written so far, writes "callstack crc", marks the
  // report complete and runs the completion callbacks.
  void Complete();
  bool Completed() const { return FCompleted; }
  TCallstackChecksums CallstackChecksums() const;

  // The report text, cached until the next change.
  std::string BugReport() const;
  // Replaces the whole text (an assistant's edits); kept until the next change.
  void SetBugReport(std::string_view text);

  // Batches changes: the change callbacks run once, at the outermost EndUpdate.
  void BeginUpdate();
  void EndUpdate();
  std::uint64_t ChangeCount() const;

  enum class TCallbackKind { Changed, Completed };
  using TCallback = std::function<void(TICrashException&)>;
  int RegisterCallback(TCallbackKind kind, TCallback callback);
  void UnregisterCallback(int id);

  // The screenshot taken with the record, and whether a send attaches it. Both belong to
  // the handler thread (the screenshot page changes them), so they take no lock.
  const std::optional<TINVBitmap>& Screenshot() const { return FScreenshot; }
  void SetScreenshot(std::optional<TINVBitmap> picture) { FScreenshot = std::move(picture); }
  bool AttachScreenshot() const { return FAttachScreenshot; }
  void SetAttachScreenshot(bool attach) { FAttachScreenshot = attach; }

  int Phase() const { return FPhase; }
  void SetPhase(int phase) { FPhase = phase; }

  // The process's exception counter, shown as "exception number".
  static std::uint64_t NextExceptionNumber();

private:
  void Changed();  // call with the lock released
  void RunCallbacks(TCallbackKind kind);
  void PutHeader(std::string_view name, std::string value);
  TStackLineOptions LineOptions() const;

  TExceptionFacts FFacts;
  std::vector<TThreadRecord> FThreads;
  std::vector<int> FThreadSection;               // section index per reported thread
  std::vector<std::vector<TStackItem>> FStacks;  // kept items per reported thread
  std::string FHeaderAnchor;                     // row in front of which later fields go
  TLocalTime FTime;
  int FPhase = 0;
  std::optional<TINVBitmap> FScreenshot;
  bool FAttachScreenshot = true;
  std::atomic<bool> FCompleted{false};

  mutable std::mutex FLock;  // over everything below
  TICrashFields FHeader, FSections;
  TCallstackChecksums FChecksums;
  std::uint64_t FChangeCount = 0;
  mutable std::string FCachedText;
  mutable std::uint64_t FCachedAt = ~std::uint64_t(0);
  int FUpdateDepth = 0;
  bool FChangedInUpdate = false;
  struct TRegistered {
    int Id;
    TCallbackKind Kind;
    TCallback Callback;
  };
  std::vector<TRegistered> FCallbacks;
  int FNextCallbackId = 1;
};

}  // namespace vm

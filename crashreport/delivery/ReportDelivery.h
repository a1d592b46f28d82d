// Sending one bug report: its texts and attachments prepared from the settings, the
// channels tried in order, the outcome recorded. Entry point: SendBugReport.
// Tests: tests/crashreport/delivery/ReportDeliveryTest.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "crashreport/delivery/DeliverySystem.h"
#include "crashreport/screenshot/INVBitmap.h"
#include "crashreport/settings/CrashSettings.h"

namespace vm {

// What a send needs of the exception record besides its settings.
class IDeliveryRecord {
public:
  virtual ~IDeliveryRecord() = default;
  virtual bool Saved() const = 0;  // the report is in the bug-report file already
  virtual void MarkSent() = 0;
};

struct TSendRequest {
  std::string BugReport;
  std::optional<TINVBitmap> Screenshot;
  std::uintptr_t ParentWindow = 0;
  ICrashSettings* Settings = nullptr;  // the exception record's settings; outlives the send
  IDeliveryRecord* Record = nullptr;   // may be none; outlives the send
  bool Background = false;
  bool Hidden = false;          // automatic: no failure box, no progress box unless AutoSendBox
  bool ProcessBlocked = false;  // other threads are suspended: no thread may be started
};

struct TSendTexts {
  std::string Subject, Body, Sender, ExceptionMessage;
  std::vector<std::string> Recipients;
};

struct TSendAttachment {
  std::string Path, SendAs, FieldName, ArchiveName;
};

struct TPreparedAttachments {
  std::vector<TSendAttachment> Files;
  std::string ScreenshotFile;        // written for this send, or empty
  bool DeleteBugReportFile = false;  // the file was copied and `DelBugRepFile` asks for it
  std::string BugReportFile;
};

// The value of the report's "exception message" header line, trimmed; empty without one.
std::string ExceptionMessageOf(const std::string& report);
// "%exceptMsg%" ("Unknown" for an empty message) and "%bugReport%", any case, in one scan.
std::string ExpandSendPlaceholders(const std::string& text, const std::string& message, const std::string& report);
TSendTexts PrepareSendTexts(const ICrashSettings& settings, const std::string& report);
TICrashFields SendFields(const ICrashSettings& settings, const TSendTexts& texts);
std::vector<TProgressStep> SendProgressSteps(const ICrashSettings& settings, bool withAttachments);
TPreparedAttachments PrepareAttachments(const TSendRequest& request);

// Sends the report. In the background (when allowed) the work moves to a new thread, whose
// handle goes to `thread`, and the call succeeds at once.
bool SendBugReport(const TSendRequest& request, std::shared_ptr<TSendThread>* thread = nullptr);

}  // namespace vm

#include "server/Upload.h"

#include <cstring>

namespace vm::server {
namespace {

TUploadError Refused(std::string message) { return {400, std::move(message)}; }

}  // namespace

bool LooksLikePng(const std::string& bytes) {
  static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  static const unsigned char kIhdr[8] = {0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  return bytes.size() >= 8 + 8 + 13 + 4 && std::memcmp(bytes.data(), kSignature, 8) == 0 &&
         std::memcmp(bytes.data() + 8, kIhdr, 8) == 0;
}

std::variant<TUpload, TUploadError> ReadUpload(const std::vector<TFormPart>& parts) {
  TUpload upload;
  const TFormPart* bugReport = nullptr;
  const TFormPart* screenshot = nullptr;
  for (const TFormPart& part : parts) {
    const TFormPart** slot = part.Name == "BugReport" ? &bugReport : part.Name == "ScreenShot" ? &screenshot : nullptr;
    if (slot) {
      if (*slot) return Refused("the form holds \"" + part.Name + "\" twice");
      *slot = &part;
    } else if (part.Name == "MailFrom") {
      upload.MailFrom = part.Content;
    } else if (part.Name == "MailSubject") {
      upload.MailSubject = part.Content;
    } else if (part.Name == "MailBody") {
      upload.MailBody = part.Content;
    } else if (part.Name == "MailAddr") {
      upload.MailAddr = part.Content;
    }
    // Further fields are the program's to add later; they are not ours to refuse.
  }
  if (!bugReport || bugReport->Content.empty()) return Refused("no bug report attached (form field \"BugReport\")");
  if (screenshot && !LooksLikePng(screenshot->Content)) return Refused("the screenshot is not a PNG picture");

  const auto reports = SplitReports(bugReport->Content);
  for (size_t i = 0; i < reports.size(); ++i) {
    auto facts = ReadReportFacts(reports[i]);
    if (facts) {
      upload.Reports.push_back(std::move(*facts));
    } else if (i + 1 == reports.size()) {
      return Refused("the bug report has no header (date/time, executable, callstack crc)");
    } else {
      // An older report damaged in the user's file must not block every later upload.
      ++upload.SkippedReports;
    }
  }
  if (upload.Reports.empty()) return Refused("the bug report has no header (date/time, executable, callstack crc)");
  if (screenshot) upload.Screenshot = screenshot->Content;
  return upload;
}

}  // namespace vm::server

// One upload as the crash reporter sends it: its form fields, the bug-report file (which may
// hold older reports in front of the new one) and the screenshot. Entry point: ReadUpload.
// Tests: tests/server/UploadTest.cpp, and tests/server/test_receiving.py over HTTP.
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "server/ReportFacts.h"

namespace vm::server {

// A part of the multipart form, as the HTTP layer parsed it.
struct TFormPart {
  std::string Name, FileName, Content;
};

struct TUpload {
  std::string MailFrom, MailSubject, MailBody, MailAddr;
  std::string RemoteAddress;
  std::vector<TReportFacts> Reports;  // file order: the report being sent is the last
  int SkippedReports = 0;             // older reports in the file too damaged to read
  std::string Screenshot;             // PNG bytes, or empty
};

struct TUploadError {
  int Status;           // HTTP status
  std::string Message;  // one line that tells the sender what was wrong
};

std::variant<TUpload, TUploadError> ReadUpload(const std::vector<TFormPart>& parts);

// A PNG signature followed by an IHDR chunk of the right length.
bool LooksLikePng(const std::string& bytes);

}  // namespace vm::server

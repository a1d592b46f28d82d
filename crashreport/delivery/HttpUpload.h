// The report upload: one multipart POST over a TCP connection, plain for "http://" and TLS
// (TlsStream.h) for "https://", through a proxy's tunnel when one is set; its answer judged.
// Entry point: UploadViaHttp. Tests: tests/crashreport/delivery/HttpUploadTest.cpp (against the
// upload server tests/crashreport/common/servers/upload_server.py on 127.0.0.1).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "crashreport/settings/CrashFields.h"

namespace vm {

struct TUploadFile {
  std::string Path, SendAs, FieldName;
};

struct THttpUploadJob {
  std::string Server;  // `HttpServer`: "[scheme://]host/path", or "https://host[:port]/path"
  int Port = 80;       // `HttpPort`, for plain HTTP
  std::string Account, Password;
  std::string Sender;  // empty: no "From" line
  TICrashFields Fields;
  std::vector<TUploadFile> Files;  // missing and empty files are left out
  std::string ProxySetting;        // the system's Internet proxy text, or empty
};

struct THttpUploadResult {
  bool Success = false;
  std::string Status;       // the status word the answer was judged by
  std::string Location;     // of a 302 answer
  std::string Error;        // why it failed, for the log
  bool TlsRefused = false;  // no trusted TLS session came about: Error is the user's sentence
};

// The steps a progress box shows while an upload runs.
enum class TUploadStage { Connect, Fields, Attachments, Final };

// Limits of one upload; the answer limit is also the bound of connect and of every send.
struct TUploadLimits {
  int AnswerMs = 7000;
  int PieceBytes = 1024;
};

THttpUploadResult UploadViaHttp(const THttpUploadJob& job, const std::function<void(TUploadStage)>& stage = {},
                                const TUploadLimits& limits = {});

}  // namespace vm

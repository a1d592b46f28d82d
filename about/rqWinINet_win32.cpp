// The transfer over wininet.dll: one blocking GET per call, every handle closed before the
// call returns.
#include <windows.h>

#include <wininet.h>

#include <memory>
#include <vector>

#include "about/rqWinINet.h"

namespace vm {

namespace {

struct TInternetCloser {
  void operator()(void* handle) const { InternetCloseHandle(static_cast<HINTERNET>(handle)); }
};
using TInternetHandle = std::unique_ptr<void, TInternetCloser>;

}  // namespace

std::string SystemMessageText(std::int32_t code) {
  char* text = nullptr;
  DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, DWORD(code), 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = n && text ? std::string(text, n) : std::string();
  if (text) LocalFree(text);
  return message;
}

TrqInternet::TrqInternet() : Agent(InternetAgent) {
  InternetHandle = InternetOpenA(Agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (!InternetHandle) LastError = std::int32_t(GetLastError());
}

TrqInternet::~TrqInternet() {
  if (InternetHandle) InternetCloseHandle(static_cast<HINTERNET>(InternetHandle));
}

TrqInternetHTTP::TrqInternetHTTP() = default;

bool TrqInternetHTTP::Download(const std::string& address, TStream& stream) {
  THttpAddress parts;
  if (!SplitAddress(address, parts)) {
    LastError = kErrorNoScheme;
    return false;
  }
  return Get(parts.Host, parts.Port, parts.Path, stream);
}

std::int64_t TrqInternetHTTP::QueryNumber(void* request, unsigned long query, bool logIt) {
  char buffer[32] = {};
  DWORD size = sizeof buffer;
  std::int64_t value = 0;
  if (!HttpQueryInfoA(static_cast<HINTERNET>(request), query, buffer, &size, nullptr)) {
    if (logIt) DoLog("- HttpQueryInfo (" + InternetErrorText(std::int32_t(GetLastError())) + ")");
    return 0;
  }
  int bad = 0;
  if (!ParseWholeNumber(std::string(buffer, std::min<DWORD>(size, sizeof buffer)), value, bad)) {
    if (logIt)
      DoLog("- HttpQueryInfo val error at @" + std::to_string(bad) + " of >" + std::string(buffer, sizeof buffer) +
            "<");
    return 0;
  }
  return value;
}

bool TrqInternetHTTP::Get(const std::string& host, int port, const std::string& path, TStream& stream) {
  BytesRead = 0;
  TotalSize = 0;
  TInternetHandle connection(InternetConnectA(static_cast<HINTERNET>(InternetHandle), host.c_str(), INTERNET_PORT(port),
                                              nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection) {
    LastError = std::int32_t(GetLastError());
    return false;
  }
  TInternetHandle request(HttpOpenRequestA(static_cast<HINTERNET>(connection.get()), nullptr, path.c_str(), nullptr,
                                           nullptr, nullptr, 0, 0));
  if (!request) {
    LastError = std::int32_t(GetLastError());
    return false;
  }
  HINTERNET req = static_cast<HINTERNET>(request.get());
  if (!HttpSendRequestA(req, nullptr, 0, nullptr, 0)) {
    LastError = std::int32_t(GetLastError());
    stream.SeekStart();
    return false;
  }
  std::int64_t status = QueryNumber(req, HTTP_QUERY_STATUS_CODE, true);
  DoLog("+ HttpQueryInfo status=" + std::to_string(status));
  if (status == 404) {
    LastError = kErrorNotFoundOnServer;
    return false;
  }
  // Every other answer has a body worth keeping, error pages included.
  TotalSize = QueryNumber(req, HTTP_QUERY_CONTENT_LENGTH, false);

  const DWORD chunk = DWORD(ChunkSize > 0 ? ChunkSize : 4096);
  std::vector<char> buffer(chunk + 1);
  for (;;) {
    DWORD received = 0;
    // A failed read ends the body early; what arrived so far stays in the stream.
    if (!InternetReadFile(req, buffer.data(), chunk, &received)) break;
    stream.Write(buffer.data(), received);
    BytesRead += received;
    DoProgress();
    if (received == 0) break;
  }
  DoProgress();
  buffer.clear();
  DoProgress();
  request.reset();
  connection.reset();
  stream.SeekStart();
  return true;
}

bool DownloadToStream(const std::string& address, TStream& stream, std::int32_t& error) {
  TrqInternetHTTP client;
  bool ok = client.Download(address, stream);
  error = client.LastError;
  return ok;
}

void TrqInternet::DoProgress() {
  if (OnProgress) OnProgress(ProgressPercent(BytesRead, TotalSize), BytesRead, TotalSize);
}

void TrqInternet::DoLog(const std::string& text) {
  if (OnLog) OnLog(text);
}

bool DownloadToStrings(const std::string& address, TStringList& strings, std::int32_t& error) {
  TMemoryStream stream;
  bool ok = DownloadToStream(address, stream, error);
  strings.SetText(stream.Rest());
  return ok;
}

}  // namespace vm

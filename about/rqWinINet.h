// A small HTTP download client over the Windows Internet library: fetches one address into
// a stream or a string list, with a failure code that InternetErrorText turns into a short
// text for the user. Blocking, one request at a time. The address rules, the figures and
// the texts are portable; the transfer itself lives in rqWinINet_win32.cpp.
// Tests: tests/about/WinINetTest.cpp (host), tests/about/WinINetTest_win32.cpp (Wine, real server).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "about/Streams.h"
#include "base/StringList.h"

namespace vm {

// The User-Agent of every client created from now on; "rqWinINet" at start.
extern std::string InternetAgent;
void SetInternetAgent(const std::string& agent);

// The client's own failure codes, beside the system's.
enum : std::int32_t { kErrorNoScheme = 1, kErrorNotFoundOnServer = 18 };

std::string InternetErrorText(std::int32_t code);

struct THttpAddress {
  std::string Host;
  int Port = 80;
  std::string Path;
};
// Splits "scheme://host[:port]/path?query"; false for an address without "://". Any
// scheme is fetched over plain HTTP.
bool SplitAddress(const std::string& address, THttpAddress& parts);

// 0..100 from the bytes so far and the announced size (0 when none was announced).
std::uint8_t ProgressPercent(std::int64_t bytesRead, std::int64_t totalSize);

// A header value as a whole number. On failure `badPosition` is the 1-based position of the
// first character that is not part of one.
bool ParseWholeNumber(const std::string& text, std::int64_t& value, int& badPosition);

class TrqInternet {
public:
  using TProgress = std::function<void(std::uint8_t percent, std::int64_t bytesRead, std::int64_t totalSize)>;
  using TLog = std::function<void(const std::string& text)>;

  TrqInternet();
  virtual ~TrqInternet();
  TrqInternet(const TrqInternet&) = delete;
  TrqInternet& operator=(const TrqInternet&) = delete;

  std::int32_t LastError = 0;
  std::int64_t BytesRead = 0;
  std::int64_t TotalSize = 0;
  std::string Agent;
  TProgress OnProgress;
  TLog OnLog;

protected:
  void DoProgress();
  void DoLog(const std::string& text);
  void* InternetHandle = nullptr;
};

class TrqInternetHTTP : public TrqInternet {
public:
  TrqInternetHTTP();

  std::int32_t ChunkSize = 4096;

  bool Download(const std::string& address, TStream& stream);
  bool Get(const std::string& host, int port, const std::string& path, TStream& stream);

private:
  // The numeric value of a response header, with the log lines for a failed status query.
  std::int64_t QueryNumber(void* request, unsigned long query, bool logIt);
};

bool DownloadToStream(const std::string& address, TStream& stream, std::int32_t& error);
// After a failure the list is empty.
bool DownloadToStrings(const std::string& address, TStringList& strings, std::int32_t& error);

// The system's message text for an error code (empty when it has none).
std::string SystemMessageText(std::int32_t code);

}  // namespace vm

// Judging the upload server's answer from the bytes read so far. The reader calls it after
// every read; it says whether the answer is settled or needs more bytes. Outside bytes:
// fuzzed by tests/crashreport/delivery/HttpAnswerFuzzer.cpp.
// Tests: tests/crashreport/delivery/HttpUploadTest.cpp.
#pragma once

#include <string>
#include <string_view>

namespace vm {

// The most the reader keeps of an answer.
inline constexpr size_t kAnswerLimit = 5120;

struct THttpVerdict {
  enum class TKind { NeedMore, Success, Failure };
  TKind Kind = TKind::NeedMore;
  std::string Status;    // the status word judged, when one was seen
  std::string Location;  // for 302: the address to open, may be empty
};

// `complete`: no more bytes will come (closed, limit reached or time up). An interim "100"
// is skipped up to its empty line; "200" succeeds; "302" succeeds once its header block is
// in (or the bytes end) and names its "Location: "; any other status fails.
THttpVerdict JudgeHttpAnswer(std::string_view answer, bool complete);

// A proxy's answer to "CONNECT": any "2xx" status with its header block opens the tunnel;
// the bytes must end with that block, since the server speaks only after the client's
// first TLS message. Every other status fails.
THttpVerdict JudgeConnectAnswer(std::string_view answer, bool complete);

}  // namespace vm

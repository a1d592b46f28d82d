#include "crashreport/delivery/HttpUpload.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

#include "base/FileIO.h"
#include "crashreport/delivery/HttpAnswer.h"
#include "crashreport/delivery/HttpUploadMessage.h"
#include "crashreport/delivery/Socket.h"
#include "crashreport/delivery/TlsStream.h"

namespace vm {

namespace {

struct TSizedFile {
  const TUploadFile* File;
  std::uint64_t Size;
  std::string Head;
};

THttpUploadResult Failed(std::string why) {
  THttpUploadResult r;
  r.Error = std::move(why);
  return r;
}

bool SendInPieces(IByteStream& socket, std::string_view text, int piece) {
  for (size_t at = 0; at < text.size(); at += size_t(piece))
    if (!socket.Send(text.substr(at, size_t(piece)))) return false;
  return true;
}

// Sends exactly `size` bytes of the file: one that shrinks or grows meanwhile would make
// the body disagree with the Content-Length already sent, so it fails the upload.
bool SendFileBytes(IByteStream& socket, const TSizedFile& f, int piece, std::string& error) {
  TPieceReader reader(f.File->Path);
  if (!reader.Open()) {
    error = "cannot open " + f.File->Path;
    return false;
  }
  std::vector<char> buffer(static_cast<size_t>(piece));
  std::uint64_t left = f.Size;
  while (left > 0) {
    long want = long(std::min<std::uint64_t>(left, std::uint64_t(piece)));
    long got = reader.Read(buffer.data(), want);
    if (got <= 0) {
      error = "cannot read " + f.File->Path + " completely";
      return false;
    }
    if (!socket.Send(std::string_view(buffer.data(), size_t(got)))) {
      error = socket.Error();
      return false;
    }
    left -= std::uint64_t(got);
  }
  char extra;
  if (reader.Read(&extra, 1) != 0) {
    error = f.File->Path + " changed while it was sent";
    return false;
  }
  return true;
}

// Reads until `judge` settles the answer, at most kAnswerLimit bytes, within one deadline.
THttpVerdict ReadAnswer(IByteStream& socket, int limitMs,
                        THttpVerdict (*judge)(std::string_view, bool) = JudgeHttpAnswer) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
  std::string answer;
  char buffer[kAnswerLimit];
  for (;;) {
    THttpVerdict v = judge(answer, false);
    if (v.Kind != THttpVerdict::TKind::NeedMore) return v;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0 || answer.size() >= kAnswerLimit) return judge(answer, true);
    int n = socket.Receive(buffer, int(kAnswerLimit - answer.size()), int(left));
    if (n <= 0) return judge(answer, true);
    answer.append(buffer, size_t(n));
  }
}

// Through a proxy, TLS needs a tunnel to the server first; plain HTTP does not.
bool OpenTunnel(TSocket& socket, const TUploadTarget& target, int limitMs, std::string& error) {
  if (!socket.Send(ConnectRequestText(target.Host, target.Port))) {
    error = socket.Error();
    return false;
  }
  THttpVerdict verdict = ReadAnswer(socket, limitMs, JudgeConnectAnswer);
  if (verdict.Kind == THttpVerdict::TKind::Success) return true;
  error = "the proxy opened no tunnel to " + target.Host + ":" + std::to_string(target.Port) +
          (verdict.Status.empty() ? " (no answer)" : " (answer " + verdict.Status + ")");
  return false;
}

}  // namespace

THttpUploadResult UploadViaHttp(const THttpUploadJob& job, const std::function<void(TUploadStage)>& stage,
                                const TUploadLimits& limits) {
  auto enter = [&](TUploadStage s) {
    if (stage) stage(s);
  };
  TUploadHeader header;
  header.Target = SplitHttpServer(job.Server);
  const TUploadTarget& target = header.Target;
  header.Port = target.Tls ? target.Port : job.Port;
  header.Sender = job.Sender;
  header.Account = job.Account;
  header.Password = job.Password;
  if (target.Host.empty()) return Failed("no upload server");
  if (header.Port <= 0) return Failed("no valid port in " + job.Server);

  std::vector<TSizedFile> files;
  std::string heads;
  std::uint64_t fileBytes = 0;
  for (const TUploadFile& f : job.Files) {
    auto size = FileSizeOf(f.Path);
    if (!size || *size == 0) continue;
    files.push_back({&f, *size, AttachmentPartHead(f.FieldName, f.SendAs)});
    heads += files.back().Head;
    fileBytes += *size;
  }
  header.ContentLength = UploadBodyLength(job.Fields, heads, fileBytes);

  // Through a proxy the connection goes there; request line and Host still name the server.
  std::string host = target.Host;
  int port = header.Port;
  auto proxy = ParseProxySetting(job.ProxySetting, target.Tls);
  if (proxy) {
    host = proxy->Host;
    port = proxy->Port;
  }
  enter(TUploadStage::Connect);
  TSocket socket;
  if (!socket.Connect(host, port, limits.AnswerMs)) return Failed(socket.Error());
  // An "https://" address goes over TLS or not at all: a refused certificate never falls
  // back to plain HTTP.
  TTlsStream tls(socket);
  IByteStream& stream = target.Tls ? static_cast<IByteStream&>(tls) : socket;
  if (target.Tls) {
    std::string error;
    if (proxy && !OpenTunnel(socket, target, limits.AnswerMs, error)) return Failed(error);
    if (!tls.Handshake(target.Host, limits.AnswerMs)) {
      THttpUploadResult refused = Failed(tls.Error());
      refused.TlsRefused = true;
      return refused;
    }
  }

  enter(TUploadStage::Fields);
  std::string text = UploadHeaderText(header);
  for (int i = 0; i < job.Fields.Count(); ++i) text += FieldPartText(job.Fields.Name(i), job.Fields.Value(i));
  if (!SendInPieces(stream, text, limits.PieceBytes)) return Failed(stream.Error());

  if (!files.empty()) enter(TUploadStage::Attachments);
  for (const TSizedFile& f : files) {
    std::string error;
    if (!SendInPieces(stream, f.Head, limits.PieceBytes)) return Failed(stream.Error());
    if (!SendFileBytes(stream, f, limits.PieceBytes, error)) return Failed(error);
  }
  enter(TUploadStage::Final);
  if (!SendInPieces(stream, ClosingLineText(), limits.PieceBytes)) return Failed(stream.Error());

  THttpVerdict verdict = ReadAnswer(stream, limits.AnswerMs);
  socket.Close();
  THttpUploadResult result;
  result.Success = verdict.Kind == THttpVerdict::TKind::Success;
  result.Status = verdict.Status;
  result.Location = verdict.Location;
  if (!result.Success) result.Error = verdict.Status.empty() ? "no answer" : "answer " + verdict.Status;
  return result;
}

}  // namespace vm

#include "server/HttpIntake.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include "server/RequestFraming.h"

namespace vm::server {
namespace {

constexpr auto kUpstreamTime = std::chrono::seconds(120);  // the routes' own work on one request
constexpr auto kLingerTime = std::chrono::seconds(5);      // reading what a refused client still sends
constexpr auto kSweepEvery = std::chrono::milliseconds(250);
constexpr std::size_t kReadPiece = 64 * 1024;

const char* StatusText(int status) {
  switch (status) {
    case 400:
      return "Bad Request";
    case 408:
      return "Request Timeout";
    case 413:
      return "Payload Too Large";
    case 431:
      return "Request Header Fields Too Large";
    case 501:
      return "Not Implemented";
    case 502:
      return "Bad Gateway";
    case 503:
      return "Service Unavailable";
    case 505:
      return "HTTP Version Not Supported";
    default:
      return "Error";
  }
}

std::string PlainAnswer(int status, const std::string& why) {
  const std::string body = why + "\n";
  return "HTTP/1.1 " + std::to_string(status) + " " + StatusText(status) +
         "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\nX-Content-Type-Options: nosniff\r\nCache-Control: no-store\r\n\r\n" + body;
}

std::string AddressOf(const sockaddr_storage& addr) {
  char text[INET6_ADDRSTRLEN] = "";
  if (addr.ss_family == AF_INET)
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(addr).sin_addr, text, sizeof text);
  else if (addr.ss_family == AF_INET6) {
    const in6_addr& six = reinterpret_cast<const sockaddr_in6&>(addr).sin6_addr;
    // An IPv4 sender on a socket of both kinds is named as IPv4, as --trusted-proxy names it.
    if (IN6_IS_ADDR_V4MAPPED(&six))
      inet_ntop(AF_INET, six.s6_addr + 12, text, sizeof text);
    else
      inet_ntop(AF_INET6, &six, text, sizeof text);
  }
  return text;
}

// Room for as many connections as the process may open, two sockets each.
int ConnectionRoom(int wanted) {
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) != 0) return std::min(wanted, 400);
  if (files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
    getrlimit(RLIMIT_NOFILE, &files);
  }
  return int(std::min<rlim_t>(rlim_t(wanted), (files.rlim_cur - 64) / 2));
}

}  // namespace

struct THttpIntake::TConnection {
  enum class TState { Reading, Waiting, Forwarding, Answering, Lingering };
  int Fd = -1, Upstream = -1;
  std::string Peer;
  bool Counted = false;
  TState State = TState::Reading;
  std::string Received, Body;
  std::optional<TRequestHead> Head;
  TFraming Frame;
  std::optional<TChunkedBody> Chunks;
  std::string ToUpstream, Reply;
  std::size_t HeadScanned = 0, UpstreamAt = 0, ReplyAt = 0, Held = 0;
  bool ReplyComplete = false;
  unsigned ClientEvents = 0, UpstreamEvents = 0;
  TClock::time_point Started, LastRead, Deadline;
};

THttpIntake::THttpIntake(TIntakeSettings settings, int upstreamPort, std::string key)
    : FSettings(std::move(settings)), FUpstreamPort(upstreamPort), FKey(std::move(key)) {
  for (auto& proxy : FSettings.TrustedProxies) proxy = CanonicalAddress(proxy).value_or(proxy);
  FSettings.MaxConnections = ConnectionRoom(FSettings.MaxConnections);
  FEpoll = epoll_create1(EPOLL_CLOEXEC);
  FWake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

THttpIntake::~THttpIntake() {
  while (!FConnections.empty()) Close(*FConnections.begin()->second);
  for (int fd : {FListen, FEpoll, FWake})
    if (fd >= 0) close(fd);
}

int THttpIntake::Bind() {
  addrinfo hints{}, *found = nullptr;
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  if (getaddrinfo(FSettings.Host.c_str(), std::to_string(FSettings.Port).c_str(), &hints, &found) != 0) return -1;
  FListen = socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  const int yes = 1;
  setsockopt(FListen, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  const bool ok =
      FListen >= 0 && bind(FListen, found->ai_addr, found->ai_addrlen) == 0 && listen(FListen, SOMAXCONN) == 0;
  freeaddrinfo(found);
  sockaddr_storage bound{};
  socklen_t size = sizeof bound;
  if (!ok || getsockname(FListen, reinterpret_cast<sockaddr*>(&bound), &size) != 0) return -1;
  return ntohs(bound.ss_family == AF_INET ? reinterpret_cast<sockaddr_in&>(bound).sin_port
                                          : reinterpret_cast<sockaddr_in6&>(bound).sin6_port);
}

void THttpIntake::Stop() {
  const uint64_t one = 1;
  [[maybe_unused]] auto n = write(FWake, &one, sizeof one);
}

bool THttpIntake::Run() {
  if (FListen < 0 || FEpoll < 0 || FWake < 0) return false;
  epoll_event ev{EPOLLIN, {}};
  ev.data.fd = FListen;
  epoll_ctl(FEpoll, EPOLL_CTL_ADD, FListen, &ev);
  ev.data.fd = FWake;
  epoll_ctl(FEpoll, EPOLL_CTL_ADD, FWake, &ev);
  bool accepting = true;
  epoll_event events[256];
  for (;;) {
    const int n = epoll_wait(FEpoll, events, 256, 250);
    if (n < 0 && errno != EINTR) return false;
    for (int i = 0; i < n; ++i) {
      const int fd = events[i].data.fd;
      if (fd == FWake) return true;
      if (fd == FListen) {
        Accept();
      } else if (auto it = FConnections.find(fd); it != FConnections.end()) {
        OnClient(*it->second, events[i].events);
      } else if (auto up = FByUpstream.find(fd); up != FByUpstream.end()) {
        OnUpstream(*up->second, events[i].events);
      }
    }
    ExpireDeadlines();
    Dispatch();
    // At the limit the listening socket is left unwatched (new clients wait in its
    // backlog) until a connection has closed.
    const bool room = int(FConnections.size()) < FSettings.MaxConnections;
    if (room != accepting) {
      accepting = room;
      epoll_event listen{room ? unsigned(EPOLLIN) : 0u, {}};
      listen.data.fd = FListen;
      epoll_ctl(FEpoll, EPOLL_CTL_MOD, FListen, &listen);
    }
  }
}

void THttpIntake::Accept() {
  while (int(FConnections.size()) < FSettings.MaxConnections) {
    sockaddr_storage addr{};
    socklen_t size = sizeof addr;
    const int fd = accept4(FListen, reinterpret_cast<sockaddr*>(&addr), &size, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    const std::string peer = AddressOf(addr);
    const auto& trusted = FSettings.TrustedProxies;
    const bool counted = std::find(trusted.begin(), trusted.end(), peer) == trusted.end();
    if (counted && FPerAddress[peer] >= FSettings.MaxPerAddress) {
      const std::string answer = PlainAnswer(503, "too many connections from this address");
      [[maybe_unused]] auto sent = send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
      close(fd);
      continue;
    }
    if (counted) ++FPerAddress[peer];
    auto c = std::make_unique<TConnection>();
    c->Fd = fd;
    c->Peer = peer;
    c->Counted = counted;
    c->Started = c->LastRead = TClock::now();
    TConnection& ref = *c;
    FConnections[fd] = std::move(c);
    epoll_event ev{0, {}};
    ev.data.fd = fd;
    epoll_ctl(FEpoll, EPOLL_CTL_ADD, fd, &ev);
    Watch(ref);
  }
}

void THttpIntake::OnClient(TConnection& c, unsigned events) {
  using S = TConnection::TState;
  if (c.State == S::Reading || c.State == S::Lingering) {
    if (events & (EPOLLIN | EPOLLHUP | EPOLLERR)) ReadRequest(c);
    return;
  }
  if (events & (EPOLLERR | EPOLLHUP)) return Close(c);
  if (!(events & EPOLLOUT) || c.ReplyAt >= c.Reply.size()) return;
  const ssize_t n = send(c.Fd, c.Reply.data() + c.ReplyAt, c.Reply.size() - c.ReplyAt, MSG_NOSIGNAL);
  if (n < 0 && errno != EAGAIN && errno != EINTR) return Close(c);
  if (n > 0) c.ReplyAt += size_t(n);
  if (c.ReplyAt == c.Reply.size() && c.ReplyComplete) return Finish(c);
  Watch(c);
}

void THttpIntake::ReadRequest(TConnection& c) {
  char piece[kReadPiece];
  bool ended = false;
  // Bounded per turn, so that one fast sender does not starve the others.
  for (int turn = 0; turn < 16 && !ended; ++turn) {
    const ssize_t n = recv(c.Fd, piece, sizeof piece, 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) break;
    if (n <= 0) {
      ended = true;
      break;
    }
    c.LastRead = TClock::now();
    if (c.State == TConnection::TState::Lingering) continue;
    c.Received.append(piece, size_t(n));
    if (!c.Head && c.Received.size() > kMaxHeadBytes + kReadPiece) break;
  }
  if (c.State == TConnection::TState::Lingering) {
    if (ended) Close(c);
    return;
  }
  // A client that closes its side after the request still waits for the answer.
  Hold(c);
  TakeRequest(c);
  Hold(c);
  if (ended && c.State == TConnection::TState::Reading) Close(c);
}

void THttpIntake::TakeRequest(TConnection& c) {
  TRefusal refusal;
  if (!c.Head) {
    const auto end = HeadEnd(c.Received, c.HeadScanned);
    c.HeadScanned = c.Received.size();
    if (!end && c.Received.size() <= kMaxHeadBytes) return;
    if (!end || *end > kMaxHeadBytes) return Answer(c, 431, "the request's header is too large");
    c.Head = ParseHead(c.Received.substr(0, *end - 2), refusal);
    if (!c.Head) return Answer(c, refusal.Status, refusal.Why);
    const auto frame = Framing(*c.Head, FSettings.MaxBodyBytes, refusal);
    if (!frame) return Answer(c, refusal.Status, refusal.Why);
    c.Frame = *frame;
    if (c.Frame.Chunked) c.Chunks.emplace(FSettings.MaxBodyBytes);
    c.Received.erase(0, *end);
    const auto expect = c.Head->Field("Expect");
    if (expect && (c.Frame.Chunked || c.Frame.Length > 0)) {
      static const std::string kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
      [[maybe_unused]] auto sent = send(c.Fd, kContinue.data(), kContinue.size(), MSG_NOSIGNAL);
    }
  }
  const bool hasBody = c.Frame.Chunked || c.Frame.Length > 0;
  if (hasBody && FHeld > FSettings.MaxBufferedBytes) return Answer(c, 503, "the server is busy; try again later");
  if (c.Chunks) {
    switch (c.Chunks->Feed(c.Received, c.Body)) {
      case TChunkedBody::TState::More:
        return;
      case TChunkedBody::TState::Bad:
        return Answer(c, 400, "malformed chunked body");
      case TChunkedBody::TState::TooLarge:
        return Answer(c, 413, "the upload is larger than this server takes");
      case TChunkedBody::TState::Done:
        return Complete(c);
    }
  }
  const size_t take = std::min(c.Frame.Length - c.Body.size(), c.Received.size());
  c.Body.append(c.Received, 0, take);
  c.Received.erase(0, take);
  if (c.Body.size() == c.Frame.Length) Complete(c);
}

void THttpIntake::Complete(TConnection& c) {
  c.ToUpstream = ForwardedRequest(*c.Head, c.Body, ResolveSender(c.Peer, *c.Head, FSettings.TrustedProxies), FKey);
  c.Body = std::string();
  c.Received = std::string();
  c.State = TConnection::TState::Waiting;
  c.Deadline = TClock::now() + kUpstreamTime;
  FWaiting.push_back(c.Fd);
  Watch(c);
}

// Our own refusal, sent without troubling the routes.
void THttpIntake::Answer(TConnection& c, int status, const std::string& why) {
  c.State = TConnection::TState::Answering;
  c.Reply = PlainAnswer(status, why);
  c.ReplyAt = 0;
  c.ReplyComplete = true;
  c.Body = std::string();
  c.Received = std::string();
  c.Deadline = TClock::now() + std::chrono::seconds(FSettings.RequestSeconds);
  Hold(c);
  Watch(c);
}

// The answer is out: the client may still be sending (a refused upload), and closing on
// unread bytes would reset the connection and could destroy the answer on its way, so we
// read and drop for a little while first.
void THttpIntake::Finish(TConnection& c) {
  shutdown(c.Fd, SHUT_WR);
  c.State = TConnection::TState::Lingering;
  c.Deadline = TClock::now() + kLingerTime;
  Watch(c);
}

void THttpIntake::Dispatch() {
  while (FInFlight < FSettings.MaxInFlight && !FWaiting.empty()) {
    const int fd = FWaiting.front();
    FWaiting.pop_front();
    auto it = FConnections.find(fd);
    if (it == FConnections.end() || it->second->State != TConnection::TState::Waiting) continue;
    TConnection& c = *it->second;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(uint16_t(FUpstreamPort));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int up = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (up < 0 || (connect(up, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0 && errno != EINPROGRESS)) {
      if (up >= 0) close(up);
      std::fprintf(stderr, "reportserver: cannot reach the routes: errno %d\n", errno);
      Answer(c, 503, "the server is busy; try again later");
      continue;
    }
    c.Upstream = up;
    c.State = TConnection::TState::Forwarding;
    FByUpstream[up] = &c;
    ++FInFlight;
    epoll_event ev{0, {}};
    ev.data.fd = up;
    epoll_ctl(FEpoll, EPOLL_CTL_ADD, up, &ev);
    Watch(c);
  }
}

void THttpIntake::OnUpstream(TConnection& c, unsigned events) {
  bool ended = false;
  int error = 0;
  if ((events & EPOLLOUT) && c.UpstreamAt < c.ToUpstream.size()) {
    const ssize_t n =
        send(c.Upstream, c.ToUpstream.data() + c.UpstreamAt, c.ToUpstream.size() - c.UpstreamAt, MSG_NOSIGNAL);
    if (n > 0)
      c.UpstreamAt += size_t(n);
    else if (errno != EAGAIN && errno != EINTR)
      ended = true, error = errno;
    if (c.UpstreamAt == c.ToUpstream.size()) {
      c.ToUpstream = std::string();
      Hold(c);
    }
  }
  if (events & (EPOLLIN | EPOLLHUP | EPOLLERR)) {
    char piece[kReadPiece];
    const ssize_t n = recv(c.Upstream, piece, sizeof piece, 0);
    if (n > 0)
      c.Reply.append(piece, size_t(n));
    else if (n == 0 || (errno != EAGAIN && errno != EINTR))
      ended = true, error = n == 0 ? 0 : errno;
  }
  if (ended) {
    FByUpstream.erase(c.Upstream);
    close(c.Upstream);
    c.Upstream = -1;
    --FInFlight;
    if (c.Reply.empty()) {
      std::fprintf(stderr, "reportserver: the routes gave no answer to a request from %s (%s, %zu of %zu bytes sent)\n",
                   c.Peer.c_str(), error ? std::strerror(error) : "closed", c.UpstreamAt,
                   c.UpstreamAt + c.ToUpstream.size());
      return Answer(c, 502, "internal error");
    }
    c.ReplyComplete = true;
    c.State = TConnection::TState::Answering;
    c.Deadline = TClock::now() + std::chrono::seconds(FSettings.RequestSeconds) +
                 std::chrono::seconds(c.Reply.size() / FSettings.AllowanceBytesPerSecond);
    if (c.ReplyAt == c.Reply.size()) return Finish(c);
  }
  Watch(c);
}

void THttpIntake::Watch(TConnection& c) {
  using S = TConnection::TState;
  unsigned client = 0;
  if (c.State == S::Reading || c.State == S::Lingering)
    client = EPOLLIN;
  else if (c.ReplyAt < c.Reply.size())
    client = EPOLLOUT;
  if (client != c.ClientEvents) {
    epoll_event ev{client, {}};
    ev.data.fd = c.Fd;
    epoll_ctl(FEpoll, EPOLL_CTL_MOD, c.Fd, &ev);
    c.ClientEvents = client;
  }
  if (c.Upstream < 0) return;
  const unsigned upstream = EPOLLIN | (c.UpstreamAt < c.ToUpstream.size() ? unsigned(EPOLLOUT) : 0u);
  if (upstream != c.UpstreamEvents) {
    epoll_event ev{upstream, {}};
    ev.data.fd = c.Upstream;
    epoll_ctl(FEpoll, EPOLL_CTL_MOD, c.Upstream, &ev);
    c.UpstreamEvents = upstream;
  }
}

void THttpIntake::ExpireDeadlines() {
  const auto now = TClock::now();
  if (now - FLastSweep < kSweepEvery) return;
  FLastSweep = now;
  std::vector<TConnection*> late;
  for (auto& [fd, c] : FConnections) {
    TClock::time_point deadline = c->Deadline;
    if (c->State == TConnection::TState::Reading) {
      const size_t body = c->Body.size() + c->Received.size();
      deadline = std::min(c->Started + std::chrono::seconds(FSettings.RequestSeconds) +
                              std::chrono::seconds(body / FSettings.AllowanceBytesPerSecond),
                          c->LastRead + std::chrono::seconds(FSettings.IdleSeconds));
    }
    if (now >= deadline) late.push_back(c.get());
  }
  for (TConnection* c : late) {
    // A connection that never said a word is just closed; one cut off mid-request is told.
    if (c->State == TConnection::TState::Reading && (c->Head || !c->Received.empty()))
      Answer(*c, 408, "the request did not arrive in time");
    else
      Close(*c);
  }
}

void THttpIntake::Hold(TConnection& c) {
  const std::size_t held = c.Received.size() + c.Body.size() + c.ToUpstream.size();
  FHeld = FHeld - c.Held + held;
  c.Held = held;
}

void THttpIntake::Close(TConnection& c) {
  FHeld -= c.Held;
  if (c.Upstream >= 0) {
    FByUpstream.erase(c.Upstream);
    close(c.Upstream);
    --FInFlight;
  }
  if (c.Counted) {
    auto it = FPerAddress.find(c.Peer);
    if (it != FPerAddress.end() && --it->second <= 0) FPerAddress.erase(it);
  }
  close(c.Fd);
  FConnections.erase(c.Fd);  // c is gone from here on
}

}  // namespace vm::server

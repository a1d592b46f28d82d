// bench-reportserver: uploads per second with 20 concurrent senders of a 100 KB report, and
// page times with 100,000 stored reports; each beside the same HTTP library answering a
// trivial handler in the same run (the cost of HTTP alone), and beside the same figures
// while 120 slow clients hold connections open. Run: make bench-reportserver.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "server/Passwords.h"
#include "server/ReportServer.h"
#include "server/SqliteReportStore.h"

namespace vm::server {
namespace {

constexpr const char* kBoundary = "ZtpxBoundary7d2f9c0e41";

// One request over a fresh connection, as the reporter does (Connection: close); returns the
// status, or 0 when the exchange failed. Bounded by the socket's 10 s timeouts.
int Exchange(int port, const std::string& request, std::string* answerOut = nullptr) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  timeval tv{10, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(uint16_t(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string answer;
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
    for (size_t at = 0; at < request.size();) {
      ssize_t n = send(fd, request.data() + at, std::min<size_t>(1024, request.size() - at), MSG_NOSIGNAL);
      if (n <= 0) break;
      at += size_t(n);
    }
    char buf[65536];
    for (ssize_t n; (n = recv(fd, buf, sizeof buf, 0)) > 0;) answer.append(buf, size_t(n));
  }
  close(fd);
  if (answerOut) *answerOut = answer;
  return answer.size() > 12 ? std::atoi(answer.c_str() + 9) : 0;
}

// Clients that each send a request head one line every three seconds, from eight loopback
// addresses, and come back when the server cuts them off: `count` connections held open.
class TSlowClients {
public:
  TSlowClients(int port, int count) : FPort(port), FSockets(size_t(count), -1) {
    for (size_t i = 0; i < FSockets.size(); ++i) Connect(i);
    FThread = std::thread([this] {
      std::unique_lock lock(FLock);
      while (!FWake.wait_for(lock, std::chrono::seconds(3), [this] { return FStop; }))
        for (size_t i = 0; i < FSockets.size(); ++i) Trickle(i);
    });
  }
  ~TSlowClients() {
    {
      std::lock_guard lock(FLock);
      FStop = true;
    }
    FWake.notify_all();
    FThread.join();
    for (int fd : FSockets) close(fd);
  }

private:
  void Connect(size_t i) {
    if (FSockets[i] >= 0) close(FSockets[i]);
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in from{}, to{};
    from.sin_family = to.sin_family = AF_INET;
    from.sin_addr.s_addr = htonl(0x7f00010a + uint32_t(i % 8));  // 127.0.1.10 and on
    to.sin_port = htons(uint16_t(FPort));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from);
    if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0)
      send(fd, "GET /login HTTP/1.1\r\n", 21, MSG_NOSIGNAL);
    FSockets[i] = fd;
  }
  void Trickle(size_t i) {
    char answer[512];
    // An answer (the deadline's 408) or a closed socket: this client starts again.
    if (recv(FSockets[i], answer, sizeof answer, MSG_DONTWAIT) >= 0 ||
        send(FSockets[i], "X-Slow: 1\r\n", 11, MSG_NOSIGNAL | MSG_DONTWAIT) < 0)
      Connect(i);
  }

  int FPort;
  std::vector<int> FSockets;
  std::mutex FLock;
  std::condition_variable FWake;
  bool FStop = false;
  std::thread FThread;
};

constexpr int kSlowClients = 120;

std::string Report(int n, size_t size) {
  std::string r = "date/time          : 2026-12-10, 09:15:02, " + std::to_string(n) +
                  "ms\r\ncomputer name      : PC-" + std::to_string(n % 500) +
                  "\r\nuser name          : anna\r\nexecutable         : veilmark.exe\r\nversion            : 1.0.0." +
                  std::to_string(n % 3) + "\r\ncallstack crc      : $0a1b2c3d, $" + std::to_string(10000000 + n % 1000) +
                  ", $8293a4b5\r\nexception class    : EAccessViolation\r\nexception message  : Access violation "
                  "at address 0040A1B2. Read of address 00000000\r\n\r\nmain thread ($1a2c):";
  while (r.size() + 60 < size) r += "\r\n0040a1b2 +012 veilmark.exe ClientIdFile.cpp  88 +3 ReadClientId";
  return r;
}

std::string UploadRequest(int port, const std::string& report) {
  std::string body = std::string("--") + kBoundary +
                     "\r\nContent-Disposition: form-data; name=\"MailFrom\"\r\n\r\nAnna <anna@example.com>\r\n--" +
                     kBoundary + "\r\nContent-Disposition: form-data; name=\"BugReport\"; filename=\"bugreport.txt\"\r\n"
                     "Content-Type: application/octet-stream\r\n\r\n" + report + "\r\n\r\n\r\n--" + kBoundary + "--\r\n";
  return "POST /submit.php HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
         "\r\nConnection: close\r\nPragma: no-cache\r\nUser-Agent: Zentrapix/3.0\r\nContent-Type: multipart/form-data; "
         "boundary=" + kBoundary + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// A store and our server on a free port, run on a thread of its own.
struct TRunning {
  explicit TRunning(const std::string& folder) {
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    Store = std::make_unique<TSqliteReportStore>(folder + "/reports.sqlite");
    TServerSettings s;
    s.Port = 0;
    s.UploadsPerSecond = 0;  // the bench is one address sending on purpose
    s.LogUploads = false;
    Server = std::make_unique<TReportServer>(*Store, s);
    Port = Server->Bind();
    Thread = std::thread([this] { Server->Run(); });
  }
  ~TRunning() {
    Server->Stop();
    Thread.join();
  }
  std::unique_ptr<TSqliteReportStore> Store;
  std::unique_ptr<TReportServer> Server;
  int Port = 0;
  std::thread Thread;
};

// The peer: the same library with handlers that do nothing but answer.
struct TTrivial {
  TTrivial() {
    Http.Post("/submit.php", [](const httplib::Request&, httplib::Response& res) { res.set_content("ok\n", "text/plain"); });
    Http.Get("/page", [this](const httplib::Request&, httplib::Response& res) { res.set_content(Page, "text/html"); });
    Http.new_task_queue = [] { return new httplib::ThreadPool(32); };
    Port = Http.bind_to_any_port("127.0.0.1");
    Thread = std::thread([this] { Http.listen_after_bind(); });
  }
  ~TTrivial() {
    Http.stop();
    Thread.join();
  }
  httplib::Server Http;
  std::string Page;
  int Port = 0;
  std::thread Thread;
};

const std::string kFolder = (std::filesystem::temp_directory_path() / "bench-reportserver").string();
std::atomic<int> GNext{0};
TRunning* GUploads = nullptr;
TTrivial* GTrivial = nullptr;
TSlowClients* GSlow = nullptr;

enum class TPeer { Trivial, Ours, OursUnderSlowClients };

void Uploads(benchmark::State& state, TPeer peer) {
  const bool trivial = peer == TPeer::Trivial;
  if (state.thread_index() == 0) {
    if (trivial) GTrivial = new TTrivial;
    else GUploads = new TRunning(kFolder + "-uploads");
    if (peer == TPeer::OursUnderSlowClients) GSlow = new TSlowClients(GUploads->Port, kSlowClients);
  }
  // Google Benchmark starts the timed loop of all threads together, after the set-up above.
  int failed = 0;
  for (auto _ : state) {
    const int port = trivial ? GTrivial->Port : GUploads->Port;
    state.PauseTiming();
    const std::string request = UploadRequest(port, Report(GNext++, 100 * 1024));
    state.ResumeTiming();
    const int status = Exchange(port, request);
    failed += status != 200;
  }
  state.counters["failed"] = benchmark::Counter(failed, benchmark::Counter::kAvgThreads);
  state.SetItemsProcessed(state.iterations());
  if (state.thread_index() == 0) {
    delete GSlow;
    delete GTrivial;
    delete GUploads;
    GSlow = nullptr;
    GTrivial = nullptr;
    GUploads = nullptr;
  }
}
BENCHMARK_CAPTURE(Uploads, reportserver_100KB, TPeer::Ours)->Threads(20)->UseRealTime()->MinTime(3);
BENCHMARK_CAPTURE(Uploads, reportserver_100KB_120_slow_clients, TPeer::OursUnderSlowClients)
    ->Threads(20)->UseRealTime()->MinTime(3);
BENCHMARK_CAPTURE(Uploads, trivial_handler_100KB, TPeer::Trivial)->Threads(20)->UseRealTime()->MinTime(3);

// 100,000 reports in 1,000 groups of three versions, stored in uploads of 500.
struct TFilled {
  TFilled() : Running(kFolder + "-pages") {
    for (int batch = 0; batch < 200; ++batch) {
      TUpload u;
      u.RemoteAddress = "127.0.0.1";
      for (int i = 0; i < 500; ++i) u.Reports.push_back(*ReadReportFacts(Report(batch * 500 + i, 1200)));
      Running.Store->StoreUpload(u);
    }
    Running.Store->AddAccount("bench", HashPassword("bench"));
    std::string answer;
    Exchange(Running.Port,
             "POST /login HTTP/1.1\r\nHost: x\r\nConnection: close\r\nContent-Type: application/x-www-form-urlencoded\r\n"
             "Content-Length: 30\r\n\r\nname=bench&password=bench&x=yy", &answer);
    const size_t at = answer.find("vmsession=");
    Cookie = answer.substr(at, answer.find(';', at) - at);
  }
  std::string Get(const std::string& path) const {
    return "GET " + path + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\nCookie: " + Cookie + "\r\n\r\n";
  }
  TRunning Running;
  std::string Cookie;
};

TFilled& Filled() {
  static TFilled filled;
  return filled;
}

void Page(benchmark::State& state, const char* path, bool slowClients = false) {
  const TFilled& f = Filled();
  std::unique_ptr<TSlowClients> slow;
  if (slowClients) slow = std::make_unique<TSlowClients>(f.Running.Port, kSlowClients);
  const std::string request = f.Get(path);
  std::string answer;
  for (auto _ : state)
    if (Exchange(f.Running.Port, request, &answer) != 200) state.SkipWithError("page failed");
  state.counters["bytes"] = double(answer.size());
}
BENCHMARK_CAPTURE(Page, groups_by_last_seen, "/groups")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Page, groups_by_last_seen_120_slow_clients, "/groups", true)
    ->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Page, groups_by_count, "/groups?sort=count")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Page, search, "/groups?q=address+0040A1B2")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Page, group_of_100_reports, "/groups/1")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Page, one_report, "/reports/50000")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Page, one_report_120_slow_clients, "/reports/50000", true)
    ->UseRealTime()->Unit(benchmark::kMillisecond);

void TrivialPage(benchmark::State& state) {
  TTrivial trivial;
  trivial.Page = std::string(19000, 'x');  // about the size of the group list
  const std::string request = "GET /page HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
  for (auto _ : state)
    if (Exchange(trivial.Port, request) != 200) state.SkipWithError("page failed");
}
BENCHMARK(TrivialPage)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vm::server

BENCHMARK_MAIN();

// bench-reportserver: uploads per second with 20 concurrent senders of a 100 KB report to
// real server processes (SQLite, PostgreSQL with one process and with two sharing the
// database), and page times with 100,000 stored reports in each store; beside them the same
// HTTP library answering a trivial handler (the cost of HTTP alone), and the SQLite figures
// again while 120 slow clients hold connections open. PostgreSQL is Debian's, started for
// the run (tools/pg-sandbox). Run: make bench-reportserver.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <httplib.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "server/Passwords.h"
#include "server/PgConnection.h"
#include "server/PostgresReportStore.h"
#include "server/ReportServer.h"
#include "server/SqliteReportStore.h"
#include "tests/server/PgSandbox.h"

extern char** environ;

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
  std::string r = "date/time          : 2026-12-10, 09:15:02, " + std::to_string(n) + "ms\r\ncomputer name      : PC-" +
                  std::to_string(n % 500) +
                  "\r\nuser name          : anna\r\nexecutable         : veilmark.exe\r\nversion            : 1.0.0." +
                  std::to_string(n % 3) + "\r\ncallstack crc      : $0a1b2c3d, $" +
                  std::to_string(10000000 + n % 1000) +
                  ", $8293a4b5\r\nexception class    : EAccessViolation\r\nexception message  : Access violation "
                  "at address 0040A1B2. Read of address 00000000\r\n\r\nmain thread ($1a2c):";
  while (r.size() + 60 < size) r += "\r\n0040a1b2 +012 veilmark.exe ClientIdFile.cpp  88 +3 ReadClientId";
  return r;
}

std::string UploadRequest(int port, const std::string& report) {
  std::string body = std::string("--") + kBoundary +
                     "\r\nContent-Disposition: form-data; name=\"MailFrom\"\r\n\r\nAnna <anna@example.com>\r\n--" +
                     kBoundary +
                     "\r\nContent-Disposition: form-data; name=\"BugReport\"; filename=\"bugreport.txt\"\r\n"
                     "Content-Type: application/octet-stream\r\n\r\n" +
                     report + "\r\n\r\n\r\n--" + kBoundary + "--\r\n";
  return "POST /submit.php HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
         "\r\nConnection: close\r\nPragma: no-cache\r\nUser-Agent: Zentrapix/3.0\r\nContent-Type: multipart/form-data; "
         "boundary=" +
         kBoundary + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

enum class TStore { Sqlite, Postgres };

// A fresh PostgreSQL database of the sandbox server; empty when there is no server.
std::string FreshDatabase(const std::string& name) {
  const auto& sandbox = test::TPgSandbox::Get();
  if (sandbox.Connection().empty()) return {};
  TPgConnection admin(sandbox.Connection());
  admin.Exec("DROP DATABASE IF EXISTS " + name);
  admin.Exec("CREATE DATABASE " + name);
  return sandbox.Connection() + " dbname=" + name;
}

int FreePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof addr;
  bind(fd, reinterpret_cast<sockaddr*>(&addr), size);
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &size);
  close(fd);
  return ntohs(addr.sin_port);
}

bool Accepts(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(uint16_t(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  close(fd);
  return ok;
}

// Real reportserver processes on one store, each on a free port; stopped at the end.
struct TServerProcesses {
  TServerProcesses(TStore store, int count) {
    const std::string folder = kFolderBase + "-uploads";
    std::filesystem::remove_all(folder);
    std::string database;
    if (store == TStore::Postgres && (database = FreshDatabase("bench_uploads")).empty()) return;
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    for (int i = 0; i < count; ++i) {
      const int port = FreePort();
      std::vector<std::string> args{VM_REPORTSERVER,
                                    store == TStore::Sqlite ? "--data" : "--database",
                                    store == TStore::Sqlite ? folder : database,
                                    "--port",
                                    std::to_string(port),
                                    "--uploads-per-second",
                                    "0"};
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      pid_t pid = 0;
      if (posix_spawn(&pid, argv[0], &quiet, nullptr, argv.data(), environ) != 0) continue;
      Pids.push_back(pid);
      // The second one waits until the first has made the schema, like any later start.
      for (int wait = 0; wait < 200 && !Accepts(port); ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      Ports.push_back(port);
    }
    posix_spawn_file_actions_destroy(&quiet);
  }
  ~TServerProcesses() {
    for (pid_t pid : Pids) kill(pid, SIGTERM);
    for (pid_t pid : Pids) waitpid(pid, nullptr, 0);
  }
  std::vector<pid_t> Pids;
  std::vector<int> Ports;
  static inline const std::string kFolderBase =
      (std::filesystem::temp_directory_path() / "bench-reportserver").string();
};

// A store and our server on a free port, run on a thread of this process.
struct TRunning {
  TRunning(TStore store, const std::string& name) {
    if (store == TStore::Sqlite) {
      const std::string folder = TServerProcesses::kFolderBase + "-" + name;
      std::filesystem::remove_all(folder);
      std::filesystem::create_directories(folder);
      Store = std::make_unique<TSqliteReportStore>(folder + "/reports.sqlite");
    } else {
      Database = FreshDatabase("bench_" + name);
      if (Database.empty()) return;
      Store = std::make_unique<TPostgresReportStore>(Database);
    }
    TServerSettings s;
    s.Port = 0;
    s.UploadsPerSecond = 0;  // the bench is one address sending on purpose
    s.LogUploads = false;
    Server = std::make_unique<TReportServer>(*Store, s);
    Port = Server->Bind();
    Thread = std::thread([this] { Server->Run(); });
  }
  ~TRunning() {
    if (!Server) return;
    Server->Stop();
    Thread.join();
  }
  std::string Database;  // PostgreSQL's connection string
  std::unique_ptr<IReportStore> Store;
  std::unique_ptr<TReportServer> Server;
  int Port = 0;
  std::thread Thread;
};

// The peer: the same library with handlers that do nothing but answer.
struct TTrivial {
  TTrivial() {
    Http.Post("/submit.php",
              [](const httplib::Request&, httplib::Response& res) { res.set_content("ok\n", "text/plain"); });
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

std::atomic<int> GNext{0};
std::vector<int> GPorts;  // of the servers under test, set by thread 0
TServerProcesses* GProcesses = nullptr;
TTrivial* GTrivial = nullptr;
TSlowClients* GSlow = nullptr;

// `processes` 0: the trivial handler.
void Uploads(benchmark::State& state, TStore store, int processes, bool slowClients = false) {
  if (state.thread_index() == 0) {
    if (processes == 0) {
      GTrivial = new TTrivial;
      GPorts = {GTrivial->Port};
    } else {
      GProcesses = new TServerProcesses(store, processes);
      GPorts = GProcesses->Ports;
    }
    if (slowClients && !GPorts.empty()) GSlow = new TSlowClients(GPorts[0], kSlowClients);
  }
  // Google Benchmark starts the timed loop of all threads together, after the set-up above.
  int failed = 0;
  for (auto _ : state) {
    if (GPorts.empty()) {
      state.SkipWithError(("no server to send to: " + test::TPgSandbox::Get().Why()).c_str());
      break;
    }
    // The senders are spread evenly over the processes.
    const int port = GPorts[size_t(state.thread_index()) % GPorts.size()];
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
    delete GProcesses;
    GSlow = nullptr;
    GTrivial = nullptr;
    GProcesses = nullptr;
  }
}
BENCHMARK_CAPTURE(Uploads, sqlite_1_process_100KB, TStore::Sqlite, 1)->Threads(20)->UseRealTime()->MinTime(3);
BENCHMARK_CAPTURE(Uploads, sqlite_1_process_100KB_120_slow_clients, TStore::Sqlite, 1, true)
    ->Threads(20)
    ->UseRealTime()
    ->MinTime(3);
BENCHMARK_CAPTURE(Uploads, postgres_1_process_100KB, TStore::Postgres, 1)->Threads(20)->UseRealTime()->MinTime(3);
BENCHMARK_CAPTURE(Uploads, postgres_2_processes_100KB, TStore::Postgres, 2)->Threads(20)->UseRealTime()->MinTime(3);
BENCHMARK_CAPTURE(Uploads, trivial_handler_100KB, TStore::Sqlite, 0)->Threads(20)->UseRealTime()->MinTime(3);

// 100,000 reports in 1,000 groups, stored in uploads of 500 (by four writers at once into
// PostgreSQL, which takes them side by side).
struct TFilled {
  TFilled(TStore store) : Running(store, "pages") {
    if (!Running.Store) return;
    std::atomic<int> nextBatch{0};
    auto fill = [&] {
      for (int batch; (batch = nextBatch++) < 200;) {
        TUpload u;
        u.RemoteAddress = "127.0.0.1";
        for (int i = 0; i < 500; ++i) u.Reports.push_back(*ReadReportFacts(Report(batch * 500 + i, 1200)));
        Running.Store->StoreUpload(u);
      }
    };
    std::vector<std::thread> writers;
    for (int i = 0; i < (store == TStore::Postgres ? 4 : 1); ++i) writers.emplace_back(fill);
    for (auto& w : writers) w.join();
    // What the database's own vacuum does a minute after such a load: the pages are timed
    // on the settled tables, not on the old row versions of the load.
    if (store == TStore::Postgres) TPgConnection(Running.Database).Exec("VACUUM ANALYZE");
    Running.Store->AddAccount("bench", HashPassword("bench"));
    // The login form's token comes with its cookie.
    std::string answer;
    Exchange(Running.Port, "GET /login HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", &answer);
    const std::string formCookie = CookieOf(answer, "vmlogin");
    const std::string body = "name=bench&password=bench&csrf=" + formCookie.substr(formCookie.find('=') + 1);
    Exchange(
        Running.Port,
        "POST /login HTTP/1.1\r\nHost: x\r\nConnection: close\r\nContent-Type: application/x-www-form-urlencoded\r\n"
        "Cookie: " +
            formCookie + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body,
        &answer);
    Cookie = CookieOf(answer, "vmsession");
  }
  static std::string CookieOf(const std::string& answer, const std::string& name) {
    const size_t at = answer.find(name + "=");
    return at == std::string::npos ? std::string() : answer.substr(at, answer.find(';', at) - at);
  }
  std::string Get(const std::string& path) const {
    return "GET " + path + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\nCookie: " + Cookie + "\r\n\r\n";
  }
  TRunning Running;
  std::string Cookie;
};

TFilled& Filled(TStore store) {
  if (store == TStore::Sqlite) {
    static TFilled sqlite(TStore::Sqlite);
    return sqlite;
  }
  static TFilled postgres(TStore::Postgres);
  return postgres;
}

void Page(benchmark::State& state, TStore store, const char* path, bool slowClients = false) {
  const TFilled& f = Filled(store);
  if (f.Cookie.empty()) return state.SkipWithError("no store to read, or the login failed");
  std::unique_ptr<TSlowClients> slow;
  if (slowClients) slow = std::make_unique<TSlowClients>(f.Running.Port, kSlowClients);
  const std::string request = f.Get(path);
  std::string answer;
  for (auto _ : state)
    if (Exchange(f.Running.Port, request, &answer) != 200) state.SkipWithError("page failed");
  state.counters["bytes"] = double(answer.size());
}
#define VM_PAGE(name, path)                                                                                   \
  BENCHMARK_CAPTURE(Page, sqlite_##name, TStore::Sqlite, path)->UseRealTime()->Unit(benchmark::kMillisecond); \
  BENCHMARK_CAPTURE(Page, postgres_##name, TStore::Postgres, path)->UseRealTime()->Unit(benchmark::kMillisecond)
VM_PAGE(groups_by_last_seen, "/groups");
BENCHMARK_CAPTURE(Page, sqlite_groups_by_last_seen_120_slow_clients, TStore::Sqlite, "/groups", true)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
VM_PAGE(groups_by_count, "/groups?sort=count");
VM_PAGE(search, "/groups?q=address+0040A1B2");
// Text found in no report: every stored report's text is read.
VM_PAGE(search_all_texts, "/groups?state=all&q=no+such+text");
VM_PAGE(group_of_100_reports, "/groups/1");
VM_PAGE(one_report, "/reports/50000");
BENCHMARK_CAPTURE(Page, sqlite_one_report_120_slow_clients, TStore::Sqlite, "/reports/50000", true)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

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

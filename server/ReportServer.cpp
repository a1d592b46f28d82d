#include "server/ReportServer.h"

#include <httplib.h>
#include <openssl/crypto.h>
#include <sys/socket.h>

#include <cstdio>
#include <ctime>
#include <regex>
#include <thread>

#include "server/HttpIntake.h"
#include "server/HttpReplies.h"
#include "server/Pages.h"
#include "server/Passwords.h"
#include "server/ReportFacts.h"
#include "server/RequestFraming.h"
#include "server/SqliteReportStore.h"
#include "server/Upload.h"

namespace vm::server {
namespace {

constexpr const char* kCookie = "vmsession";
constexpr const char* kLoginCookie = "vmlogin";  // ties a login form to the browser it was sent to
constexpr int kGroupsPerPage = 50;
constexpr int kReportsPerPage = 100;

void Text(httplib::Response& res, int status, const std::string& text) {
  res.status = status;
  res.set_content(text + "\n", "text/plain; charset=utf-8");
}

std::string CookieValue(const httplib::Request& req, const std::string& name) {
  const std::string cookies = req.get_header_value("Cookie");
  size_t pos = 0;
  while (pos < cookies.size()) {
    size_t end = cookies.find(';', pos);
    if (end == std::string::npos) end = cookies.size();
    std::string item = cookies.substr(pos, end - pos);
    item.erase(0, item.find_first_not_of(' '));
    if (item.compare(0, name.size() + 1, name + "=") == 0) return item.substr(name.size() + 1);
    pos = end + 1;
  }
  return {};
}

// A redirect target from a form: only a path of this server, never another host.
std::string LocalPath(const std::string& next) {
  if (next.size() < 1 || next[0] != '/' || (next.size() > 1 && (next[1] == '/' || next[1] == '\\'))) return "/groups";
  for (char c : next)
    if (static_cast<unsigned char>(c) < 0x20) return "/groups";
  return next;
}

// Who sent the request and how, as the intake found out (it alone faces the network).
std::string Sender(const httplib::Request& req) { return req.get_header_value(kSenderField); }
bool OverHttps(const httplib::Request& req) { return req.get_header_value(kSchemeField) == "https"; }

// Compares in constant time; an empty token matches nothing.
bool SameToken(const std::string& a, const std::string& b) {
  if (a.empty() || a.size() != b.size()) return false;
  unsigned char diff = 0;
  for (size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

// SameSite=Strict: a page of another site that posts here sends no cookie along. Secure when
// the browser came over HTTPS, so that it never sends the cookie in the clear.
std::string Cookie(const httplib::Request& req, const char* name, const std::string& value, int maxAgeSeconds) {
  return std::string(name) + "=" + value +
         "; Path=/; HttpOnly; SameSite=Strict; Max-Age=" + std::to_string(maxAgeSeconds) +
         (OverHttps(req) ? "; Secure" : "");
}

}  // namespace

TReportServer::TReportServer(IReportStore& store, TServerSettings settings)
    : FStore(store),
      FSettings(std::move(settings)),
      FHttp(std::make_unique<httplib::Server>()),
      FIntakeKey(RandomToken(32)),
      FUploadLimit(FSettings.UploadBurst, FSettings.UploadsPerSecond),
      // Guessing passwords: ten wrong ones at once, then one every six seconds per address;
      // five per account, then one every ten seconds.
      FLoginFailures(10, 1.0 / 6),
      FAccountFailures(5, 0.1),
      FFailedLately(1, 1.0 / 600),
      FPasswordLimit(5, 0.1) {
  const int threads = std::max(2, FSettings.Threads);
  FHttp->new_task_queue = [threads] { return new httplib::ThreadPool(size_t(threads)); };
  FHttp->set_payload_max_length(FSettings.MaxUploadBytes);
  FHttp->set_read_timeout(FSettings.ReadTimeoutSeconds, 0);
  FHttp->set_write_timeout(FSettings.ReadTimeoutSeconds, 0);
  FHttp->set_keep_alive_timeout(FSettings.ReadTimeoutSeconds);
  FHttp->set_default_headers({
      {"X-Content-Type-Options", "nosniff"},
      {"X-Frame-Options", "DENY"},
      {"Referrer-Policy", "no-referrer"},
      {"Cache-Control", "no-store"},
      {"Content-Security-Policy", "default-src 'none'; img-src 'self'; style-src 'unsafe-inline'; form-action 'self'"},
  });
  Routes();
}

TReportServer::~TReportServer() = default;

int TReportServer::Bind() {
  // The library listens with a backlog of five; the intake may connect as many times at once
  // as there are threads, and connections beyond the backlog were reset. Calling listen
  // again on the socket raises it.
  int routesSocket = -1;
  FHttp->set_socket_options([&routesSocket](int sock) {
    httplib::default_socket_options(sock);
    routesSocket = sock;
  });
  const int routes = FHttp->bind_to_any_port("127.0.0.1");
  FHttp->set_socket_options(httplib::default_socket_options);
  if (routes <= 0 || listen(routesSocket, SOMAXCONN) != 0) return -1;
  TIntakeSettings intake;
  intake.Host = FSettings.Host;
  intake.Port = FSettings.Port;
  intake.MaxBodyBytes = FSettings.MaxUploadBytes;
  intake.RequestSeconds = FSettings.RequestSeconds;
  intake.IdleSeconds = FSettings.ReadTimeoutSeconds;
  intake.MaxPerAddress = FSettings.MaxConnectionsPerAddress;
  intake.MaxInFlight = std::max(2, FSettings.Threads);
  intake.MaxBufferedBytes = FSettings.MaxBufferedBytes;
  intake.TrustedProxies = FSettings.TrustedProxies;
  FIntake = std::make_unique<THttpIntake>(intake, routes, FIntakeKey);
  return FSettings.Port = FIntake->Bind();
}

bool TReportServer::Run() {
  if (!FIntake) return false;
  std::thread routes([this] { FHttp->listen_after_bind(); });
  const bool ok = FIntake->Run();
  FHttp->stop();
  routes.join();
  return ok;
}

void TReportServer::Stop() {
  if (FIntake) FIntake->Stop();
}

void TReportServer::Routes() {
  // Only requests that came through the intake are served: it alone has checked them.
  FHttp->set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    const std::string key = req.get_header_value(kKeyField);
    if (key.size() == FIntakeKey.size() && CRYPTO_memcmp(key.data(), FIntakeKey.data(), key.size()) == 0)
      return httplib::Server::HandlerResponse::Unhandled;
    Text(res, 403, "forbidden");
    return httplib::Server::HandlerResponse::Handled;
  });
  // What went wrong inside (a full disk, a broken database) is for the log, not the sender.
  FHttp->set_exception_handler([](const httplib::Request& req, httplib::Response& res, std::exception_ptr ep) {
    std::string what = "unknown exception";
    try {
      std::rethrow_exception(ep);
    } catch (const std::exception& e) {
      what = e.what();
    } catch (...) {
    }
    std::fprintf(stderr, "reportserver: %s %s from %s failed: %s\n", req.method.c_str(), req.path.c_str(),
                 Sender(req).c_str(), what.c_str());
    Text(res, 500, "internal error; nothing was stored");
  });
  // The library's own refusals (413, a body cut short, broken multipart) get a readable text.
  FHttp->set_error_handler([](const httplib::Request&, httplib::Response& res) {
    if (!res.body.empty()) return;
    const char* why = res.status == 413   ? "the upload is larger than this server takes"
                      : res.status == 404 ? "no such page"
                      : res.status == 400 ? "malformed request (form, length or framing)"
                                          : "request refused";
    Text(res, res.status, why);
  });

  FHttp->Post("/submit.php", [this](const httplib::Request& req, httplib::Response& res) { Submit(req, res); });
  FHttp->Get("/thanks", [](const httplib::Request&, httplib::Response& res) { Html(res, ThanksPage()); });
  FHttp->Get("/login", [this](const httplib::Request& req, httplib::Response& res) { ShowLogin(req, res, "", 200); });
  FHttp->Post("/login", [this](const httplib::Request& req, httplib::Response& res) { Login(req, res); });
  FHttp->Post("/logout", [this](const httplib::Request& req, httplib::Response& res) { Logout(req, res); });
  FHttp->Get("/", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/groups"); });

  FHttp->Get("/groups", [this](const httplib::Request& req, httplib::Response& res) {
    auto user = Account(req, res);
    if (!user) return;
    TGroupQuery q;
    q.Order = req.get_param_value("sort") == "count" ? TGroupOrder::Count : TGroupOrder::LastSeen;
    q.State = StateFilterOf(req.get_param_value("state")).value_or(TStateFilter::Open);
    q.Search = req.get_param_value("q").substr(0, 200);
    q.Version = req.get_param_value("version").substr(0, 64);
    q.Executable = req.get_param_value("exe").substr(0, 260);
    q.Limit = kGroupsPerPage;
    q.Offset = int(std::min<std::int64_t>(Number(req.get_param_value("offset"), 0), 1 << 30));
    Html(res, GroupListPage(FStore.Groups(q), q, FStore.GroupCount(q), *user));
  });
  FHttp->Get(R"(/groups/(\d{1,12}))", [this](const httplib::Request& req, httplib::Response& res) {
    auto user = Account(req, res);
    if (!user) return;
    auto group = FStore.Group(Number(req.matches[1], 0));
    if (!group) return Html(res, MessagePage("Not found", "There is no such group."), 404);
    const int offset = int(std::min<std::int64_t>(Number(req.get_param_value("offset"), 0), 1 << 30));
    Html(res,
         GroupPage(*group, FStore.ReportsOfGroup(group->Id, kReportsPerPage, offset), offset, kReportsPerPage, *user));
  });
  FHttp->Get(R"(/reports/(\d{1,12}))", [this](const httplib::Request& req, httplib::Response& res) {
    auto user = Account(req, res);
    if (!user) return;
    auto report = FStore.Report(Number(req.matches[1], 0));
    if (!report) return Html(res, MessagePage("Not found", "There is no such report."), 404);
    Html(res, ReportPage(*report, *user));
  });
  TriageRoutes();
  FHttp->Get(R"(/reports/(\d{1,12})/screenshot\.png)", [this](const httplib::Request& req, httplib::Response& res) {
    if (!Account(req, res)) return;
    auto png = FStore.Screenshot(Number(req.matches[1], 0));
    if (!png) return Text(res, 404, "this report has no screenshot");
    res.set_content(*png, "image/png");
  });
}

std::string TReportServer::ThankYouLocation(const httplib::Request& req) const {
  const std::string& target = FSettings.ThankYou;
  if (target.empty() || target[0] != '/') return target;
  // The sender's shell opens this address: only a plain host[:port] from its own request
  // goes into it.
  static const std::regex kHost(R"([A-Za-z0-9.\-]{1,253}(:\d{1,5})?)");
  const std::string host = req.get_header_value("Host");
  if (!std::regex_match(host, kHost)) return {};
  return (OverHttps(req) ? "https://" : "http://") + host + target;
}

void TReportServer::Submit(const httplib::Request& req, httplib::Response& res) {
  const std::string sender = Sender(req);
  if (!FUploadLimit.Allow(sender)) {
    res.set_header("Retry-After", std::to_string(FUploadLimit.RetryAfter(sender)));
    return Text(res, 429, "too many uploads from this address; try again later");
  }
  if (!req.is_multipart_form_data()) return Text(res, 400, "expected a multipart/form-data upload");
  std::vector<TFormPart> parts;
  for (const auto& [name, part] : req.files) parts.push_back({name, part.filename, part.content});
  auto read = ReadUpload(parts);
  if (auto* error = std::get_if<TUploadError>(&read)) return Text(res, error->Status, error->Message);
  TUpload& upload = std::get<TUpload>(read);
  upload.RemoteAddress = sender;
  const TStoreResult stored = FStore.StoreUpload(upload);
  if (FSettings.LogUploads)
    std::fprintf(stderr, "reportserver: upload from %s: %d new report(s), %d known\n", sender.c_str(), stored.Stored,
                 stored.Duplicates);
  const std::string location = ThankYouLocation(req);
  if (location.empty()) return Text(res, 200, "stored " + std::to_string(stored.Stored) + " report(s)");
  res.set_redirect(location, 302);
}

std::string TReportServer::SessionKey(const httplib::Request& req) {
  const std::string token = CookieValue(req, kCookie);
  return token.empty() ? std::string() : Sha256Hex(token);
}

bool TReportServer::StartSession(const httplib::Request& req, httplib::Response& res, const std::string& name,
                                 const std::string& formToken, const std::string& passwordHash) {
  // The store keeps only the token's hash: a copy of the database opens no session.
  const std::string token = RandomToken(32);
  const std::int64_t now = std::time(nullptr);
  if (!FStore.AddSession(Sha256Hex(token), {name, formToken}, passwordHash, now,
                         now + std::int64_t(FSettings.SessionHours) * 3600))
    return false;
  res.set_header("Set-Cookie", Cookie(req, kCookie, token, FSettings.SessionHours * 3600));
  return true;
}

// Sessions live in the store, so that every server process on it knows them; a removed
// account or a changed password has ended them there.
std::optional<TViewer> TReportServer::Account(const httplib::Request& req, httplib::Response& res) {
  const std::string key = SessionKey(req);
  if (!key.empty())
    if (auto session = FStore.Session(key, std::time(nullptr))) return TViewer{session->Account, session->FormToken};
  res.set_redirect("/login?next=" + UrlEncoded(req.target.empty() ? req.path : req.target, "/"), 302);
  return std::nullopt;
}

std::optional<TViewer> TReportServer::FormAccount(const httplib::Request& req, httplib::Response& res) {
  const std::string key = SessionKey(req);
  std::optional<TStoredSession> session;
  if (!key.empty()) session = FStore.Session(key, std::time(nullptr));
  if (!session || !SameToken(req.get_param_value("csrf"), session->FormToken)) {
    Html(res,
         MessagePage("Not done",
                     "This form is out of date or came from another site; nothing was changed. "
                     "Open the page again and repeat."),
         403);
    return std::nullopt;
  }
  return TViewer{session->Account, session->FormToken};
}

void TReportServer::ShowLogin(const httplib::Request& req, httplib::Response& res, const std::string& error,
                              int status) {
  const std::string formToken = RandomToken(16);
  res.set_header("Set-Cookie", Cookie(req, kLoginCookie, formToken, 3600));
  Html(res, LoginPage(error, LocalPath(req.get_param_value("next")), formToken), status);
}

void TReportServer::Login(const httplib::Request& req, httplib::Response& res) {
  const std::string next = LocalPath(req.get_param_value("next"));
  // Without this a page elsewhere could log a developer's browser in to an account of its own.
  if (!SameToken(req.get_param_value("csrf"), CookieValue(req, kLoginCookie)))
    return ShowLogin(req, res, "The login form was out of date; please log in again.", 403);
  const std::string from = Sender(req), name = req.get_param_value("name");
  // Only wrong passwords count, and they slow down, never lock out: an address that keeps
  // guessing gets one try every few seconds, and an account under attack is closed only to
  // addresses that have themselves failed in the last ten minutes, so that a developer
  // elsewhere still gets in.
  const double addressTokens = FLoginFailures.Tokens(from);
  const bool addressClean = FFailedLately.Tokens(from) >= 1;
  if (addressTokens < 1 || (!addressClean && FAccountFailures.Tokens(name) < 1)) {
    const int wait = addressTokens < 1 ? FLoginFailures.RetryAfter(from) : FAccountFailures.RetryAfter(name);
    res.set_header("Retry-After", std::to_string(wait));
    return ShowLogin(req, res, "Too many attempts; wait a little and try again.", 429);
  }
  auto hash = FStore.PasswordHash(name);
  // Hash even for an unknown name, so that the answer time does not tell names apart.
  static const std::string kNobody = HashPassword("no such account");
  const bool ok = VerifyPassword(req.get_param_value("password"), hash ? *hash : kNobody) && hash;
  if (!ok) {
    FLoginFailures.Allow(from);
    FFailedLately.Allow(from);
    if (hash) FAccountFailures.Allow(name);  // only real accounts: made-up names would fill the table
    return ShowLogin(req, res, "Account or password is wrong.", 403);
  }

  if (!StartSession(req, res, name, RandomToken(32), *hash))
    return ShowLogin(req, res, "The account was changed meanwhile; please log in again.", 409);
  res.set_redirect(next, 303);
}

void TReportServer::Logout(const httplib::Request& req, httplib::Response& res) {
  if (!FormAccount(req, res)) return;
  FStore.EndSession(SessionKey(req));
  res.set_header("Set-Cookie", Cookie(req, kCookie, "", 0));
  res.set_redirect("/login", 303);
}

}  // namespace vm::server

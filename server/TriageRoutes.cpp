// The developers' changes: a group resolved, ignored, reopened or deleted; a report's raw text
// downloaded; one's own password changed. Every change is a POST that carries the session's
// form token (FormAccount). Tests: tests/server/test_triage.py, test_pages.py.
#include <httplib.h>

#include "server/HttpReplies.h"
#include "server/Pages.h"
#include "server/Passwords.h"
#include "server/ReportServer.h"
#include "server/Versions.h"

namespace vm::server {
namespace {

constexpr const char* kGroupPath = R"(/groups/(\d{1,12}))";
constexpr std::size_t kMinPassword = 10, kMaxPassword = 1024;

std::string GroupPath(std::int64_t id) { return "/groups/" + std::to_string(id); }

void NoSuchGroup(httplib::Response& res) { Html(res, MessagePage("Not found", "There is no such group."), 404); }

}  // namespace

void TReportServer::TriageRoutes() {
  const std::string group = kGroupPath;
  FHttp->Post(group + "/resolve", [this](const httplib::Request& req, httplib::Response& res) {
    if (!FormAccount(req, res)) return;
    auto g = FStore.Group(Number(req.matches[1], 0));
    if (!g) return NoSuchGroup(res);
    // Empty: the newest version seen, which is what a developer fixing it now has in hand.
    std::string version = req.get_param_value("version");
    version.erase(0, version.find_first_not_of(' '));
    version.erase(version.find_last_not_of(' ') + 1);
    if (version.empty()) version = g->LastVersion;
    if (!IsVersionNumber(version))
      return Html(res,
                  MessagePage("Not resolved",
                              version.empty() ? "This group's reports name no version: type the version that fixes it."
                                              : "\"" + version.substr(0, 64) +
                                                    "\" is no version: numbers separated by "
                                                    "dots, like 1.0.0.8."),
                  400);
    FStore.SetGroupState(g->Id, TGroupState::Resolved, version);
    res.set_redirect(GroupPath(g->Id), 303);
  });
  for (const auto& [action, state] :
       {std::pair{"/ignore", TGroupState::Ignored}, std::pair{"/reopen", TGroupState::Open}}) {
    FHttp->Post(group + action, [this, target = state](const httplib::Request& req, httplib::Response& res) {
      if (!FormAccount(req, res)) return;
      const std::int64_t id = Number(req.matches[1], 0);
      if (!FStore.SetGroupState(id, target, "")) return NoSuchGroup(res);
      res.set_redirect(GroupPath(id), 303);
    });
  }
  FHttp->Get(group + "/delete", [this](const httplib::Request& req, httplib::Response& res) {
    auto viewer = Account(req, res);
    if (!viewer) return;
    auto g = FStore.Group(Number(req.matches[1], 0));
    if (!g) return NoSuchGroup(res);
    Html(res, DeleteGroupPage(*g, *viewer));
  });
  FHttp->Post(group + "/delete", [this](const httplib::Request& req, httplib::Response& res) {
    if (!FormAccount(req, res)) return;
    if (!FStore.DeleteGroup(Number(req.matches[1], 0))) return NoSuchGroup(res);
    res.set_redirect("/groups", 303);
  });

  FHttp->Get(R"(/reports/(\d{1,12})/bugreport\.txt)", [this](const httplib::Request& req, httplib::Response& res) {
    if (!Account(req, res)) return;
    auto report = FStore.Report(Number(req.matches[1], 0));
    if (!report) return Html(res, MessagePage("Not found", "There is no such report."), 404);
    // The bytes as the program wrote them, in its code page: no charset is claimed.
    res.set_header("Content-Disposition", "attachment; filename=\"bugreport.txt\"");
    res.set_content(report->Text, "text/plain");
  });

  FHttp->Get("/account", [this](const httplib::Request& req, httplib::Response& res) {
    if (auto viewer = Account(req, res)) Html(res, AccountPage(*viewer, "", ""));
  });
  FHttp->Post("/account/password",
              [this](const httplib::Request& req, httplib::Response& res) { ChangePassword(req, res); });
}

void TReportServer::ChangePassword(const httplib::Request& req, httplib::Response& res) {
  auto viewer = FormAccount(req, res);
  if (!viewer) return;
  auto fail = [&](const std::string& why, int status) { Html(res, AccountPage(*viewer, why, ""), status); };
  const std::string fresh = req.get_param_value("new");
  if (fresh.size() < kMinPassword) return fail("The new password is too short: at least 10 characters.", 400);
  if (fresh.size() > kMaxPassword) return fail("The new password is too long: at most 1024 characters.", 400);
  if (fresh != req.get_param_value("repeat")) return fail("The two new passwords differ.", 400);
  // The current password is asked so that a browser left open cannot take the account over;
  // guessing it is throttled per account.
  if (!FPasswordLimit.Allow(viewer->Name)) return fail("Too many attempts; wait a little and try again.", 429);
  auto hash = FStore.PasswordHash(viewer->Name);
  if (!hash || !VerifyPassword(req.get_param_value("current"), *hash))
    return fail("The current password is wrong.", 403);

  const std::string newHash = HashPassword(fresh);
  // Ends every session of the account, on every server process.
  if (!FStore.SetPasswordHash(viewer->Name, newHash)) return fail("This account no longer exists.", 404);
  // This browser stays logged in, with a session of the new password.
  FStore.EndSession(SessionKey(req));
  StartSession(req, res, viewer->Name, viewer->FormToken, newHash);
  Html(res, AccountPage(*viewer, "", "The password is changed."));
}

}  // namespace vm::server

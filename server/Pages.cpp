#include "server/Pages.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace vm::server {
namespace {

constexpr const char* kStyle = R"css(
body{font-family:system-ui,sans-serif;margin:0;color:#1b1b1b;background:#f6f6f4}
header{background:#23364a;color:#fff;padding:.6em 1em;display:flex;flex-wrap:wrap;gap:.6em;align-items:center}
header a{color:#fff;text-decoration:none;font-weight:600}
header form{margin:0;display:flex;gap:.4em}
header .who{margin-left:auto;font-size:.9em}
main{padding:1em;max-width:70em;margin:auto}
table{border-collapse:collapse;width:100%;background:#fff}
th,td{text-align:left;padding:.45em .6em;border-bottom:1px solid #ddd;vertical-align:top}
th{background:#e9ecef;font-size:.85em}
td.n{text-align:right;white-space:nowrap}
td a{overflow-wrap:anywhere}
.msg{color:#555;font-size:.9em;overflow-wrap:anywhere}
pre{background:#fff;border:1px solid #ddd;padding:.8em;overflow-x:auto;font-size:.8em;line-height:1.35}
dl{display:grid;grid-template-columns:max-content 1fr;gap:.25em 1em;background:#fff;padding:.8em;border:1px solid #ddd}
dt{font-weight:600}dd{margin:0;overflow-wrap:anywhere}
img.shot{max-width:100%;border:1px solid #999}
.sort a,.pages a{margin-right:.8em}
.error{color:#a40000;font-weight:600}
input,button,select{font-size:1em;padding:.3em .5em}
form.filter{display:flex;flex-wrap:wrap;gap:.5em 1em;align-items:end;margin:0 0 .8em}
form.filter label{display:flex;flex-direction:column;font-size:.85em}
.triage{background:#fff;border:1px solid #ddd;padding:.6em .8em;margin:1em 0;display:flex;flex-wrap:wrap;gap:.6em 1.2em;align-items:center}
.triage p{margin:0;flex-basis:100%}
.triage form{margin:0}
.state{font-size:.85em;white-space:nowrap}
.regressed{color:#fff;background:#a40000;padding:0 .35em;border-radius:.2em}
.claim{display:block;color:#777;font-size:.8em}
.danger{color:#a40000}
button.danger{color:#fff;background:#a40000;border:1px solid #700}
p.body{white-space:pre-wrap;overflow-wrap:anywhere;background:#fff;border:1px solid #ddd;padding:.6em}
.narrow{display:none}
@media (max-width:40em){th.wide,td.wide{display:none}.narrow{display:block}th,td{padding:.45em .3em}main{padding:1em .5em}table{font-size:.9em}}
)css";

std::string TokenField(const TViewer& viewer) {
  return "<input type=\"hidden\" name=\"csrf\" value=\"" + HtmlEscape(viewer.FormToken) + "\">";
}

// A button that posts to `action` with the session's token: every change is a POST.
std::string ActionButton(const std::string& action, const std::string& label, const TViewer& viewer,
                         const std::string& buttonClass = "") {
  return "<form method=\"post\" action=\"" + action + "\">" + TokenField(viewer) + "<button" +
         (buttonClass.empty() ? "" : " class=\"" + buttonClass + "\"") + ">" + label + "</button></form>";
}

std::string Layout(const std::string& title, const TViewer& viewer, const std::string& body,
                   const std::string& search = "") {
  std::string h =
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
      "<title>" +
      HtmlEscape(title) + " - Veilmark crash reports</title><style>" + kStyle +
      "</style></head><body><header><a href=\"/groups\">Veilmark crash reports</a>";
  if (!viewer.Name.empty()) {
    h += "<form action=\"/groups\" method=\"get\"><input type=\"search\" name=\"q\" placeholder=\"search all reports\" "
         "value=\"" +
         HtmlEscape(search) +
         "\"><input type=\"hidden\" name=\"state\" "
         "value=\"all\"><button>Search</button></form>";
    h += "<span class=\"who\"><a href=\"/account\">" + HtmlEscape(viewer.Name) +
         "</a> <form action=\"/logout\" method=\"post\" style=\"display:inline\">" + TokenField(viewer) +
         "<button>Log out</button></form></span>";
  }
  return h + "</header><main>" + body + "</main></body></html>\n";
}

std::string Versions(const std::vector<std::string>& versions) {
  std::string out;
  for (const std::string& v : versions) out += (out.empty() ? "" : ", ") + HtmlEscape(v);
  return out.empty() ? "-" : out;
}

// "1.0.0.7 – 1.0.0.9": the lowest and highest version a group occurs in.
std::string VersionSpan(const TGroupRow& g) {
  if (g.FirstVersion.empty()) return "-";
  if (g.FirstVersion == g.LastVersion) return HtmlEscape(g.FirstVersion);
  return HtmlEscape(g.FirstVersion) + " &ndash; " + HtmlEscape(g.LastVersion);
}

std::string StateLabel(const TGroupRow& g) {
  if (g.Regressed) return "<span class=\"regressed\">regressed</span>";
  if (g.State == TGroupState::Resolved) return "resolved in " + HtmlEscape(g.ResolvedIn);
  return g.State == TGroupState::Ignored ? "ignored" : "open";
}

// The received reports, and beside them what the files claim when that differs.
std::string ReportCount(const TGroupRow& g) {
  std::string out = std::to_string(g.Reports);
  if (g.ClaimedCount != g.Reports) out += "<span class=\"claim\">claims " + std::to_string(g.ClaimedCount) + "</span>";
  return out;
}

// Texts from the program are in its ANSI code page; the page says UTF-8. Bytes that are not
// valid UTF-8 are shown as the Latin-1 letters they most likely are, never dropped.
std::string AsUtf8(const std::string& bytes) {
  std::string out;
  for (size_t i = 0; i < bytes.size();) {
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    bool valid = len > 0 && i + len <= bytes.size();
    for (size_t k = 1; valid && k < len; ++k) valid = (static_cast<unsigned char>(bytes[i + k]) >> 6) == 2;
    if (valid) {
      out.append(bytes, i, len);
      i += len;
    } else {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
      ++i;
    }
  }
  return out;
}

constexpr std::pair<TStateFilter, const char*> kStateNames[] = {{TStateFilter::Open, "open"},
                                                                {TStateFilter::Regressed, "regressed"},
                                                                {TStateFilter::Resolved, "resolved"},
                                                                {TStateFilter::Ignored, "ignored"},
                                                                {TStateFilter::All, "all"}};

// The list with the query's filters, in another order or on another page.
std::string QueryLink(const TGroupQuery& q, TGroupOrder order, int offset) {
  std::string link = "/groups?sort=";
  link += order == TGroupOrder::Count ? "count" : "last";
  link += std::string("&amp;state=") + StateFilterName(q.State);
  for (const auto& [name, value] :
       {std::pair<const char*, const std::string*>{"q", &q.Search}, {"version", &q.Version}, {"exe", &q.Executable}})
    if (!value->empty()) link += std::string("&amp;") + name + "=" + UrlEncoded(*value);
  if (offset) link += "&amp;offset=" + std::to_string(offset);
  return link;
}

std::string FilterForm(const TGroupQuery& q) {
  std::string f =
      "<form class=\"filter\" action=\"/groups\" method=\"get\"><input type=\"hidden\" name=\"sort\" value=\"" +
      std::string(q.Order == TGroupOrder::Count ? "count" : "last") + "\">";
  if (!q.Search.empty()) f += "<input type=\"hidden\" name=\"q\" value=\"" + HtmlEscape(q.Search) + "\">";
  f += "<label>State<select name=\"state\">";
  for (const auto& [state, name] : kStateNames)
    f += std::string("<option") + (state == q.State ? " selected" : "") + ">" + name + "</option>";
  f += "</select></label><label>Version<input name=\"version\" size=\"10\" value=\"" + HtmlEscape(q.Version) +
       "\"></label><label>Executable<input name=\"exe\" size=\"14\" value=\"" + HtmlEscape(q.Executable) +
       "\"></label><button>Show</button></form>";
  return f;
}

std::string GroupTitle(const TGroupRow& g) { return g.ExceptionClass.empty() ? "(freeze)" : g.ExceptionClass; }

}  // namespace

std::string UrlEncoded(const std::string& text, std::string_view keep) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || keep.find(char(c)) != std::string_view::npos) {
      out += char(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::string HtmlEscape(const std::string& text) {
  std::string out;
  for (char c : AsUtf8(text)) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

const char* StateFilterName(TStateFilter state) {
  for (const auto& [value, name] : kStateNames)
    if (value == state) return name;
  return "open";
}

std::optional<TStateFilter> StateFilterOf(const std::string& name) {
  for (const auto& [value, known] : kStateNames)
    if (name == known) return value;
  return std::nullopt;
}

std::string LoginPage(const std::string& error, const std::string& next, const std::string& formToken) {
  std::string body = "<h1>Log in</h1>";
  if (!error.empty()) body += "<p class=\"error\">" + HtmlEscape(error) + "</p>";
  body += "<form method=\"post\" action=\"/login\">" + TokenField({"", formToken}) +
          "<input type=\"hidden\" name=\"next\" value=\"" + HtmlEscape(next) +
          "\"><p><label>Account<br><input name=\"name\" autocomplete=\"username\" required autofocus></label></p>"
          "<p><label>Password<br><input type=\"password\" name=\"password\" autocomplete=\"current-password\" "
          "required></label></p><p><button>Log in</button></p></form>";
  return Layout("Log in", {}, body);
}

std::string GroupListPage(const std::vector<TGroupRow>& groups, const TGroupQuery& q, std::int64_t total,
                          const TViewer& viewer) {
  std::string body =
      "<h1>" + std::string(q.Search.empty() ? "Crash groups" : "Groups matching \"" + HtmlEscape(q.Search) + "\"") +
      "</h1>" + FilterForm(q) + "<p class=\"sort\">" + std::to_string(total) + " group" + (total == 1 ? "" : "s") +
      ". Sort by: ";
  body += q.Order == TGroupOrder::LastSeen ? "<b>last seen</b> "
                                           : "<a href=\"" + QueryLink(q, TGroupOrder::LastSeen, 0) + "\">last seen</a>";
  body += q.Order == TGroupOrder::Count ? "<b>count</b>"
                                        : "<a href=\"" + QueryLink(q, TGroupOrder::Count, 0) + "\">count</a>";
  body += " <span class=\"msg\">(computers, then reports received)</span></p>";
  if (groups.empty()) return Layout("Crash groups", viewer, body + "<p>No groups here.</p>", q.Search);
  body +=
      "<table><tr><th>Exception</th><th class=\"wide\">State</th><th class=\"n\">Computers</th><th "
      "class=\"n\">Reports</th>"
      "<th class=\"wide\">Versions</th><th>Last seen</th><th class=\"wide\">First seen</th></tr>";
  for (const TGroupRow& g : groups) {
    body += "<tr><td><a href=\"/groups/" + std::to_string(g.Id) + "\">" + HtmlEscape(GroupTitle(g)) +
            "</a><div class=\"msg\">" + HtmlEscape(g.ExceptionMessage) + "</div><div class=\"msg\">" +
            HtmlEscape(g.Executable) + "</div><div class=\"state narrow\">" + StateLabel(g) +
            "</div></td><td class=\"state wide\">" + StateLabel(g) + "</td><td class=\"n\">" +
            std::to_string(g.Computers) + "</td><td class=\"n\">" + ReportCount(g) + "</td><td class=\"wide\">" +
            VersionSpan(g) + "</td><td>" + HtmlEscape(g.LastSeen) + "</td><td class=\"wide\">" +
            HtmlEscape(g.FirstSeen) + "</td></tr>";
  }
  body += "</table><p class=\"pages\">";
  if (q.Offset > 0)
    body += "<a href=\"" + QueryLink(q, q.Order, std::max(0, q.Offset - q.Limit)) + "\">previous page</a>";
  if (q.Offset + std::int64_t(groups.size()) < total)
    body += "<a href=\"" + QueryLink(q, q.Order, q.Offset + q.Limit) + "\">next page</a>";
  return Layout("Crash groups", viewer, body + "</p>", q.Search);
}

namespace {

std::string TriageBox(const TGroupRow& g, const TViewer& viewer) {
  const std::string self = "/groups/" + std::to_string(g.Id);
  std::string box = "<section class=\"triage\"><p>State: <b>" + StateLabel(g) + "</b>";
  if (g.Regressed)
    box += " &ndash; it was resolved in " + HtmlEscape(g.ResolvedIn) + ", and a newer version crashed here again";
  box += "</p><form method=\"post\" action=\"" + self + "/resolve\">" + TokenField(viewer) +
         "<label>Fixed in version <input name=\"version\" size=\"12\" inputmode=\"decimal\" value=\"" +
         HtmlEscape(g.LastVersion) + "\" placeholder=\"newest seen\"></label> <button>Resolve</button></form>";
  if (g.State != TGroupState::Ignored) box += ActionButton(self + "/ignore", "Ignore", viewer);
  if (g.State != TGroupState::Open || g.Regressed) box += ActionButton(self + "/reopen", "Reopen", viewer);
  return box + "<a class=\"danger\" href=\"" + self + "/delete\">Delete&hellip;</a></section>";
}

}  // namespace

std::string GroupPage(const TGroupRow& g, const std::vector<TReportRow>& reports, int offset, int pageSize,
                      const TViewer& viewer) {
  std::string body = "<h1>" + HtmlEscape(GroupTitle(g)) + "</h1>";
  body += "<p class=\"msg\">" + HtmlEscape(g.ExceptionMessage) + "</p>" + TriageBox(g, viewer) +
          "<dl><dt>Executable</dt><dd>" + HtmlEscape(g.Executable) + "</dd><dt>Computers</dt><dd>" +
          std::to_string(g.Computers) + "</dd><dt>Reports</dt><dd>" + std::to_string(g.Reports) +
          " received; the files claim " + std::to_string(g.ClaimedCount) + " occurrences</dd><dt>Versions</dt><dd>" +
          Versions(g.Versions) + "</dd><dt>First version</dt><dd>" +
          HtmlEscape(g.FirstVersion.empty() ? "-" : g.FirstVersion) + "</dd><dt>Last version</dt><dd>" +
          HtmlEscape(g.LastVersion.empty() ? "-" : g.LastVersion) + "</dd><dt>First seen</dt><dd>" +
          HtmlEscape(g.FirstSeen) + " UTC</dd><dt>Last seen</dt><dd>" + HtmlEscape(g.LastSeen) +
          " UTC</dd></dl><h2>Reports</h2>";
  body +=
      "<table><tr><th>Received</th><th>Computer</th><th class=\"wide\">User</th><th>Version</th>"
      "<th class=\"n\">Count</th></tr>";
  for (const TReportRow& r : reports) {
    body += "<tr><td><a href=\"/reports/" + std::to_string(r.Id) + "\">" + HtmlEscape(r.ReceivedAt) + "</a>" +
            (r.HasScreenshot ? " &#128247;" : "") + "</td><td>" + HtmlEscape(r.ComputerName) +
            "</td><td class=\"wide\">" + HtmlEscape(r.UserName) + "</td><td>" + HtmlEscape(r.Version) +
            "</td><td class=\"n\">" + std::to_string(r.Count) + "</td></tr>";
  }
  body += "</table><p class=\"pages\">";
  const std::string self = "/groups/" + std::to_string(g.Id);
  if (offset > 0)
    body += "<a href=\"" + self + "?offset=" + std::to_string(std::max(0, offset - pageSize)) + "\">newer reports</a>";
  if (int(reports.size()) == pageSize)
    body += "<a href=\"" + self + "?offset=" + std::to_string(offset + pageSize) + "\">older reports</a>";
  return Layout(GroupTitle(g), viewer, body + "</p>");
}

std::string DeleteGroupPage(const TGroupRow& g, const TViewer& viewer) {
  const std::string self = "/groups/" + std::to_string(g.Id);
  std::string body = "<h1>Delete this group?</h1><p><b>" + HtmlEscape(GroupTitle(g)) + "</b> in " +
                     HtmlEscape(g.Executable) + ": its " + std::to_string(g.Reports) +
                     " report(s), their screenshots and the senders' messages go for good. A new report of this "
                     "crash starts a new group.</p><div class=\"triage\">" +
                     ActionButton(self + "/delete", "Delete the group and its reports", viewer, "danger") +
                     "<a href=\"" + self + "\">Cancel</a></div>";
  return Layout("Delete group", viewer, body);
}

std::string ReportPage(const TReportRow& r, const TViewer& viewer) {
  std::string body =
      "<p><a href=\"/groups/" + std::to_string(r.GroupId) + "\">&larr; all reports of this group</a></p>";
  body += "<h1>" + HtmlEscape(r.ExceptionClass.empty() ? "(freeze)" : r.ExceptionClass) + "</h1><p class=\"msg\">" +
          HtmlEscape(r.ExceptionMessage) + "</p><h2>Contact</h2><dl>";
  auto row = [&](const char* label, const std::string& value) {
    body += std::string("<dt>") + label + "</dt><dd>" + (value.empty() ? "-" : HtmlEscape(value)) + "</dd>";
  };
  row("Name", r.ContactName);
  row("E-mail", r.ContactEmail);
  row("Sender", r.MailFrom);
  row("Computer", r.ComputerName);
  row("User", r.UserName);
  row("Sent from", r.RemoteAddress);
  row("Received", r.ReceivedAt + " UTC");
  row("Occurred", r.DateTime);
  row("Count", std::to_string(r.Count));
  body += "</dl>";
  if (!r.MailSubject.empty() || !r.MailBody.empty())
    body += "<h2>Message</h2><p><b>" + HtmlEscape(r.MailSubject) + "</b></p><p class=\"body\">" +
            HtmlEscape(r.MailBody) + "</p>";
  if (r.HasScreenshot)
    body += "<h2>Screenshot</h2><a href=\"/reports/" + std::to_string(r.Id) +
            "/screenshot.png\"><img class=\"shot\" src=\"/reports/" + std::to_string(r.Id) +
            "/screenshot.png\" alt=\"screenshot at the time of the error\"></a>";
  body += "<h2>Report</h2><p><a href=\"/reports/" + std::to_string(r.Id) +
          "/bugreport.txt\" download=\"bugreport.txt\">Download bugreport.txt</a></p><pre>" + HtmlEscape(r.Text) +
          "</pre>";
  return Layout(r.ExceptionClass, viewer, body);
}

std::string AccountPage(const TViewer& viewer, const std::string& error, const std::string& notice) {
  std::string body = "<h1>Account " + HtmlEscape(viewer.Name) + "</h1>";
  if (!error.empty()) body += "<p class=\"error\">" + HtmlEscape(error) + "</p>";
  if (!notice.empty()) body += "<p><b>" + HtmlEscape(notice) + "</b></p>";
  body += "<h2>Change the password</h2><form method=\"post\" action=\"/account/password\">" + TokenField(viewer) +
          "<p><label>Current password<br><input type=\"password\" name=\"current\" autocomplete=\"current-password\" "
          "required></label></p><p><label>New password (at least 10 characters)<br><input type=\"password\" "
          "name=\"new\" autocomplete=\"new-password\" minlength=\"10\" required></label></p><p><label>New password "
          "again<br><input type=\"password\" name=\"repeat\" autocomplete=\"new-password\" required></label></p>"
          "<p><button>Change password</button></p></form><p class=\"msg\">Other browsers logged in to this account are "
          "logged out.</p>";
  return Layout("Account", viewer, body);
}

std::string ThanksPage() {
  return Layout("Thank you", {},
                "<h1>Thank you</h1><p>Your bug report has arrived. It helps us find and fix the error; you do not "
                "need to do anything else.</p>");
}

std::string MessagePage(const std::string& title, const std::string& message) {
  return Layout(title, {}, "<h1>" + HtmlEscape(title) + "</h1><p>" + HtmlEscape(message) + "</p>");
}

}  // namespace vm::server

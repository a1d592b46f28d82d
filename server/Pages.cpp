#include "server/Pages.h"

#include <algorithm>
#include <cctype>

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
.msg{color:#555;font-size:.9em;overflow-wrap:anywhere}
pre{background:#fff;border:1px solid #ddd;padding:.8em;overflow-x:auto;font-size:.8em;line-height:1.35}
dl{display:grid;grid-template-columns:max-content 1fr;gap:.25em 1em;background:#fff;padding:.8em;border:1px solid #ddd}
dt{font-weight:600}dd{margin:0;overflow-wrap:anywhere}
img.shot{max-width:100%;border:1px solid #999}
.sort a,.pages a{margin-right:.8em}
.error{color:#a40000;font-weight:600}
input,button{font-size:1em;padding:.3em .5em}
@media (max-width:40em){th.wide,td.wide{display:none}}
)css";

std::string Layout(const std::string& title, const std::string& user, const std::string& body,
                   const std::string& search = "") {
  std::string h = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                  "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
                  "<title>" + HtmlEscape(title) + " - Veilmark crash reports</title><style>" + kStyle +
                  "</style></head><body><header><a href=\"/groups\">Veilmark crash reports</a>";
  if (!user.empty()) {
    h += "<form action=\"/groups\" method=\"get\"><input type=\"search\" name=\"q\" placeholder=\"exception class or "
         "message\" value=\"" + HtmlEscape(search) + "\"><button>Search</button></form>";
    h += "<span class=\"who\">" + HtmlEscape(user) +
         " <form action=\"/logout\" method=\"post\" style=\"display:inline\"><button>Log out</button></form></span>";
  }
  return h + "</header><main>" + body + "</main></body></html>\n";
}

std::string Versions(const std::vector<std::string>& versions) {
  std::string out;
  for (const std::string& v : versions) out += (out.empty() ? "" : ", ") + HtmlEscape(v);
  return out.empty() ? "-" : out;
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

std::string QueryLink(const TGroupQuery& q, TGroupOrder order, int offset) {
  std::string link = "/groups?sort=";
  link += order == TGroupOrder::Count ? "count" : "last";
  if (!q.Search.empty()) {
    link += "&amp;q=";
    static const char hex[] = "0123456789ABCDEF";
    for (unsigned char c : q.Search) {
      if (std::isalnum(c) || c == '-' || c == '_' || c == '.') link += char(c);
      else {
        link += '%';
        link += hex[c >> 4];
        link += hex[c & 15];
      }
    }
  }
  if (offset) link += "&amp;offset=" + std::to_string(offset);
  return link;
}

}  // namespace

std::string HtmlEscape(const std::string& text) {
  std::string out;
  for (char c : AsUtf8(text)) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string LoginPage(const std::string& error, const std::string& next) {
  std::string body = "<h1>Log in</h1>";
  if (!error.empty()) body += "<p class=\"error\">" + HtmlEscape(error) + "</p>";
  body += "<form method=\"post\" action=\"/login\"><input type=\"hidden\" name=\"next\" value=\"" + HtmlEscape(next) +
          "\"><p><label>Account<br><input name=\"name\" autocomplete=\"username\" required autofocus></label></p>"
          "<p><label>Password<br><input type=\"password\" name=\"password\" autocomplete=\"current-password\" "
          "required></label></p><p><button>Log in</button></p></form>";
  return Layout("Log in", "", body);
}

std::string GroupListPage(const std::vector<TGroupRow>& groups, const TGroupQuery& q, std::int64_t total,
                          const std::string& user) {
  std::string body = "<h1>" + std::string(q.Search.empty() ? "Crash groups" : "Groups matching \"" + HtmlEscape(q.Search) + "\"") +
                     "</h1><p class=\"sort\">" + std::to_string(total) + " group" + (total == 1 ? "" : "s") +
                     ". Sort by: ";
  body += q.Order == TGroupOrder::LastSeen ? "<b>last seen</b> " : "<a href=\"" + QueryLink(q, TGroupOrder::LastSeen, 0) + "\">last seen</a>";
  body += q.Order == TGroupOrder::Count ? "<b>count</b>" : "<a href=\"" + QueryLink(q, TGroupOrder::Count, 0) + "\">count</a>";
  body += "</p>";
  if (groups.empty()) return Layout("Crash groups", user, body + "<p>No reports yet.</p>", q.Search);
  body += "<table><tr><th>Exception</th><th class=\"n\">Reports</th><th class=\"n wide\">Computers</th>"
          "<th class=\"wide\">Versions</th><th>Last seen</th><th class=\"wide\">First seen</th></tr>";
  for (const TGroupRow& g : groups) {
    body += "<tr><td><a href=\"/groups/" + std::to_string(g.Id) + "\">" +
            HtmlEscape(g.ExceptionClass.empty() ? "(freeze)" : g.ExceptionClass) + "</a><div class=\"msg\">" +
            HtmlEscape(g.ExceptionMessage) + "</div><div class=\"msg\">" + HtmlEscape(g.Executable) +
            "</div></td><td class=\"n\">" + std::to_string(g.Reports) + "</td><td class=\"n wide\">" +
            std::to_string(g.Computers) + "</td><td class=\"wide\">" + Versions(g.Versions) + "</td><td>" +
            HtmlEscape(g.LastSeen) + "</td><td class=\"wide\">" + HtmlEscape(g.FirstSeen) + "</td></tr>";
  }
  body += "</table><p class=\"pages\">";
  if (q.Offset > 0) body += "<a href=\"" + QueryLink(q, q.Order, std::max(0, q.Offset - q.Limit)) + "\">newer page</a>";
  if (q.Offset + std::int64_t(groups.size()) < total) body += "<a href=\"" + QueryLink(q, q.Order, q.Offset + q.Limit) + "\">next page</a>";
  return Layout("Crash groups", user, body + "</p>", q.Search);
}

std::string GroupPage(const TGroupRow& g, const std::vector<TReportRow>& reports, int offset, int pageSize,
                      const std::string& user) {
  std::string body = "<h1>" + HtmlEscape(g.ExceptionClass.empty() ? "(freeze)" : g.ExceptionClass) + "</h1>";
  body += "<p class=\"msg\">" + HtmlEscape(g.ExceptionMessage) + "</p><dl><dt>Executable</dt><dd>" +
          HtmlEscape(g.Executable) + "</dd><dt>Reports</dt><dd>" + std::to_string(g.Reports) +
          "</dd><dt>Computers</dt><dd>" + std::to_string(g.Computers) + "</dd><dt>Versions</dt><dd>" +
          Versions(g.Versions) + "</dd><dt>First seen</dt><dd>" + HtmlEscape(g.FirstSeen) +
          " UTC</dd><dt>Last seen</dt><dd>" + HtmlEscape(g.LastSeen) + " UTC</dd></dl><h2>Reports</h2>";
  body += "<table><tr><th>Received</th><th>Computer</th><th class=\"wide\">User</th><th class=\"wide\">Version</th>"
          "<th class=\"n\">Count</th></tr>";
  for (const TReportRow& r : reports) {
    body += "<tr><td><a href=\"/reports/" + std::to_string(r.Id) + "\">" + HtmlEscape(r.ReceivedAt) + "</a>" +
            (r.HasScreenshot ? " &#128247;" : "") + "</td><td>" + HtmlEscape(r.ComputerName) +
            "</td><td class=\"wide\">" + HtmlEscape(r.UserName) + "</td><td class=\"wide\">" +
            HtmlEscape(r.Version) + "</td><td class=\"n\">" + std::to_string(r.Count) + "</td></tr>";
  }
  body += "</table><p class=\"pages\">";
  const std::string self = "/groups/" + std::to_string(g.Id);
  if (offset > 0) body += "<a href=\"" + self + "?offset=" + std::to_string(std::max(0, offset - pageSize)) + "\">newer reports</a>";
  if (int(reports.size()) == pageSize) body += "<a href=\"" + self + "?offset=" + std::to_string(offset + pageSize) + "\">older reports</a>";
  return Layout(g.ExceptionClass, user, body + "</p>");
}

std::string ReportPage(const TReportRow& r, const std::string& user) {
  std::string body = "<p><a href=\"/groups/" + std::to_string(r.GroupId) + "\">&larr; all reports of this group</a></p>";
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
    body += "<h2>Message</h2><p><b>" + HtmlEscape(r.MailSubject) + "</b></p><p>" + HtmlEscape(r.MailBody) + "</p>";
  if (r.HasScreenshot)
    body += "<h2>Screenshot</h2><a href=\"/reports/" + std::to_string(r.Id) + "/screenshot.png\"><img class=\"shot\" src=\"/reports/" +
            std::to_string(r.Id) + "/screenshot.png\" alt=\"screenshot at the time of the error\"></a>";
  body += "<h2>Report</h2><pre>" + HtmlEscape(r.Text) + "</pre>";
  return Layout(r.ExceptionClass, user, body);
}

std::string ThanksPage() {
  return Layout("Thank you", "",
                "<h1>Thank you</h1><p>Your bug report has arrived. It helps us find and fix the error; you do not "
                "need to do anything else.</p>");
}

std::string MessagePage(const std::string& title, const std::string& message) {
  return Layout(title, "", "<h1>" + HtmlEscape(title) + "</h1><p>" + HtmlEscape(message) + "</p>");
}

}  // namespace vm::server

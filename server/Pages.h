// The developers' pages as plain HTML, built from the store's rows: no script, one small
// style sheet that reads on a phone. Every text from a report is escaped. Tests: the page
// tests in tests/server/test_pages.py, and tests/server/ServerLogicTest.cpp for the escaping.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/ReportStore.h"

namespace vm::server {

// Who looks at a page, and the token that every form of their session carries.
struct TViewer {
  std::string Name, FormToken;
};

std::string HtmlEscape(const std::string& text);
// Percent-encodes all but letters, digits, "-_." and the characters in `keep`.
std::string UrlEncoded(const std::string& text, std::string_view keep = "");

// The list's state filter in links and forms: "open", "regressed", "resolved", "ignored", "all".
const char* StateFilterName(TStateFilter state);
std::optional<TStateFilter> StateFilterOf(const std::string& name);

// `formToken` is the one of the browser's login cookie: a login form from elsewhere fails.
std::string LoginPage(const std::string& error, const std::string& next, const std::string& formToken);
std::string GroupListPage(const std::vector<TGroupRow>& groups, const TGroupQuery& query, std::int64_t total,
                          const TViewer& viewer);
// With the triage controls: resolve (in a version), ignore, reopen, delete.
std::string GroupPage(const TGroupRow& group, const std::vector<TReportRow>& reports, int offset, int pageSize,
                      const TViewer& viewer);
// Asks before a group goes with its reports and screenshots.
std::string DeleteGroupPage(const TGroupRow& group, const TViewer& viewer);
std::string ReportPage(const TReportRow& report, const TViewer& viewer);
// Changing one's own password; `error` or `notice` (one of them) says how the last try went.
std::string AccountPage(const TViewer& viewer, const std::string& error, const std::string& notice);
std::string ThanksPage();
std::string MessagePage(const std::string& title, const std::string& message);

}  // namespace vm::server

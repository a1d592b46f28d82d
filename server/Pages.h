// The developers' pages as plain HTML, built from the store's rows: no script, one small
// style sheet that reads on a phone. Every text from a report is escaped. Tests: the page
// tests in tests/server/test_pages.py, and tests/server/PagesTest.cpp for the escaping.
#pragma once

#include <string>
#include <vector>

#include "server/ReportStore.h"

namespace vm::server {

std::string HtmlEscape(const std::string& text);

std::string LoginPage(const std::string& error, const std::string& next);
std::string GroupListPage(const std::vector<TGroupRow>& groups, const TGroupQuery& query, std::int64_t total,
                          const std::string& user);
std::string GroupPage(const TGroupRow& group, const std::vector<TReportRow>& reports, int offset, int pageSize,
                      const std::string& user);
std::string ReportPage(const TReportRow& report, const std::string& user);
std::string ThanksPage();
std::string MessagePage(const std::string& title, const std::string& message);

}  // namespace vm::server

// Per-exception settings: the class filters F1 and F2 and the general group Gn decide
// whether a report, a screenshot, thread suspension and handlers happen, and how the error
// is shown. Entry point: ApplyCrashFilters. Tests: tests/crashreport/settings/CrashSettingsFiltersTest.cpp.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "base/Exception.h"
#include "crashreport/settings/CrashSettings.h"

namespace vm {

enum class TShowMode {
  FullDialog = 0,
  Assistant = 1,     // the assistant named by the filter alone
  OkDetailsBox = 2,  // simple box with OK and Details
  OkBox = 3,         // simple box with OK
};

struct TCrashFilterResult {
  std::string Group;  // "F1", "F2" or "Gn": the group that applied
  bool CreateBugReport = true;
  bool CreateScreenshot = false;
  bool SuspendThreads = false;
  bool CallHandlers = true;
  TShowMode ShowMode = TShowMode::FullDialog;
  std::string Assistant;
};

// True when the exception's class or one of its ancestors has the given name.
using TClassMatcher = std::function<bool(std::string_view className)>;

// True when one of the comma-separated class names of `classes` matches.
bool MatchesClassList(std::string_view classes, const TClassMatcher& inheritsFrom);

TCrashFilterResult ApplyCrashFilters(const ICrashSettings& settings, const TClassMatcher& inheritsFrom);
TCrashFilterResult ApplyCrashFilters(const ICrashSettings& settings, const Exception& exception);

}  // namespace vm

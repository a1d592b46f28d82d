#include "crashreport/settings/CrashSettingsFilters.h"

#include "base/Text.h"

namespace vm {

bool MatchesClassList(std::string_view classes, const TClassMatcher& inheritsFrom) {
  size_t start = 0;
  while (start <= classes.size()) {
    size_t end = classes.find(',', start);
    if (end == std::string_view::npos) end = classes.size();
    std::string name = Trim(classes.substr(start, end - start));
    if (!name.empty() && inheritsFrom(name)) return true;
    start = end + 1;
  }
  return false;
}

TCrashFilterResult ApplyCrashFilters(const ICrashSettings& settings, const TClassMatcher& inheritsFrom) {
  std::string group = "Gn";
  if (MatchesClassList(settings.F1Classes(), inheritsFrom))
    group = "F1";
  else if (MatchesClassList(settings.F2Classes(), inheritsFrom))
    group = "F2";
  auto flag = [&](const char* suffix) { return settings.ReadBool(group + suffix); };
  TCrashFilterResult r;
  r.Group = group;
  r.CreateBugReport = !flag("NoBugRep");
  r.CreateScreenshot = !flag("NoScrShot") && settings.ScrShotDepth() > 0;
  r.SuspendThreads = settings.PauseThreads() && !flag("NoSuspend");
  r.CallHandlers = !flag("NoHandlers");
  std::int32_t show = settings.ReadInt(group + "ShowCfg");
  // An unknown mode shows the full dialog rather than nothing.
  r.ShowMode = show >= 0 && show <= 3 ? TShowMode(show) : TShowMode::FullDialog;
  r.Assistant = settings.ReadText(group + "Assis");
  return r;
}

TCrashFilterResult ApplyCrashFilters(const ICrashSettings& settings, const Exception& exception) {
  return ApplyCrashFilters(settings, [&](std::string_view name) { return exception.InheritsFrom(name); });
}

}  // namespace vm

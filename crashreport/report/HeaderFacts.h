// Gathering the header facts from the system: HeaderFacts_win32.cpp on Windows,
// HeaderFacts_host.cpp as the host's stand-in. Each fact is asked under its own guard; a
// fact the system cannot give stays empty.
#pragma once

#include "crashreport/report/ReportRecords.h"
#include "crashreport/settings/CrashSettingsSystem.h"

namespace vm {

// Notes the reporter's start, for "program up time". Called once at installation.
void NoteReporterStart();

struct THeaderRequest {
  TLocalTime ExceptionTime;
  TModuleHandle SettingsModule = 0;  // the module the settings belong to
  std::string Version;               // its version text (VersionVar, else file version), may be empty
};
THeaderFacts GatherHeaderFacts(const THeaderRequest& request);

}  // namespace vm

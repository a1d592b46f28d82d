// Running an assistant: its pages as modal windows built with plain window calls, on the
// calling thread (the reporter's handler thread).
#pragma once

#include <windows.h>

#include <string>

#include "crashreport/dialog/Assistant.h"

namespace vm {

// Runs the assistant `name` (the settings' assistant definitions) for `record` as modal pages
// owned by `parent` (disabled while it runs). Returns 1 continue, 2 skip (treat as 1),
// 3 cancelled; 0 when no assistant of that name exists. Puts page values into the record when
// not cancelled, and always into the form cache.
int RunAssistant(const std::string& name, TICrashException& record, HWND parent);

}  // namespace vm

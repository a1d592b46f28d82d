// Assistants: pages of edits and check boxes shown before a report is sent. The portable
// half: the page model, the page resources' parser, the enabling rule, the address test and
// the page values that go into the bug report.
#pragma once

#include <string>
#include <string_view>

namespace vm {

class TICrashException;

// What RunAssistant returns: continue, skip (the caller treats it as continue), cancelled;
// `NotFound` when the settings define no assistant of that name.
enum TAssistantResult : int { arNotFound = 0, arContinue = 1, arSkip = 2, arCancel = 3 };

// The address test of the contact page.
bool ValidEmailAddress(std::string_view address);

}  // namespace vm

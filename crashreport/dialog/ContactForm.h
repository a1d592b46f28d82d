// The contact page's handler ("Zentrapix.HandleContactForm"): remembers the user's name and
// address per user in the registry, tests the address as it is typed, and makes the name
// and address the report's sender. Tests: tests/crashreport/dialog/AssistantTest.cpp.
#pragma once

#include "crashreport/dialog/Assistant.h"

namespace vm {

inline constexpr const char* kContactFormKey = "Software\\Kelvorn\\ContactForm";

void HandleContactForm(TNVForm& form, TNVEvent event, TNVItem* item);

}  // namespace vm

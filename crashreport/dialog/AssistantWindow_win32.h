// One assistant page as a modal window, built with plain window calls so that it works while
// the application's own windows may be broken. The page's model (TNVForm) is the truth:
// the window reads the user's input into it before each handler call and follows it after.
#pragma once

#include <windows.h>

#include "crashreport/dialog/Assistant.h"

namespace vm {

// Shows `form` owned by `owner` and runs its loop until Continue, Skip or Cancel (the close
// box and Esc are Cancel). Returns the form's ModalResult.
int ShowAssistantPage(TNVForm& form, HWND owner);

}  // namespace vm

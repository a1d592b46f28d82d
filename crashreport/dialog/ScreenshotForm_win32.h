// The screenshot page's handler ("Zentrapix.HandleScreenshotForm"): shows the record's
// screenshot, lets the user edit it in the program the shell has for editing pictures, and
// takes the edited file back while the page is open.
#pragma once

#include "crashreport/dialog/Assistant.h"

namespace vm {

inline constexpr const char* kScreenshotEditFile = "screenShot.bmp";

void HandleScreenshotForm(TNVForm& form, TNVEvent event, TNVItem* item);

}  // namespace vm

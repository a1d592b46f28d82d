// The clipboard as the reporter uses it: the report or a message as plain text.
#pragma once

#include <windows.h>

#include <string>

namespace vm {

// Replaces the clipboard's content with `text` (CF_TEXT); false when the clipboard is held
// by another program or the memory cannot be had.
bool CopyTextToClipboard(HWND owner, const std::string& text);

}  // namespace vm

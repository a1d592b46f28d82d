#include "crashreport/dialog/Clipboard_win32.h"

#include <cstring>

namespace vm {

bool CopyTextToClipboard(HWND owner, const std::string& text) {
  if (!OpenClipboard(owner)) return false;
  EmptyClipboard();
  bool copied = false;
  if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1)) {
    if (void* p = GlobalLock(memory)) {
      std::memcpy(p, text.c_str(), text.size() + 1);
      GlobalUnlock(memory);
      copied = SetClipboardData(CF_TEXT, memory) != nullptr;  // the clipboard owns it from here
    }
    if (!copied) GlobalFree(memory);
  }
  CloseClipboard();
  return copied;
}

}  // namespace vm

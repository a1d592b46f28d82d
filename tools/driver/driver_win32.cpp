// The end-to-end driver: a console program that drives another program's windows as a
// user would, run under the same Wine as the program. It reads one command per line on
// standard input, fields separated by tabs, and answers one line per command:
// "ok<TAB>result..." or "err<TAB>reason". Windows are named by their handle in hex.
// Texts in answers escape backslash, tab, CR and LF as \\, \t, \r and \n.
//
//   wait      CLASS TITLE MS      a visible top-level window ("*" matches any), its handle
//   other     CLASS HWND MS       like wait, but a window other than HWND (a second instance)
//   gone      HWND MS             waits until the window no longer exists
//   children  HWND                one line per child: handle class id enabled visible text
//   child     HWND CLASS TEXT     the first child of that class (and text, "*": any)
//   text      HWND                the window's text
//   state     HWND                enabled visible minimised maximised
//   rect      HWND                window rectangle and client size
//   click     HWND                presses an enabled button (its parent gets BN_CLICKED)
//   settext   HWND TEXT           types TEXT (escaped as answers are) into an edit, replacing its
//                                 text; the parent gets EN_CHANGE
//   check     HWND 0|1            sets a check box as a click would (its parent gets BN_CLICKED)
//   items     HWND                list box items, one field each
//   select    HWND INDEX          selects a list item (LBN_SELCHANGE to the parent)
//   dblclick  HWND INDEX          selects and double-clicks a list item
//   syscmd    HWND CMD            posts WM_SYSCOMMAND
//   msgbox    MS                  waits for a message box: handle, caption, text
//   press     HWND TEXT           presses the button with that text in a dialog
//   size      HWND W H            resizes the window
//   focus     HWND                makes the window the foreground one, where keys go
//   close     HWND                posts WM_CLOSE
//   folder    CSIDL               the path of a special folder
//   hold      PATH SHARE          opens the file and keeps it open; SHARE "none" lets others
//                                 do nothing with it, "read" lets them read it
//   release                       closes what `hold` opened
//   clipboard                     the clipboard's text (CF_TEXT), empty when it holds none
//   sleep     MS
//   fault     HWND                starts a thread in the window's process at address 0: a
//                                 fault in a thread that process did not create itself
//   tabs      HWND                a tab control: its selected index, then each caption
//   tab       HWND INDEX          clicks that tab, as the mouse would
//   rows      HWND                a list view in report mode: its row count, then one field
//                                 per row, its cells separated by \x1f
//   progress  HWND                a progress bar: position, low and high end of its range
#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> f;
  std::stringstream ss(line);
  std::string part;
  while (std::getline(ss, part, '\t')) f.push_back(part);
  return f;
}

std::string Hex(HWND h) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%llx", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(h)));
  return buf;
}

// Texts in commands escape as answers do, so that a line break fits on the command's line.
std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    char c = text[++i];
    out += c == 't' ? '\t' : c == 'r' ? '\r' : c == 'n' ? '\n' : c;
  }
  return out;
}

HWND ToHwnd(const std::string& s) { return reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::stoull(s, nullptr, 16))); }

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string WindowText(HWND h) {
  char buf[4096] = "";
  // WM_GETTEXT, unlike GetWindowText, reads the text of another process's controls.
  SendMessageTimeoutA(h, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 5000, nullptr);
  return Escape(buf);
}

std::string ClassOf(HWND h) {
  char buf[256] = "";
  GetClassNameA(h, buf, sizeof buf);
  return buf;
}

bool Matches(const std::string& pattern, const std::string& value) { return pattern == "*" || pattern == value; }

struct Search {
  std::string cls, title;
  HWND except = nullptr;
  HWND found = nullptr;
};

BOOL CALLBACK FindTop(HWND h, LPARAM p) {
  auto* s = reinterpret_cast<Search*>(p);
  // "*" asks for no text: a window whose thread is busy answers WM_GETTEXT only after the
  // time-out, and by then the state the caller waits for may have passed.
  if (h != s->except && IsWindowVisible(h) && Matches(s->cls, ClassOf(h)) &&
      (s->title == "*" || Matches(s->title, WindowText(h)))) {
    s->found = h;
    return FALSE;
  }
  return TRUE;
}

template <class F>
bool WaitFor(int ms, F done) {
  for (DWORD start = GetTickCount();;) {
    if (done()) return true;
    if (int(GetTickCount() - start) >= ms) return false;
    Sleep(50);
  }
}

HWND WaitTop(const std::string& cls, const std::string& title, int ms, HWND except = nullptr) {
  Search s{cls, title, except};
  WaitFor(ms, [&] {
    EnumWindows(FindTop, reinterpret_cast<LPARAM>(&s));
    return s.found != nullptr;
  });
  return s.found;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> list;
  for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) list.push_back(c);
  return list;
}

HANDLE held = INVALID_HANDLE_VALUE;

// Memory in another process, for the control messages whose structures Wine does not carry
// across processes (list views, tab controls): the structure is written there, the message
// sent, and the answer read back.
class TRemote {
public:
  TRemote(HWND window, size_t size) : FSize(size) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    FProcess = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (FProcess) FAt = static_cast<char*>(VirtualAllocEx(FProcess, nullptr, size, MEM_COMMIT, PAGE_READWRITE));
    if (!FAt) throw std::runtime_error("no memory in the window's process");
  }
  ~TRemote() {
    if (FAt) VirtualFreeEx(FProcess, FAt, 0, MEM_RELEASE);
    if (FProcess) CloseHandle(FProcess);
  }
  char* At(size_t offset) const { return FAt + offset; }
  void Write(size_t offset, const void* data, size_t size) {
    WriteProcessMemory(FProcess, FAt + offset, data, size, nullptr);
  }
  void Read(size_t offset, void* data, size_t size) const {
    ReadProcessMemory(FProcess, FAt + offset, data, size, nullptr);
  }

private:
  HANDLE FProcess = nullptr;
  char* FAt = nullptr;
  size_t FSize;
};

constexpr size_t kRemoteText = 1024, kRemoteTextSize = 4096;

std::string RemoteText(TRemote& remote) {
  char text[kRemoteTextSize] = "";
  remote.Read(kRemoteText, text, sizeof text - 1);
  return Escape(text);
}

std::string ListRows(HWND list) {
  HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
  const int columns = header ? int(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0)) : 1;
  const int rows = int(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
  TRemote remote(list, kRemoteText + kRemoteTextSize);
  std::string out = std::to_string(rows);
  for (int r = 0; r < rows; ++r) {
    out += "\t";
    for (int c = 0; c < std::max(columns, 1); ++c) {
      LVITEMA item{};
      item.iSubItem = c;
      item.pszText = remote.At(kRemoteText);
      item.cchTextMax = int(kRemoteTextSize);
      const char none = 0;
      remote.Write(kRemoteText, &none, 1);
      remote.Write(0, &item, sizeof item);
      SendMessageA(list, LVM_GETITEMTEXTA, WPARAM(r), reinterpret_cast<LPARAM>(remote.At(0)));
      out += (c ? "\x1f" : "") + RemoteText(remote);
    }
  }
  return out;
}

std::string TabCaptions(HWND tabs) {
  const int count = int(SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0));
  TRemote remote(tabs, kRemoteText + kRemoteTextSize);
  std::string out = std::to_string(SendMessageA(tabs, TCM_GETCURSEL, 0, 0));
  for (int i = 0; i < count; ++i) {
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = remote.At(kRemoteText);
    item.cchTextMax = int(kRemoteTextSize);
    remote.Write(0, &item, sizeof item);
    SendMessageA(tabs, TCM_GETITEMA, WPARAM(i), reinterpret_cast<LPARAM>(remote.At(0)));
    out += "\t" + RemoteText(remote);
  }
  return out;
}

void ClickTab(HWND tabs, int index) {
  TRemote remote(tabs, sizeof(RECT));
  if (!SendMessageA(tabs, TCM_GETITEMRECT, WPARAM(index), reinterpret_cast<LPARAM>(remote.At(0))))
    throw std::runtime_error("no such tab");
  RECT r{};
  remote.Read(0, &r, sizeof r);
  const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  PostMessageA(tabs, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageA(tabs, WM_LBUTTONUP, 0, at);
}

void Notify(HWND control, int code) {
  PostMessageA(GetParent(control), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), code),
               reinterpret_cast<LPARAM>(control));
}

std::string Run(const std::vector<std::string>& f) {
  const std::string& cmd = f[0];
  auto arg = [&](size_t i) -> const std::string& {
    if (i >= f.size()) throw std::runtime_error("missing argument");
    return f[i];
  };
  if (cmd == "wait") {
    HWND h = WaitTop(arg(1), arg(2), std::stoi(arg(3)));
    if (!h) throw std::runtime_error("no such window");
    return Hex(h);
  }
  if (cmd == "other") {
    HWND h = WaitTop(arg(1), "*", std::stoi(arg(3)), ToHwnd(arg(2)));
    if (!h) throw std::runtime_error("no other window");
    return Hex(h);
  }
  if (cmd == "gone") {
    HWND h = ToHwnd(arg(1));
    if (!WaitFor(std::stoi(arg(2)), [&] { return !IsWindow(h); })) throw std::runtime_error("still there");
    return "";
  }
  if (cmd == "children") {
    std::string out;
    for (HWND c : Children(ToHwnd(arg(1))))
      out += (out.empty() ? "" : "\n") + Hex(c) + "\t" + ClassOf(c) + "\t" + std::to_string(GetDlgCtrlID(c)) + "\t" +
             (IsWindowEnabled(c) ? "1" : "0") + "\t" + (IsWindowVisible(c) ? "1" : "0") + "\t" + WindowText(c);
    return out + "\nend";
  }
  if (cmd == "child") {
    for (HWND c : Children(ToHwnd(arg(1))))
      if (Matches(arg(2), ClassOf(c)) && Matches(arg(3), WindowText(c))) return Hex(c);
    throw std::runtime_error("no such child");
  }
  if (cmd == "text") return WindowText(ToHwnd(arg(1)));
  if (cmd == "state") {
    HWND h = ToHwnd(arg(1));
    return std::string(IsWindowEnabled(h) ? "1" : "0") + "\t" + (IsWindowVisible(h) ? "1" : "0") + "\t" +
           (IsIconic(h) ? "1" : "0") + "\t" + (IsZoomed(h) ? "1" : "0");
  }
  if (cmd == "rect") {
    HWND h = ToHwnd(arg(1));
    RECT r, c;
    GetWindowRect(h, &r);
    GetClientRect(h, &c);
    return std::to_string(r.left) + "\t" + std::to_string(r.top) + "\t" + std::to_string(r.right - r.left) + "\t" +
           std::to_string(r.bottom - r.top) + "\t" + std::to_string(c.right) + "\t" + std::to_string(c.bottom);
  }
  if (cmd == "click") {
    HWND h = ToHwnd(arg(1));
    if (!IsWindowEnabled(h) || !IsWindowVisible(h)) throw std::runtime_error("button is disabled or hidden");
    Notify(h, BN_CLICKED);
    return "";
  }
  if (cmd == "settext") {
    HWND h = ToHwnd(arg(1));
    if (!IsWindowEnabled(h) || !IsWindowVisible(h)) throw std::runtime_error("edit is disabled or hidden");
    // The wide form carries the text across processes faithfully under Wine.
    const std::string text = Unescape(f.size() > 2 ? f[2] : std::string());  // a trailing empty field is no field
    std::wstring wide(text.size() + 1, L'\0');
    wide.resize(size_t(MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), int(wide.size())) - 1));
    SendMessageW(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
    return "";
  }
  if (cmd == "check") {
    HWND h = ToHwnd(arg(1));
    if (!IsWindowEnabled(h) || !IsWindowVisible(h)) throw std::runtime_error("check box is disabled or hidden");
    SendMessageA(h, BM_SETCHECK, arg(2) == "1" ? BST_CHECKED : BST_UNCHECKED, 0);
    Notify(h, BN_CLICKED);
    return "";
  }
  if (cmd == "items") {
    HWND h = ToHwnd(arg(1));
    int n = int(SendMessageA(h, LB_GETCOUNT, 0, 0));
    std::string out = std::to_string(n);
    for (int i = 0; i < n; ++i) {
      // Wine marshals the wide form of LB_GETTEXT between processes faithfully, the ANSI
      // form not always; the text comes back in the ANSI code page all the same.
      wchar_t wide[1024] = L"";
      SendMessageW(h, LB_GETTEXT, WPARAM(i), reinterpret_cast<LPARAM>(wide));
      char buf[2048] = "";
      WideCharToMultiByte(CP_ACP, 0, wide, -1, buf, sizeof buf, nullptr, nullptr);
      out += "\t" + Escape(buf);
    }
    return out;
  }
  if (cmd == "select" || cmd == "dblclick") {
    HWND h = ToHwnd(arg(1));
    int index = std::stoi(arg(2));
    if (SendMessageA(h, LB_SETCURSEL, WPARAM(index), 0) == LB_ERR) throw std::runtime_error("no such item");
    Notify(h, LBN_SELCHANGE);
    if (cmd == "dblclick") Notify(h, LBN_DBLCLK);
    return "";
  }
  if (cmd == "syscmd") {
    PostMessageA(ToHwnd(arg(1)), WM_SYSCOMMAND, WPARAM(std::stoul(arg(2))), 0);
    return "";
  }
  if (cmd == "msgbox") {
    HWND box = WaitTop("#32770", "*", std::stoi(arg(1)));
    if (!box) throw std::runtime_error("no message box");
    HWND text = GetDlgItem(box, 0xFFFF);
    return Hex(box) + "\t" + WindowText(box) + "\t" + (text ? WindowText(text) : "");
  }
  if (cmd == "press") {
    for (HWND c : Children(ToHwnd(arg(1))))
      if (ClassOf(c) == "Button" && WindowText(c) == arg(2)) {
        PostMessageA(ToHwnd(arg(1)), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(c), BN_CLICKED), reinterpret_cast<LPARAM>(c));
        return "";
      }
    throw std::runtime_error("no such button");
  }
  if (cmd == "size") {
    if (!SetWindowPos(ToHwnd(arg(1)), nullptr, 0, 0, std::stoi(arg(2)), std::stoi(arg(3)),
                      SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE))
      throw std::runtime_error("cannot resize");
    return "";
  }
  // Keys from the test display go to the foreground window: a window shown by another
  // thread of its program may not be it yet when the test presses them.
  if (cmd == "focus") {
    HWND h = ToHwnd(arg(1));
    for (int i = 0; i < 50 && GetForegroundWindow() != h; ++i) {
      SetForegroundWindow(h);
      Sleep(100);
    }
    if (GetForegroundWindow() != h) throw std::runtime_error("cannot bring the window to the foreground");
    return "";
  }
  if (cmd == "close") {
    PostMessageA(ToHwnd(arg(1)), WM_CLOSE, 0, 0);
    return "";
  }
  if (cmd == "folder") {
    char path[MAX_PATH] = "";
    if (FAILED(SHGetFolderPathA(nullptr, std::stoi(arg(1)), nullptr, 0, path))) throw std::runtime_error("no folder");
    return path;
  }
  if (cmd == "hold") {
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    DWORD share = arg(2) == "read" ? FILE_SHARE_READ : 0;
    held = CreateFileA(arg(1).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + arg(1));
    return "";
  }
  if (cmd == "release") {
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    held = INVALID_HANDLE_VALUE;
    return "";
  }
  if (cmd == "fault") {
    DWORD pid = 0;
    GetWindowThreadProcessId(ToHwnd(arg(1)), &pid);
    HANDLE process = OpenProcess(
        PROCESS_CREATE_THREAD | PROCESS_QUERY_INFORMATION | PROCESS_VM_OPERATION | PROCESS_VM_WRITE | PROCESS_VM_READ,
        FALSE, pid);
    if (!process) throw std::runtime_error("cannot open the process");
    HANDLE thread = CreateRemoteThread(process, nullptr, 0, nullptr, nullptr, 0, nullptr);
    CloseHandle(process);
    if (!thread) throw std::runtime_error("cannot start a thread");
    CloseHandle(thread);
    return "";
  }
  if (cmd == "tabs") return TabCaptions(ToHwnd(arg(1)));
  if (cmd == "tab") {
    ClickTab(ToHwnd(arg(1)), std::stoi(arg(2)));
    return "";
  }
  if (cmd == "rows") return ListRows(ToHwnd(arg(1)));
  if (cmd == "progress") {
    HWND h = ToHwnd(arg(1));
    return std::to_string(SendMessageA(h, PBM_GETPOS, 0, 0)) + "\t" +
           std::to_string(SendMessageA(h, PBM_GETRANGE, TRUE, 0)) + "\t" +
           std::to_string(SendMessageA(h, PBM_GETRANGE, FALSE, 0));
  }
  if (cmd == "clipboard") {
    std::string text;
    if (!OpenClipboard(nullptr)) throw std::runtime_error("clipboard held by another program");
    if (HANDLE data = GetClipboardData(CF_TEXT)) {
      if (const char* p = static_cast<const char*>(GlobalLock(data))) {
        text = p;
        GlobalUnlock(data);
      }
    }
    CloseClipboard();
    return Escape(text);
  }
  if (cmd == "sleep") {
    Sleep(DWORD(std::stoul(arg(1))));
    return "";
  }
  throw std::runtime_error("unknown command " + cmd);
}

}  // namespace

int main() {
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    std::string answer;
    try {
      answer = "ok\t" + Run(Fields(line));
    } catch (const std::exception& e) {
      answer = std::string("err\t") + e.what();
    }
    std::cout << answer << "\n" << std::flush;
  }
  return 0;
}

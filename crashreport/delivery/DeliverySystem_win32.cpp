// The delivery system on Windows: thin calls into the registry, the shell, Simple MAPI (loaded
// only when a mail is handed over), the DNS resolver and the thread functions.
#include <windows.h>

#include <mapi.h>
#include <shellapi.h>
#include <windns.h>

#include <algorithm>
#include <ctime>

#include "base/FileIO.h"
#include "base/Handles_win32.h"
#include "crashreport/delivery/DeliverySystem.h"

namespace vm {

namespace {

std::string RegText(HKEY root, const char* key, const char* value) {
  HKEY h;
  if (RegOpenKeyExA(root, key, 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS) return {};
  char text[2048];
  DWORD size = sizeof text - 1, type = 0;
  LONG status = RegQueryValueExA(h, value, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
  RegCloseKey(h);
  if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
  text[size] = 0;
  return text;
}

DWORD RegNumber(HKEY root, const char* key, const char* value) {
  HKEY h;
  if (RegOpenKeyExA(root, key, 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS) return 0;
  DWORD number = 0, size = sizeof number, type = 0;
  LONG status = RegQueryValueExA(h, value, nullptr, &type, reinterpret_cast<BYTE*>(&number), &size);
  RegCloseKey(h);
  return status == ERROR_SUCCESS && type == REG_DWORD ? number : 0;
}

// The work belongs to the thread, so that dropping the handle never waits for the send.
class TWin32Thread : public TSendThread {
public:
  explicit TWin32Thread(std::function<void()> work) {
    auto* owned = new std::function<void()>(std::move(work));
    FHandle.reset(CreateThread(nullptr, 0, &Run, owned, 0, nullptr));
    if (!FHandle) {
      (*owned)();  // no thread to be had: the send runs here rather than not at all
      delete owned;
    }
  }
  bool Wait(int timeoutMs) override {
    return !FHandle || WaitForSingleObject(FHandle.get(), DWORD(timeoutMs)) == WAIT_OBJECT_0;
  }
  std::uintptr_t NativeHandle() const override { return std::uintptr_t(FHandle.get()); }

private:
  static DWORD WINAPI Run(void* owned) {
    auto* work = static_cast<std::function<void()>*>(owned);
    // Nothing may leave a thread start routine; a failed send is just a failed send.
    try {
      (*work)();
    } catch (...) {
    }
    delete work;
    return 0;
  }
  KernelHandle FHandle;
};

}  // namespace

std::string ReporterTempFolder() {
  char temp[MAX_PATH] = {};
  DWORD n = GetTempPathA(MAX_PATH, temp);
  return std::string(temp, n < MAX_PATH ? n : 0) + ReporterFolderName(ProgramPath());
}

namespace {

class TWin32DeliverySystem : public IDeliverySystem {
public:
  std::string TempFolder() override {
    std::string folder = ReporterTempFolder();
    CreateFolder(folder);
    return folder + "\\";
  }
  std::string ExeFolder() override { return FolderOf(ProgramPath()); }
  // The user's Internet options as the system keeps them; a proxy that is switched off counts as none.
  std::string InternetProxy() override {
    const char* key = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
    if (RegNumber(HKEY_CURRENT_USER, key, "ProxyEnable") == 0) return {};
    return RegText(HKEY_CURRENT_USER, key, "ProxyServer");
  }
  void OpenWithShell(const std::string& address) override {
    ShellExecuteA(nullptr, "open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  }
  void ShowSendFailure(std::uintptr_t parent, const std::string& text) override {
    MessageBoxA(HWND(parent), text.c_str(), "Error", MB_OK | MB_ICONERROR);
  }
  bool SendViaSystemMail(const TMailMessage& mail, std::uintptr_t parent) override;
  std::vector<std::string> MailExchangers(const std::string& domain) override;
  std::string MailtoOpenCommand() override {
    return RegText(HKEY_CLASSES_ROOT, "mailto\\shell\\open\\command", nullptr);
  }
  bool StartCommandLine(const std::string& commandLine) override {
    std::string line = commandLine;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
  }
  IProgressBox* ProgressBox() override { return InstalledProgressBox(); }
  std::shared_ptr<TSendThread> StartThread(std::function<void()> work) override {
    return std::make_shared<TWin32Thread>(std::move(work));
  }
  std::string MailDate() override {
    std::time_t now = std::time(nullptr);
    std::tm local = *std::localtime(&now);
    char text[64];
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S", &local);
    TIME_ZONE_INFORMATION zone;
    DWORD kind = GetTimeZoneInformation(&zone);
    long bias = -(zone.Bias + (kind == TIME_ZONE_ID_DAYLIGHT ? zone.DaylightBias : 0));
    char offset[16];
    wsprintfA(offset, " %c%02ld%02ld", bias < 0 ? '-' : '+', labs(bias) / 60, labs(bias) % 60);
    return std::string(text) + offset;
  }
  std::string Charset() override { return "windows-" + std::to_string(GetACP()); }
};

bool TWin32DeliverySystem::SendViaSystemMail(const TMailMessage& mail, std::uintptr_t parent) {
  HMODULE mapi = LoadLibraryA("mapi32.dll");
  if (!mapi) return false;
  auto send = reinterpret_cast<LPMAPISENDMAIL>(reinterpret_cast<void*>(GetProcAddress(mapi, "MAPISendMail")));
  bool sent = false;
  if (send) {
    std::vector<std::string> addresses;
    for (const auto& r : mail.Recipients) addresses.push_back("SMTP:" + r);
    std::vector<MapiRecipDesc> recipients(mail.Recipients.size());
    for (size_t i = 0; i < recipients.size(); ++i) {
      recipients[i] = MapiRecipDesc{};
      recipients[i].ulRecipClass = MAPI_TO;
      recipients[i].lpszName = const_cast<char*>(mail.Recipients[i].c_str());
      recipients[i].lpszAddress = addresses[i].data();
    }
    std::vector<MapiFileDesc> files(mail.Files.size());
    for (size_t i = 0; i < files.size(); ++i) {
      files[i] = MapiFileDesc{};
      files[i].nPosition = ULONG(-1);
      files[i].lpszPathName = const_cast<char*>(mail.Files[i].Path.c_str());
      files[i].lpszFileName = const_cast<char*>(mail.Files[i].SendAs.c_str());
    }
    MapiMessage message{};
    message.lpszSubject = const_cast<char*>(mail.Subject.c_str());
    message.lpszNoteText = const_cast<char*>(mail.Body.c_str());
    message.nRecipCount = ULONG(recipients.size());
    message.lpRecips = recipients.empty() ? nullptr : recipients.data();
    message.nFileCount = ULONG(files.size());
    message.lpFiles = files.empty() ? nullptr : files.data();
    sent = send(0, ULONG_PTR(parent), &message, MAPI_LOGON_UI, 0) == SUCCESS_SUCCESS;
  }
  FreeLibrary(mapi);
  return sent;
}

std::vector<std::string> TWin32DeliverySystem::MailExchangers(const std::string& domain) {
  std::vector<std::pair<WORD, std::string>> found;
  PDNS_RECORD records = nullptr;
  if (DnsQuery_A(domain.c_str(), DNS_TYPE_MX, DNS_QUERY_STANDARD, nullptr, &records, nullptr) == 0) {
    for (PDNS_RECORD r = records; r; r = r->pNext)
      if (r->wType == DNS_TYPE_MX && r->Data.MX.pNameExchange)
        found.emplace_back(r->Data.MX.wPreference, reinterpret_cast<const char*>(r->Data.MX.pNameExchange));
    DnsRecordListFree(records, DnsFreeRecordList);
  }
  std::stable_sort(found.begin(), found.end(), [](auto& a, auto& b) { return a.first < b.first; });
  std::vector<std::string> hosts;
  for (auto& f : found) hosts.push_back(f.second);
  return hosts;
}

}  // namespace

IDeliverySystem& PlatformDeliverySystem() {
  static TWin32DeliverySystem system;
  return system;
}

}  // namespace vm

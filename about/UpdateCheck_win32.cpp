// The About dialog's update check: fetches the update information, compares versions,
// and on request downloads the release to the desktop. A downloaded program is started
// only when its signature verifies under the key built into the program; otherwise it stays
// on the desktop and the user is told why it was not started.
// Tests: tests/e2e/test_update.py.
#include <windows.h>

#include "about/ReleaseSignature_win32.h"
#include "about/Streams.h"
#include "about/qbxUIDlgAbout_win32.h"
#include "about/rqPathSolve.h"
#include "about/rqWinINet.h"
#include "base/Exception.h"
#include "base/FileIO.h"
#include "base/Text.h"
#include "toolkit/Dialogs_win32.h"

namespace vm {

std::string AboutUpdateBase = "http://updates.quembrix.com/updates/";
std::string AboutUpdateKey;

namespace {

constexpr const char* kSearchFailed = "An unknown error occured while trying to search for updates:\r\n%s";
constexpr const char* kDownloadFailed = "An unknown error occured while trying to download the update:\r\n%s";
constexpr const char* kNewVersion = "There's a new version, %s, available.\r\n%s";

// The release file, created anew and held without sharing until it is closed.
class TReleaseFile : public TStream {
 public:
  explicit TReleaseFile(const std::string& path) {
    FHandle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (FHandle == INVALID_HANDLE_VALUE) throw EFCreateError(CreateErrorText(path, GetLastError()));
  }
  ~TReleaseFile() override { Close(); }
  void Write(const void* data, size_t size) override {
    DWORD written = 0;
    if (!WriteFile(FHandle, data, DWORD(size), &written, nullptr) || written != size)
      throw EStreamError("Stream write error");
  }
  void SeekStart() override { SetFilePointer(FHandle, 0, nullptr, FILE_BEGIN); }
  void Close() {
    if (FHandle != INVALID_HANDLE_VALUE) CloseHandle(FHandle);
    FHandle = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE FHandle = INVALID_HANDLE_VALUE;
};

bool ServerVersionIsNewer(const std::string& server, const std::string& own) {
  // Compared as texts in the user's collation: "0.10.0.0" sorts before "0.9.0.0".
  int order = CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, server.data(), int(server.size()),
                             own.data(), int(own.size()));
  return order == CSTR_GREATER_THAN;
}

// Starts the downloaded program when its signature holds. The file is held open against
// writers from the check until the start, so what was checked is what runs.
bool StartIfSigned(HWND owner, const std::string& target, const std::string& signature) {
  HANDLE file = CreateFileA(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool trusted = VerifyReleaseSignature(file, signature, AboutUpdateKey);
  if (trusted) ShellExecuteA(owner, "open", target.c_str(), "", "", SW_SHOW);
  CloseHandle(file);
  return trusted;
}

}  // namespace

void TdlgAbout::CheckForUpdates() {
  try {
    TStringList info;
    SetInternetAgent(labelProduct.Text());
    std::int32_t error = 0;
    if (!DownloadToStrings(AboutUpdateBase + FUpdateName, info, error)) {
      MessageDlg(FormatText(kSearchFailed, InternetErrorText(error).c_str()), TMsgDlgType::mtError, mbOK);
      return;
    }
    const std::string version = info.Values("CurrentVersion");
    const std::string notes = info.Values("NotifyText");
    if (!ServerVersionIsNewer(version, FVersion)) {
      MessageDlg("Nothing to update - you're still using the newest version.", TMsgDlgType::mtInformation,
                 mbOK);
      return;
    }
    if (info.IndexOfName("URL") < 0) {
      MessageDlg(FormatText(kNewVersion, version.c_str(), notes.c_str()), TMsgDlgType::mtWarning, mbOK);
      return;
    }
    const std::string url = info.Values("URL");
    const std::string fileName = url.substr(url.rfind('/') == std::string::npos ? 0 : url.rfind('/') + 1);
    const bool program = fileName.size() >= 4 && fileName.compare(fileName.size() - 4, 4, ".exe") == 0;
    const std::string question =
        FormatText(kNewVersion, version.c_str(), notes.c_str()) +
        (program ? "\r\nDo you want to download and install it?" : "\r\nDo you want to download it?");
    if (MessageDlg(question, TMsgDlgType::mtConfirmation, mbYes | mbNo) != mrYes) return;
    DownloadRelease(url, fileName, program, info.Values("Signature"));
  } catch (const std::exception& e) {
    MessageDlg(FormatText(kSearchFailed, e.what()), TMsgDlgType::mtError, mbOK);
  }
}

void TdlgAbout::DownloadRelease(const std::string& url, const std::string& fileName, bool program,
                                const std::string& signature) {
  try {
    const std::string target = ResolvePathMacros("<$DESKTOP>\\") + fileName;
    // The name comes from the server: one with a folder or drive in it would place the
    // file outside the desktop ("..\\Startup\\x.exe").
    if (fileName.find_first_of("\\:") != std::string::npos)
      throw EFCreateError(CreateErrorText(target, ERROR_INVALID_NAME));
    std::int32_t error = 0;
    bool ok;
    {
      TReleaseFile file(target);
      TrqInternetHTTP client;
      ok = client.Download(url, file);
      error = client.LastError;
    }
    if (!ok) {
      MessageDlg(FormatText(kDownloadFailed, InternetErrorText(error).c_str()),
                 TMsgDlgType::mtError, mbOK);
    } else if (!program) {
      MessageDlg(
          FormatText("The update has been downloaded and saved as %s on your desktop.", fileName.c_str()),
          TMsgDlgType::mtInformation, mbOK);
    } else if (!StartIfSigned(Handle(), target, signature)) {
      MessageDlg(FormatText("The update has been downloaded and saved as %s on your desktop, but it was not "
                            "started: its signature could not be verified.",
                            fileName.c_str()),
                 TMsgDlgType::mtWarning, mbOK);
    }
  } catch (const std::exception& e) {
    MessageDlg(FormatText(kDownloadFailed, e.what()), TMsgDlgType::mtError, mbOK);
  }
}

}  // namespace vm

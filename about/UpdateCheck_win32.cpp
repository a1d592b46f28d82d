// The About dialog's update check: fetches the update information, believes it only when
// one of the keys built into the program signed it (UpdateRules says what else it must
// hold), compares versions, and on request downloads the release. The release is checked
// against the signed size and SHA-256 before the user hears of it; only then is it copied
// to the desktop, and a program is started only when its own signature holds too.
// Tests: tests/e2e/test_update.py.
#include <windows.h>

#include "about/ReleaseDownload_win32.h"
#include "about/UpdateCrypto_win32.h"
#include "about/UpdateRules.h"
#include "about/qbxUIDlgAbout_win32.h"
#include "about/rqPathSolve.h"
#include "about/rqWinINet.h"
#include "base/FileIO.h"
#include "base/Text.h"
#include "settings/qbxConfig.h"
#include "toolkit/Dialogs_win32.h"

namespace vm {

std::string AboutUpdateBase = "http://updates.quembrix.com/updates/";
std::string AboutUpdateKey;
std::string AboutUpdateNextKey;

namespace {

constexpr const char* kSearchFailed = "An unknown error occured while trying to search for updates:\r\n%s";
constexpr const char* kDownloadFailed = "An unknown error occured while trying to download the update:\r\n%s";
constexpr const char* kNewVersion = "There's a new version, %s, available.\r\n%s";
constexpr const char* kUntrusted = "The update information could not be trusted. Nothing has been downloaded.";
constexpr const char* kRefused =
    "The download of %s was refused: it is not the file that the maker signed. Nothing has been kept.";
// The newest update information accepted so far, in the program's settings.
constexpr const char* kMarkValue = "UpdateAccepted";

// The user's collation, ignoring case; a failed comparison counts as equal.
int UserTextOrder(const std::string& a, const std::string& b) {
  int order = CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), int(a.size()), b.data(), int(b.size()));
  return order == CSTR_GREATER_THAN ? 1 : order == CSTR_LESS_THAN ? -1 : 0;
}

TUpdateJudge JudgeFor(const std::string& product) {
  TStringList mark;
  ConfigManager.LoadStrings("", kMarkValue, mark);
  return {{AboutUpdateKey, AboutUpdateNextKey}, VerifySignature, product, MarkFromStrings(mark), UserTextOrder};
}

bool HoldsSignedRelease(HANDLE file, const TReleaseFacts& facts) {
  std::uint64_t size = 0;
  std::string sha256;
  return FileDigest(file, size, sha256) && IsSignedRelease(facts, size, sha256);
}

// The second lock on programs: the release's own signature, under either key.
bool ReleaseSigned(HANDLE file, const std::string& signature) {
  return VerifyFileSignature(file, signature, AboutUpdateKey) ||
         VerifyFileSignature(file, signature, AboutUpdateNextKey);
}

// The copy on the desktop is held open against writers from the checks until the start, so
// what was checked is what runs.
bool StartIfSigned(HWND owner, const std::string& target, const TReleaseFacts& facts, const std::string& signature) {
  FileHandle file(CreateFileA(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file || !HoldsSignedRelease(file.get(), facts) || !ReleaseSigned(file.get(), signature)) return false;
  ShellExecuteA(owner, "open", target.c_str(), "", "", SW_SHOW);
  return true;
}

enum class TFetch { Failed, Refused, Saved };

// Downloads the release into a temporary file and copies it to `target` only when it is the
// signed one. The temporary file is gone when this returns, before the user hears anything.
TFetch FetchRelease(const std::string& url, const TReleaseFacts& facts, const std::string& target,
                    std::int32_t& error) {
  try {
    TDownloadFile file(facts.Size);
    TrqInternetHTTP client;
    if (!client.Download(url, file)) {
      error = client.LastError;
      return TFetch::Failed;
    }
    if (!HoldsSignedRelease(file.Handle(), facts)) return TFetch::Refused;
    file.CopyTo(target);
    return TFetch::Saved;
  } catch (const EDownloadRefused&) {
    return TFetch::Refused;
  }
}

void TellRefused(const std::string& fileName) {
  MessageDlg(FormatText(kRefused, fileName.c_str()), TMsgDlgType::mtError, mbOK);
}

}  // namespace

void TdlgAbout::CheckForUpdates() {
  try {
    SetInternetAgent(labelProduct.Text());
    TMemoryStream file;
    std::int32_t error = 0;
    if (!DownloadToStream(AboutUpdateBase + FUpdateName, file, error)) {
      MessageDlg(FormatText(kSearchFailed, InternetErrorText(error).c_str()), TMsgDlgType::mtError, mbOK);
      return;
    }
    const TUpdateJudge judge = JudgeFor(labelProduct.Text());
    TStringList info;
    if (JudgeUpdateFile(file.Data(), judge, info) != TUpdateTrust::Trusted) {
      MessageDlg(kUntrusted, TMsgDlgType::mtError, mbOK);
      return;
    }
    ConfigManager.SaveStrings("", kMarkValue, MarkToStrings(RaiseMark(judge.Mark, info, UserTextOrder)));
    const std::string version = info.Values("CurrentVersion");
    const std::string notes = info.Values("NotifyText");
    if (CompareVersions(version, FVersion, UserTextOrder) <= 0) {
      MessageDlg("Nothing to update - you're still using the newest version.", TMsgDlgType::mtInformation, mbOK);
      return;
    }
    if (info.IndexOfName("URL") < 0) {
      MessageDlg(FormatText(kNewVersion, version.c_str(), notes.c_str()), TMsgDlgType::mtWarning, mbOK);
      return;
    }
    const std::string url = info.Values("URL");
    const std::string fileName = ReleaseFileName(url);
    const bool program = IsProgramName(fileName);
    const std::string question =
        FormatText(kNewVersion, version.c_str(), notes.c_str()) +
        (program ? "\r\nDo you want to download and install it?" : "\r\nDo you want to download it?");
    if (MessageDlg(question, TMsgDlgType::mtConfirmation, mbYes | mbNo) != mrYes) return;
    TReleaseFacts facts;
    ReadReleaseFacts(info, facts);  // the judge made sure that they are there
    DownloadRelease(url, fileName, program, facts, info.Values("Signature"));
  } catch (const std::exception& e) {
    MessageDlg(FormatText(kSearchFailed, e.what()), TMsgDlgType::mtError, mbOK);
  }
}

void TdlgAbout::DownloadRelease(const std::string& url, const std::string& fileName, bool program,
                                const TReleaseFacts& facts, const std::string& signature) {
  try {
    const std::string target = ResolvePathMacros("<$DESKTOP>\\") + fileName;
    // The name comes from the server: one with a folder or drive in it would place the
    // file outside the desktop ("..\\Startup\\x.exe").
    if (!IsPlainFileName(fileName)) throw EFCreateError(CreateErrorText(target, ERROR_INVALID_NAME));
    std::int32_t error = 0;
    const TFetch fetched = FetchRelease(url, facts, target, error);
    if (fetched == TFetch::Failed) {
      MessageDlg(FormatText(kDownloadFailed, InternetErrorText(error).c_str()), TMsgDlgType::mtError, mbOK);
    } else if (fetched == TFetch::Refused) {
      TellRefused(fileName);
    } else if (!program) {
      MessageDlg(FormatText("The update has been downloaded and saved as %s on your desktop.", fileName.c_str()),
                 TMsgDlgType::mtInformation, mbOK);
    } else if (!StartIfSigned(Handle(), target, facts, signature)) {
      DeleteFileA(target.c_str());
      TellRefused(fileName);
    }
  } catch (const std::exception& e) {
    MessageDlg(FormatText(kDownloadFailed, e.what()), TMsgDlgType::mtError, mbOK);
  }
}

}  // namespace vm

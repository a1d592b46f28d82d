#include "app/IdReplacement.h"

#include "app/ClientIdFile.h"
#include "base/FileIO.h"
#include "base/Text.h"

namespace vm {

const char* const kNoIdMessage = "No client ID found in the config file.";
const char* const kChromeOpenMessage =
    "Google Chrome is open. It keeps its settings in memory and puts its own client ID back when it "
    "closes, so Veilmark has changed nothing.\n\nClose every Chrome window, then choose Retry.";
const char* const kChromeOpenNotice = "Chrome is open: close it to change the ID";

namespace {

// A damaged registry value may hold anything: show a bounded, printable excerpt.
std::string Printable(const std::string& text) {
  constexpr size_t kShown = 60;
  std::string out;
  for (char c : text.substr(0, kShown)) out += (static_cast<unsigned char>(c) < ' ' ? '?' : c);
  if (text.size() > kShown) out += "...";
  return out;
}

TIdChangeResult Refused(TIdChangeStatus status, std::string message, std::optional<std::string> fileId = {}) {
  return {status, std::move(fileId), std::move(message)};
}

}  // namespace

std::string NotAnIdMessage(const std::string& text) {
  return FormatText(
      "\"%s\" is not a client ID, so Veilmark has not written it into Chrome's file. "
      "A client ID has the form XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX.",
      Printable(text).c_str());
}

std::string ReadOnlyMessage(const std::u8string& path) {
  return FormatText(
      "Chrome's file \"%s\" is read-only, so Veilmark has left it as it is. To change the ID, "
      "clear the file's read-only attribute first.",
      DisplayPath(path).c_str());
}

std::string CheckFailedMessage(const std::u8string& path) {
  return FormatText(
      "The new ID was written, but reading \"%s\" back shows other content: another program has "
      "changed the file meanwhile. The ID it held before is kept in the backup list.",
      DisplayPath(path).c_str());
}

TIdChangeResult ReplaceClientID(const TIdReplacement& r, const std::string& newId) {
  const std::u8string& path = r.LocalStatePath;
  // 1. The checks that refuse the change before anything is read or stored.
  if (!IsClientIdForm(newId)) return Refused(TIdChangeStatus::NotAnId, NotAnIdMessage(newId));
  if (ChromeIsRunning(path)) return Refused(TIdChangeStatus::ChromeOpen, kChromeOpenMessage);

  // 2. The file as it is now: its ID is the one being replaced, whatever the window shows.
  const std::string before = ReadFileDenyWrite(path, kMaxLocalStateBytes);
  const std::optional<TClientIdEntry> entry = FindClientIdEntry(before);
  if (!entry) return Refused(TIdChangeStatus::NoIdInFile, kNoIdMessage);
  const std::string& oldId = entry->Id;

  if (oldId != newId && FileIsReadOnly(path)) return Refused(TIdChangeStatus::ReadOnly, ReadOnlyMessage(path), oldId);

  // 3. Back up the file's ID, and the shown one when another program changed the file.
  std::vector<std::string> backup{oldId};
  if (!r.ShownId.empty() && r.ShownId != oldId) backup.push_back(r.ShownId);
  if (r.BackUp) r.BackUp(backup);
  if (oldId == newId) return {TIdChangeStatus::Unchanged, oldId, {}};

  // 4. Write, in one step.
  const std::string after = *ReplaceClientIdInText(before, newId);
  ReplaceFileContents(path, after);

  // 5. Read back: only what stands in the file counts.
  const std::string readBack = ReadFileDenyWrite(path, kMaxLocalStateBytes);
  if (!WrittenFileHolds(after, readBack, newId))
    return Refused(TIdChangeStatus::CheckFailed, CheckFailedMessage(path), FindClientIdInText(readBack));

  // 6. The further copies of the ID, now that the file holds it.
  if (r.AfterFileWritten) r.AfterFileWritten(newId, oldId);
  return {TIdChangeStatus::Written, newId, {}};
}

}  // namespace vm

// One replacement of Chrome's client ID, step by step: the checks that refuse it, the
// backup of the ID being replaced, the write, the read-back, and the copies of the ID kept
// elsewhere. The main window's ChangeID runs it and shows the result.
// Tests: tests/app/IdReplacementTest.cpp and the end-to-end tests in tests/e2e.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vm {

enum class TIdChangeStatus {
  Written,      // the file holds the new ID, checked by reading it back
  Unchanged,    // the file already held the new ID; nothing was written
  NotAnId,      // the new ID is not of the ID's form (a damaged backup entry); nothing written
  ChromeOpen,   // Chrome runs on this file and would undo the change; nothing written or backed up
  ReadOnly,     // the file is read-only; nothing written
  NoIdInFile,   // the file has no client-ID entry; nothing written
  CheckFailed,  // written, but the file read back is not what was written
};

struct TIdChangeResult {
  TIdChangeStatus Status = TIdChangeStatus::Written;
  // The ID the file holds afterwards, when it was read; the window shows only this.
  std::optional<std::string> FileId;
  // For the user, when the status is not Written or Unchanged.
  std::string Message;
};

struct TIdReplacement {
  std::u8string LocalStatePath;
  // What the window shows: backed up too when the file's ID differs from it.
  std::string ShownId;
  // Adds the IDs that the list does not hold yet and stores the list. Runs before the file
  // is written, so that a failure after it loses no ID.
  std::function<void(const std::vector<std::string>& ids)> BackUp;
  // Writes the further copies of the ID that Chrome keeps elsewhere. Runs only once the
  // file holds `newId` and has been read back; `oldId` is the ID the file held before.
  std::function<void(const std::string& newId, const std::string& oldId)> AfterFileWritten;
};

// Errors of reading or writing Chrome's file leave as EFOpenError or EFCreateError, with the
// file unchanged; the backup may have been stored by then.
TIdChangeResult ReplaceClientID(const TIdReplacement& replacement, const std::string& newId);

// The messages of the refusals, for the window and the tests.
std::string NotAnIdMessage(const std::string& text);
std::string ReadOnlyMessage(const std::u8string& path);
std::string CheckFailedMessage(const std::u8string& path);
extern const char* const kNoIdMessage;
extern const char* const kChromeOpenMessage;
// The short form, shown in the window's caption while Chrome runs.
extern const char* const kChromeOpenNotice;

}  // namespace vm

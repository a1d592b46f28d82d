#include "crashreport/dialog/ScreenshotForm_win32.h"

#include <windows.h>

#include <shellapi.h>

#include <memory>

#include "base/FileIO.h"
#include "crashreport/delivery/DeliverySystem.h"
#include "crashreport/report/CrashException.h"

namespace vm {

namespace {

// What the page keeps while it is shown: the file handed to the editor and the editor.
struct TEditState {
  std::string File;
  FILETIME Written = {};
  HANDLE Editor = nullptr;
};

bool ModificationTime(const std::string& path, FILETIME& time) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
  time = data.ftLastWriteTime;
  return true;
}

bool EditorRunning(const TEditState& state) {
  return state.Editor && WaitForSingleObject(state.Editor, 0) == WAIT_TIMEOUT;
}

void Edit(TNVForm& form, TEditState& state) {
  if (state.File.empty()) {
    const auto& picture = form.Record->Screenshot();
    if (!picture) return;
    std::string path = DeliverySystem().TempFolder() + kScreenshotEditFile;
    try {
      picture->SaveToBMPFile(path);
    } catch (const Exception&) {
      MessageBeep(MB_OK);
      return;
    }
    state.File = path;
    ModificationTime(path, state.Written);
  }
  if (EditorRunning(state)) return;
  if (state.Editor) CloseHandle(state.Editor);
  state.Editor = nullptr;
  SHELLEXECUTEINFOA info = {};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = "edit";
  info.lpFile = state.File.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExA(&info)) {
    MessageBeep(MB_OK);
    return;
  }
  state.Editor = info.hProcess;  // none when the shell handed the file to a running program
}

// A changed file becomes the record's screenshot; a file the editor is still writing is
// read again at the next tick.
void Reload(TNVForm& form, TEditState& state, TNVImage* image) {
  FILETIME now;
  if (state.File.empty() || !ModificationTime(state.File, now) || CompareFileTime(&now, &state.Written) == 0) return;
  try {
    TINVBitmap picture = TINVBitmap::LoadFromBMPFile(state.File);
    state.Written = now;
    if (image) image->Picture = picture;
    form.Record->SetScreenshot(std::move(picture));
  } catch (const Exception&) {
  }
}

}  // namespace

void HandleScreenshotForm(TNVForm& form, TNVEvent event, TNVItem* item) {
  if (!form.Record) return;
  auto* image = form.Find<TNVImage>("ScrShotImg");
  auto* attach = form.Find<TNVCheckBox>("AttachCheck");
  auto* state = static_cast<TEditState*>(form.UserData);
  switch (event) {
    case TNVEvent::Show:
      if (image && form.Record->Screenshot()) image->Picture = *form.Record->Screenshot();
      if (attach) attach->Checked = form.Record->AttachScreenshot();
      delete state;
      form.UserData = new TEditState;
      break;
    case TNVEvent::Click:
      if (state && item == image) Edit(form, *state);
      break;
    case TNVEvent::Timer:
      if (state) Reload(form, *state, image);
      break;
    case TNVEvent::Close:
      if (state) {
        if (state->Editor) CloseHandle(state->Editor);
        if (!state->File.empty()) RemoveFile(state->File);
        delete state;
        form.UserData = nullptr;
      }
      if (attach) form.Record->SetAttachScreenshot(attach->Checked);
      break;
    default:
      break;
  }
}

}  // namespace vm

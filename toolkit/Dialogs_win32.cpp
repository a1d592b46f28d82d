#include "toolkit/Dialogs_win32.h"

#include <windows.h>

#include "toolkit/Application_win32.h"

namespace vm {

std::string DialogCaption(TMsgDlgType type) {
  switch (type) {
    case TMsgDlgType::mtWarning:
      return "Warning";
    case TMsgDlgType::mtError:
      return "Error";
    case TMsgDlgType::mtInformation:
      return "Information";
    case TMsgDlgType::mtConfirmation:
      return "Confirm";
    case TMsgDlgType::mtCustom:
      break;
  }
  return Application.Title();
}

int MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) {
  UINT icon = type == TMsgDlgType::mtWarning        ? MB_ICONWARNING
              : type == TMsgDlgType::mtError        ? MB_ICONERROR
              : type == TMsgDlgType::mtInformation  ? MB_ICONINFORMATION
              : type == TMsgDlgType::mtConfirmation ? MB_ICONQUESTION
                                                    : 0;
  UINT kind = (buttons & (mbYes | mbNo)) ? MB_YESNO : (buttons & mbRetry) ? MB_RETRYCANCEL : MB_OK;
  return MessageBoxA(GetActiveWindow(), text.c_str(), DialogCaption(type).c_str(), kind | icon);
}

void ShowMessage(const std::string& text) { MessageDlg(text, TMsgDlgType::mtCustom, mbOK); }

}  // namespace vm

// Modal message dialogs chosen by type and buttons, with the program's captions.
#pragma once

#include <string>

namespace vm {

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

enum TMsgDlgButton : unsigned { mbOK = 1, mbYes = 2, mbNo = 4, mbRetry = 8, mbCancel = 16 };
using TMsgDlgButtons = unsigned;

// Returns the modal result of the pressed button (mrOk, mrYes, mrNo, mrRetry, mrCancel).
int MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons);
// The plain box without a type, captioned with the application title.
void ShowMessage(const std::string& text);

// "Warning", "Error", "Information", "Confirm"; the application title for mtCustom.
std::string DialogCaption(TMsgDlgType type);

}  // namespace vm

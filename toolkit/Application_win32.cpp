#include "toolkit/Application_win32.h"

#include <commctrl.h>

#include <algorithm>

#include "base/Exception.h"
#include "toolkit/Form_win32.h"

namespace vm {

TApplication Application;

void TApplication::Initialize() {
  INITCOMMONCONTROLSEX icc{};
  icc.dwSize = sizeof icc;
  icc.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
  InitCommonControlsEx(&icc);
}

void TApplication::AddForm(TForm* form) {
  FForms.push_back(form);
  if (!FMainForm) FMainForm = form;
}

void TApplication::RemoveForm(TForm* form) {
  FForms.erase(std::remove(FForms.begin(), FForms.end(), form), FForms.end());
  if (FMainForm == form) FMainForm = nullptr;
}

IConfigForm& TApplication::Form(int index) { return *FForms.at(size_t(index)); }

void TApplication::Dispatch(MSG& msg) {
  HWND active = GetActiveWindow();
  bool ours = std::any_of(FForms.begin(), FForms.end(), [&](TForm* f) { return f->Handle() == active; });
  if (active && ours && IsDialogMessageA(active, &msg)) return;
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
}

void TApplication::Run() {
  if (!FMainForm) return;
  try {
    FMainForm->Show();
  } catch (...) {
    HandleException(std::current_exception());
  }
  if (!FMainForm->Handle()) return;  // closed while it was being shown
  // A failure while the main form was being shown leaves it hidden: end, rather than run
  // on as a process without a window.
  if (!IsWindowVisible(FMainForm->Handle())) {
    DestroyWindow(FMainForm->Handle());
    return;
  }
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) Dispatch(msg);
}

std::string ExceptionMessage(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const Exception& e) {
    return e.Message();
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "Unknown exception";
  }
}

void TApplication::HandleException(std::exception_ptr error) noexcept {
  try {
    if (FExceptionHandler) {
      FExceptionHandler(error);
      return;
    }
    // EAbort ends an operation quietly.
    try {
      std::rethrow_exception(error);
    } catch (const Exception& e) {
      if (e.InheritsFrom("EAbort")) return;
    } catch (...) {
    }
    HWND owner = GetActiveWindow();
    MessageBoxA(owner, ExceptionMessage(error).c_str(), "Error", MB_OK | MB_ICONERROR);
  } catch (...) {
    // The funnel is the last stop: nothing may escape it.
  }
}

}  // namespace vm
